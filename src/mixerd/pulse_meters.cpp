#include "pulse_meters.h"

#include "pulse_aux.h"
#include "pulse_timer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace vantrel::mixerd {

namespace {

// The server hands each meter stream one peak per side this often: twice
// per update, so an update rarely finds nothing new.
constexpr uint32_t kPeakRate = 2 * mixer_dbus::kMeterUpdatesPerSecond;
constexpr auto kUpdateInterval =
    std::chrono::microseconds(1000000 / mixer_dbus::kMeterUpdatesPerSecond);
// A meter that hears nothing for this many updates (its object paused or
// suspended) falls to silence rather than hold its last peak.
constexpr int kHoldUpdates = 5;
// An object whose stream failed is tried again after this long.
constexpr auto kRetryDelay = std::chrono::seconds(1);
// Only the newest peaks count, two updates' worth, so that a late update
// still sees all of its own. A stream that was held up hands over seconds
// of old peaks at once, and those are not the level now.
constexpr std::size_t kFreshFrames = 2 * kPeakRate / mixer_dbus::kMeterUpdatesPerSecond;
// PipeWire under load can stop feeding a stream that monitors a playing
// stream for seconds, or for good, and never fail it; unlinking it from
// outside does the same. A meter stream that hands over nothing for this
// long while its object plays is made again: a new one is fed at once.
constexpr std::chrono::milliseconds kStallTime{500};
// A new stream waits longer for its first data: PulseAudio's null sink
// feeds a new monitor only after the latency it ran at before (up to 2 s).
// One made again for a stall waits kStallTime, twice that if it was never
// fed either, and so on up to this.
constexpr std::chrono::milliseconds kFirstFeedTime{3000};
constexpr char kStreamName[] = "Vantrel level meter";

} // namespace

std::optional<MeterSource> MeterSourceOf(TargetKind kind, uint32_t index, const std::string& name,
                                         int strip) {
  int meter = strip;
  for (int bus = 0; bus < kBusCount && meter < 0; ++bus) {
    if (kind == TargetKind::Sink && name == BusSink(bus)) {
      meter = BusMeter(bus);
    }
  }
  if (meter < 0) {
    return std::nullopt;
  }
  if (kind == TargetKind::Stream) {
    return MeterSource{meter, index, {}};
  }
  // Both servers name a sink's monitor source after the sink.
  return MeterSource{meter, PA_INVALID_INDEX, kind == TargetKind::Sink ? name + ".monitor" : name};
}

struct PulseMeters::Meter {
  pa_stream* stream = nullptr;
  bool failed = false;
  // The newest peaks since the last update (a ring) and how many came.
  std::array<SidePeaks, kFreshFrames> fresh{};
  std::size_t frames = 0;
  SidePeaks shown; // what the last update said
  int quietUpdates = 0;
  // The stall watch: when the server last handed over anything (or the
  // stream was made), whether it ever did, how long it may hand over
  // nothing, when the server may be asked again whether the object plays,
  // the answer awaited, and the verdict (until the stream is fed again).
  Clock::time_point lastData = Clock::now();
  bool fed = false;
  std::chrono::milliseconds patience = kFirstFeedTime;
  Clock::time_point nextCheck;
  pa_operation* check = nullptr;
  uint32_t playingOn = PA_INVALID_INDEX; // the sink a checked stream plays on
  bool stalled = false;

  ~Meter() {
    if (check != nullptr) {
      pa_operation_cancel(check);
      pa_operation_unref(check);
    }
    if (stream != nullptr) {
      Close(stream);
    }
  }

  SidePeaks Freshest() const {
    SidePeaks loudest;
    for (std::size_t at = 0; at < std::min(frames, fresh.size()); ++at) {
      loudest.left = std::max(loudest.left, fresh[at].left);
      loudest.right = std::max(loudest.right, fresh[at].right);
    }
    return loudest;
  }

  void EndCheck() {
    pa_operation_unref(check);
    check = nullptr;
  }

  // A stream the server is still making cannot be disconnected yet, and
  // the server would keep it: it closes itself once made, and lets go of
  // itself once ended (also when the context goes).
  static void Close(pa_stream* stream) {
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_CREATING) {
      pa_stream_set_state_callback(
          stream,
          [](pa_stream* closing, void*) {
            const pa_stream_state_t state = pa_stream_get_state(closing);
            if (state == PA_STREAM_READY) {
              pa_stream_disconnect(closing);
            } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
              pa_stream_set_state_callback(closing, nullptr, nullptr);
              pa_stream_unref(closing);
            }
          },
          nullptr);
      return;
    }
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
  }
};

PulseMeters::PulseMeters(BackendListener& listener, Sources sources)
    : m_listener(listener), m_sources(std::move(sources)) {}

PulseMeters::~PulseMeters() {
  StopAll();
}

void PulseMeters::OnReady(pa_context* context, pa_mainloop_api* api) {
  m_context = context;
  m_api = api;
  if (m_on) {
    StartTimer();
  }
}

void PulseMeters::OnLost() {
  StopAll();
  m_context = nullptr;
}

void PulseMeters::SetOn(bool on) {
  if (on == m_on) {
    return;
  }
  m_on = on;
  if (!on) {
    StopAll();
  } else if (m_context != nullptr) {
    StartTimer();
  }
}

void PulseMeters::StopAll() {
  m_meters.clear();
  m_failed.clear();
  if (m_timer != nullptr) {
    m_api->time_free(m_timer);
    m_timer = nullptr;
  }
}

void PulseMeters::StartTimer() {
  ArmPulseTimer<&PulseMeters::Tick>(m_api, m_timer, kUpdateInterval, this);
}

void PulseMeters::Tick() {
  Sync();
  const auto now = Clock::now();
  MeterFrame frame{};
  for (auto& [source, meter] : m_meters) {
    if (meter->frames > 0) {
      meter->shown = meter->Freshest();
      meter->quietUpdates = 0;
    } else if (++meter->quietUpdates > kHoldUpdates) {
      meter->shown = {};
    }
    meter->frames = 0;
    WatchForStall(source, *meter, now);
    // A strip's level is the loudest of its objects.
    std::optional<SidePeaks>& level = frame[static_cast<std::size_t>(source.meter)];
    const SidePeaks before = level.value_or(SidePeaks{});
    level = SidePeaks{std::max(before.left, meter->shown.left),
                      std::max(before.right, meter->shown.right)};
  }
  // Every update goes out, steady levels too: a surface's meters fall
  // unless they are told again.
  m_listener.OnMeters(frame);
  StartTimer();
}

// Opens a stream for each object that has none, closes those of objects
// that went or whose stream failed, and makes stalled ones again at once.
void PulseMeters::Sync() {
  const std::vector<MeterSource> wanted = m_sources();
  const std::set<MeterSource> wantedSet(wanted.begin(), wanted.end());
  const auto now = Clock::now();
  std::map<MeterSource, std::chrono::milliseconds> stalled;
  for (auto it = m_meters.begin(); it != m_meters.end();) {
    const Meter& meter = *it->second;
    const bool stall = meter.stalled && now - meter.lastData >= meter.patience;
    if (meter.failed) {
      m_failed[it->first] = now + kRetryDelay;
    } else if (stall) {
      stalled[it->first] = meter.fed ? kStallTime : std::min(2 * meter.patience, kFirstFeedTime);
    }
    if (meter.failed || stall || !wantedSet.contains(it->first)) {
      it = m_meters.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(m_failed, [&](const auto& failed) {
    return !wantedSet.contains(failed.first) || now >= failed.second;
  });
  for (const MeterSource& source : wantedSet) {
    if (!m_meters.contains(source) && !m_failed.contains(source)) {
      const auto again = stalled.find(source);
      Open(source, again != stalled.end() ? again->second : kFirstFeedTime);
    }
  }
}

// A sink, or a source (a sink's monitor among them), plays when it runs.
template <typename Info, auto kRunning>
void PulseMeters::OnStalledDevice(pa_context*, const Info* info, int /*eol*/, void* tag) {
  auto& meter = *static_cast<Meter*>(tag);
  if (info != nullptr) {
    meter.stalled = info->state == kRunning;
    return;
  }
  meter.EndCheck();
}

// Asks the server whether the object of a meter that has heard nothing for
// a while plays; at most once per wait, so an object that stays quiet or
// goes costs one question per wait and no new stream.
void PulseMeters::WatchForStall(const MeterSource& source, Meter& meter, Clock::time_point now) {
  if (meter.check != nullptr || meter.stalled ||
      pa_stream_get_state(meter.stream) != PA_STREAM_READY ||
      now - meter.lastData < meter.patience || now < meter.nextCheck) {
    return;
  }
  meter.nextCheck = now + meter.patience;
  meter.check = source.stream != PA_INVALID_INDEX
                    ? pa_context_get_sink_input_info(m_context, source.stream,
                                                     &PulseMeters::OnStalledStream, &meter)
                    : pa_context_get_source_info_by_name(
                          m_context, source.device.c_str(),
                          &PulseMeters::OnStalledDevice<pa_source_info, PA_SOURCE_RUNNING>, &meter);
}

// A playback stream plays when it is not corked and its sink runs.
void PulseMeters::OnStalledStream(pa_context* context, const pa_sink_input_info* info, int /*eol*/,
                                  void* tag) {
  auto& meter = *static_cast<Meter*>(tag);
  if (info != nullptr) {
    meter.playingOn = info->corked == 0 ? info->sink : PA_INVALID_INDEX;
    return;
  }
  meter.EndCheck();
  if (meter.playingOn != PA_INVALID_INDEX) {
    meter.check = pa_context_get_sink_info_by_index(
        context, meter.playingOn, &PulseMeters::OnStalledDevice<pa_sink_info, PA_SINK_RUNNING>,
        &meter);
    meter.playingOn = PA_INVALID_INDEX;
  }
}

void PulseMeters::Open(const MeterSource& source, std::chrono::milliseconds patience) {
  const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kPeakRate, 2};
  pa_channel_map map{};
  pa_channel_map_init_stereo(&map);
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, kStreamName);
  pa_stream* stream =
      pa_stream_new_with_proplist(m_context, kStreamName, &format, &map, properties);
  pa_proplist_free(properties);
  if (stream == nullptr) {
    m_failed[source] = Clock::now() + kRetryDelay;
    return;
  }
  auto meter = std::make_unique<Meter>();
  meter->stream = stream;
  meter->patience = patience;
  pa_stream_set_read_callback(stream, &PulseMeters::OnRead, meter.get());
  pa_stream_set_state_callback(stream, &PulseMeters::OnStreamState, meter.get());
  // A playback stream is heard through the monitor of whatever sink it
  // plays on; the server picks that monitor when no device is named.
  if (source.stream != PA_INVALID_INDEX) {
    pa_stream_set_monitor_stream(stream, source.stream);
  }
  pa_buffer_attr attributes{};
  std::memset(&attributes, 0xff, sizeof attributes);
  attributes.fragsize = sizeof(float) * format.channels;
  // Meters never move, and never keep an idle device from suspending.
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY |
                                     PA_STREAM_DONT_MOVE | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
  const char* device = source.stream != PA_INVALID_INDEX ? nullptr : source.device.c_str();
  if (pa_stream_connect_record(stream, device, &attributes, flags) < 0) {
    meter->failed = true;
  }
  m_meters.emplace(source, std::move(meter));
}

void PulseMeters::OnRead(pa_stream* stream, size_t /*bytes*/, void* tag) {
  auto& meter = *static_cast<Meter*>(tag);
  for (;;) {
    const void* data = nullptr;
    size_t length = 0;
    if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) {
      return;
    }
    // A hole (data null) carries no peaks, but the stream is fed.
    meter.lastData = Clock::now();
    meter.fed = true;
    meter.patience = kStallTime;
    meter.stalled = false;
    const auto* bytes = static_cast<const char*>(data);
    for (size_t at = 0; bytes != nullptr && at + 2 * sizeof(float) <= length;
         at += 2 * sizeof(float)) {
      std::array<float, 2> sides{};
      std::memcpy(sides.data(), bytes + at, sizeof sides);
      meter.fresh[meter.frames++ % kFreshFrames] = {static_cast<double>(std::fabs(sides[0])),
                                                    static_cast<double>(std::fabs(sides[1]))};
    }
    pa_stream_drop(stream);
  }
}

void PulseMeters::OnStreamState(pa_stream* stream, void* tag) {
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
    // Closed at the next update; the object is tried again later.
    static_cast<Meter*>(tag)->failed = true;
  }
}

} // namespace vantrel::mixerd
