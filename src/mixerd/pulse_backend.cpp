#include "pulse_backend.h"

#include "echo_filter.h"
#include "pulse_aux.h"
#include "pulse_volume.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <map>
#include <optional>

namespace vantrel::mixerd {

namespace {

// The server rounds volumes through its own scale (PipeWire through float):
// reports within this many steps of what was sent are the same volume.
constexpr int64_t kVolumeTolerance = 2;
constexpr std::chrono::seconds kRetryDelay{1};
// How long the exit waits for the server to unload the aux modules.
constexpr std::chrono::seconds kUnloadWait{1};
// The shortest time between two volume sets to one object during a sweep:
// 200 a second is smoother than any ear can tell.
constexpr std::chrono::milliseconds kSetInterval{5};
// PipeWire restores a stream's remembered volume just after the stream
// appears, over the value the strip gave it. Outside changes this soon
// after the strip's value came back (and at most kRestoreLatest after the
// stream appeared) are that restore: the value is put back instead of taken.
constexpr std::chrono::milliseconds kRestoreWindow{500};
constexpr std::chrono::seconds kRestoreLatest{2};

using Clock = std::chrono::steady_clock;

TargetProperties PropertiesOf(const pa_proplist* list, const char* objectName) {
  TargetProperties target;
  for (std::string_view name : kRuleProperties) {
    const std::string key(name);
    if (const char* value = pa_proplist_gets(list, key.c_str())) {
      target.properties.emplace_back(key, value);
    }
  }
  // PulseAudio names sinks and sources outside their property list.
  if (objectName != nullptr && target.Find("node.name") == nullptr) {
    target.properties.emplace_back("node.name", objectName);
  }
  return target;
}

} // namespace

class PulseBackend final : public MixerBackend {
public:
  PulseBackend(const MixerConfig& config, IBackendListener& listener)
      : m_config(config), m_listener(listener), m_loop(pa_mainloop_new()) {
    pa_mainloop_set_poll_func(m_loop, &PulseBackend::PollThunk, this);
    Connect();
  }

  ~PulseBackend() override {
    // The buses, routes, sends and effects go with the service.
    m_serviceFds = {};
    m_aux.UnloadAll();
    const auto end = Clock::now() + kUnloadWait;
    while (m_aux.Busy() && m_context != nullptr && Clock::now() < end) {
      if (pa_mainloop_iterate(m_loop, 1, nullptr) < 0) {
        break;
      }
    }
    DropContext();
    for (pa_time_event* timer : {m_retry, m_flush}) {
      if (timer != nullptr) {
        Api()->time_free(timer);
      }
    }
    pa_mainloop_free(m_loop);
  }

  PulseBackend(const PulseBackend&) = delete;
  PulseBackend& operator=(const PulseBackend&) = delete;

  bool WaitForServer(std::chrono::milliseconds wait) {
    const auto end = Clock::now() + wait;
    while (!m_listed && !m_failedOnce && Clock::now() < end) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (Poll({}, static_cast<int>(std::max<int64_t>(left.count(), 0))) < 0 && errno != EINTR) {
        break;
      }
    }
    return m_ready;
  }

  std::string_view Name() const override { return "pulse"; }

  std::string Status() const override {
    if (!m_ready) {
      return "waiting for a sound server (PulseAudio or PipeWire), trying once a second";
    }
    return m_serverName + " at " + m_serverAddress;
  }

  // A strip set while it drives nothing (the server away or still listing
  // its objects, or no object bound) gives its value to the next object
  // that comes to it, instead of taking that object's volume.
  void Apply(int strip) override {
    bool heard = false;
    if (m_listed) {
      const SideLevels levels = m_listener.StripLevels(strip);
      for (auto& [key, object] : m_objects) {
        if (object.strip == strip) {
          SetVolume(object, levels);
          heard = true;
        }
      }
    }
    m_unheard[static_cast<std::size_t>(strip)] = !heard;
  }

  void ApplyMute(int strip) override {
    bool heard = false;
    if (m_listed) {
      const bool muted = StripMuted(m_listener.State(), strip);
      for (auto& [key, object] : m_objects) {
        if (object.strip == strip) {
          SetMute(object, muted);
          heard = true;
        }
      }
    }
    m_muteUnheard[static_cast<std::size_t>(strip)] = !heard;
  }

  void ApplyAux() override { SyncAux(); }

  std::vector<BackendTarget> Targets() const override {
    std::vector<BackendTarget> targets =
        m_auxStarted ? m_aux.Targets() : std::vector<BackendTarget>{};
    for (const auto& [key, object] : m_objects) {
      targets.push_back({object.kind, object.name, object.strip, object.target.properties});
      if (object.target.isDefault) {
        targets.back().properties.emplace_back("default", "yes");
      }
      if (object.target.isMonitor) {
        targets.back().properties.emplace_back("monitor", "yes");
      }
    }
    return targets;
  }

  int Poll(std::span<pollfd> fds, int timeoutMs) override {
    m_serviceFds = fds;
    m_serviceEvents = 0;
    const int limitMs = INT_MAX / 1000;
    const int timeoutUsec = timeoutMs < 0 ? -1 : std::min(timeoutMs, limitMs) * 1000;
    if (pa_mainloop_prepare(m_loop, timeoutUsec) < 0 || pa_mainloop_poll(m_loop) < 0) {
      return errno == EINTR ? 0 : -1;
    }
    pa_mainloop_dispatch(m_loop);
    return m_serviceEvents;
  }

private:
  struct Object {
    TargetKind kind = TargetKind::Sink;
    uint32_t index = 0;
    std::string name;
    TargetProperties target;
    pa_channel_map map{};
    pa_cvolume volume{};
    int strip = -1;
    EchoFilter echo;
    std::optional<Clock::time_point> restoreUntil; // see kRestoreWindow
    bool muted = false;
    // Until then a report that differs from the strip's mute is older than
    // our own set (PipeWire answers a set before it has applied it).
    std::optional<Clock::time_point> muteSettleUntil;
  };
  using Key = std::pair<TargetKind, uint32_t>;

  // An info request in flight; a change reported meanwhile asks again after it.
  struct Request {
    PulseBackend* owner = nullptr;
    Key key;
    bool inFlight = false;
    bool again = false;
    // The object went while the request was in flight: PipeWire may still
    // answer with it, and that answer must not bring it back.
    bool gone = false;
  };

  // A volume set in flight for one object, and the value that waits for it.
  struct Setting {
    PulseBackend* owner = nullptr;
    Key key;
    bool inFlight = false;
    Clock::time_point lastSent;
    std::optional<SideLevels> next;
  };

  pa_mainloop_api* Api() { return pa_mainloop_get_api(m_loop); }

  // The service's descriptors join the loop's own in one poll.
  static int PollThunk(pollfd* ufds, unsigned long nfds, int timeout, void* self) {
    auto& backend = *static_cast<PulseBackend*>(self);
    std::vector<pollfd>& all = backend.m_pollScratch;
    all.assign(backend.m_serviceFds.begin(), backend.m_serviceFds.end());
    all.insert(all.end(), ufds, ufds + nfds);
    const int result = ::poll(all.data(), all.size(), timeout);
    if (result < 0) {
      return result;
    }
    const std::size_t own = backend.m_serviceFds.size();
    for (std::size_t i = 0; i < own; ++i) {
      backend.m_serviceFds[i].revents = all[i].revents;
      backend.m_serviceEvents += all[i].revents != 0 ? 1 : 0;
    }
    for (unsigned long i = 0; i < nfds; ++i) {
      ufds[i].revents = all[own + i].revents;
    }
    return result - backend.m_serviceEvents;
  }

  void Connect() {
    m_context = pa_context_new(Api(), "vantrel-mixerd");
    if (m_context == nullptr) {
      ScheduleRetry();
      return;
    }
    pa_context_set_state_callback(
        m_context, [](pa_context*, void* self) { static_cast<PulseBackend*>(self)->OnState(); },
        this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      OnLost();
    }
  }

  void DropContext() {
    if (m_context != nullptr) {
      pa_context_set_state_callback(m_context, nullptr, nullptr);
      pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
      pa_context_disconnect(m_context);
      pa_context_unref(m_context);
      m_context = nullptr;
    }
    m_requests.clear();
    m_settings.clear();
  }

  void ScheduleRetry() {
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, std::chrono::microseconds(kRetryDelay).count());
    if (m_retry != nullptr) {
      Api()->time_restart(m_retry, &when);
      return;
    }
    m_retry = Api()->time_new(
        Api(), &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
          auto& backend = *static_cast<PulseBackend*>(self);
          backend.DropContext();
          backend.Connect();
        },
        this);
  }

  void OnState() {
    switch (pa_context_get_state(m_context)) {
    case PA_CONTEXT_READY:
      OnReady();
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      OnLost();
      break;
    default:
      break;
    }
  }

  // Objects are forgotten; strips keep their values until the server is
  // back, and those whose last value may not have landed give it again.
  void OnLost() {
    for (const auto& [key, setting] : m_settings) {
      const auto found = m_objects.find(key);
      if ((setting.inFlight || setting.next) && found != m_objects.end() &&
          found->second.strip >= 0) {
        m_unheard[static_cast<std::size_t>(found->second.strip)] = true;
      }
    }
    m_failedOnce = true;
    m_ready = false;
    m_listed = false;
    m_objects.clear();
    m_aux.OnLost();
    ScheduleRetry();
  }

  void OnReady() {
    m_ready = true;
    m_serverAddress = pa_context_get_server(m_context) ? pa_context_get_server(m_context) : "?";
    pa_context_set_subscribe_callback(
        m_context,
        [](pa_context*, pa_subscription_event_type_t type, uint32_t index, void* self) {
          static_cast<PulseBackend*>(self)->OnEvent(type, index);
        },
        this);
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT |
        PA_SUBSCRIPTION_MASK_SERVER);
    Done(pa_context_subscribe(m_context, mask, nullptr, nullptr));
    // The server answers in order: defaults (and with them our modules),
    // devices, then streams.
    m_auxStarted = false;
    RequestServerInfo();
    Done(pa_context_get_sink_info_list(m_context, &PulseBackend::OnSinkListed, this));
    Done(pa_context_get_source_info_list(m_context, &PulseBackend::OnSourceListed, this));
    Done(pa_context_get_sink_input_info_list(m_context, &PulseBackend::OnStreamListed, this));
  }

  static void Done(pa_operation* operation) {
    if (operation != nullptr) {
      pa_operation_unref(operation);
    }
  }

  void RequestServerInfo() {
    Done(pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* self) {
          if (info != nullptr) {
            static_cast<PulseBackend*>(self)->OnServerInfo(*info);
          }
        },
        this));
  }

  void OnServerInfo(const pa_server_info& info) {
    m_serverName = std::string(info.server_name ? info.server_name : "?") + " " +
                   (info.server_version ? info.server_version : "");
    // The aux side is built on PipeWire only: PulseAudio's LADSPA sink
    // refuses the effects' plugins, and its first null sink becomes the
    // default of a server that has no other.
    if (!m_auxStarted && m_serverName.find("PipeWire") != std::string::npos) {
      m_auxStarted = true;
      m_aux.OnReady(m_context);
    }
    const std::string sink = info.default_sink_name ? info.default_sink_name : "";
    const std::string source = info.default_source_name ? info.default_source_name : "";
    const bool changed = sink != m_defaultSink || source != m_defaultSource;
    m_defaultSink = sink;
    m_defaultSource = source;
    if (changed) {
      RebindDevices(TargetKind::Sink);
      RebindDevices(TargetKind::Source);
      SyncAux();
    }
  }

  void OnEvent(pa_subscription_event_type_t type, uint32_t index) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto what = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
      RequestServerInfo();
      return;
    }
    TargetKind kind = TargetKind::Stream;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
      kind = TargetKind::Sink;
    } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE) {
      kind = TargetKind::Source;
    } else if (facility != PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
      return;
    }
    const Key key{kind, index};
    if (what == PA_SUBSCRIPTION_EVENT_REMOVE) {
      // The strip keeps its value. Records of requests still in flight go
      // when they are answered.
      const bool known = m_objects.erase(key) > 0;
      if (const auto request = m_requests.find(key); request != m_requests.end()) {
        request->second.gone = request->second.inFlight;
        request->second.again = false;
      }
      ForgetIdle(key);
      if (known && kind != TargetKind::Stream) {
        RebindDevices(kind);
      }
      return;
    }
    RequestInfo(key);
  }

  void RequestInfo(const Key& key) {
    Request& request = m_requests[key];
    request.owner = this;
    request.key = key;
    request.gone = false;
    if (request.inFlight) {
      request.again = true;
      return;
    }
    request.inFlight = true;
    pa_operation* operation = nullptr;
    switch (key.first) {
    case TargetKind::Sink:
      operation = pa_context_get_sink_info_by_index(m_context, key.second,
                                                    &PulseBackend::OnSinkInfo, &request);
      break;
    case TargetKind::Source:
      operation = pa_context_get_source_info_by_index(m_context, key.second,
                                                      &PulseBackend::OnSourceInfo, &request);
      break;
    default:
      operation = pa_context_get_sink_input_info(m_context, key.second, &PulseBackend::OnStreamInfo,
                                                 &request);
      break;
    }
    if (operation == nullptr) {
      request.inFlight = false;
    }
    Done(operation);
  }

  // Called at the end of each answer to a RequestInfo.
  static void Answered(void* tag) {
    auto& request = *static_cast<Request*>(tag);
    request.inFlight = false;
    if (request.again) {
      request.again = false;
      request.owner->RequestInfo(request.key);
      return;
    }
    request.owner->ForgetIdle(request.key);
  }

  // Drops the request and volume records of an object that is gone (or was
  // never kept) once nothing is in flight for it, so streams that come and
  // go cost nothing after they went. The key is a copy: the caller's may
  // live in the request record dropped here.
  void ForgetIdle(Key key) {
    if (m_objects.contains(key)) {
      return;
    }
    if (const auto request = m_requests.find(key);
        request != m_requests.end() && !request->second.inFlight) {
      m_requests.erase(request);
    }
    if (const auto setting = m_settings.find(key);
        setting != m_settings.end() && !setting->second.inFlight) {
      m_settings.erase(setting);
    }
  }

  static void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* tag) {
    if (info != nullptr && !static_cast<Request*>(tag)->gone) {
      auto& self = *static_cast<Request*>(tag)->owner;
      self.OnDevice(TargetKind::Sink, info->index, info->name, info->proplist, info->channel_map,
                    info->volume, info->mute != 0, false, true);
    }
    if (eol != 0) {
      Answered(tag);
    }
  }

  static void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* tag) {
    if (info != nullptr && !static_cast<Request*>(tag)->gone) {
      auto& self = *static_cast<Request*>(tag)->owner;
      self.OnDevice(TargetKind::Source, info->index, info->name, info->proplist, info->channel_map,
                    info->volume, info->mute != 0, info->monitor_of_sink != PA_INVALID_INDEX, true);
    }
    if (eol != 0) {
      Answered(tag);
    }
  }

  static void OnStreamInfo(pa_context*, const pa_sink_input_info* info, int eol, void* tag) {
    if (info != nullptr && !static_cast<Request*>(tag)->gone) {
      static_cast<Request*>(tag)->owner->OnStream(*info, false);
    }
    if (eol != 0) {
      Answered(tag);
    }
  }

  static void OnSinkListed(pa_context*, const pa_sink_info* info, int eol, void* self) {
    auto& backend = *static_cast<PulseBackend*>(self);
    if (info != nullptr) {
      backend.OnDevice(TargetKind::Sink, info->index, info->name, info->proplist, info->channel_map,
                       info->volume, info->mute != 0, false, false);
    }
    if (eol != 0) {
      backend.RebindDevices(TargetKind::Sink);
    }
  }

  static void OnSourceListed(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto& backend = *static_cast<PulseBackend*>(self);
    if (info != nullptr) {
      backend.OnDevice(TargetKind::Source, info->index, info->name, info->proplist,
                       info->channel_map, info->volume, info->mute != 0,
                       info->monitor_of_sink != PA_INVALID_INDEX, false);
    }
    if (eol != 0) {
      backend.RebindDevices(TargetKind::Source);
    }
  }

  static void OnStreamListed(pa_context*, const pa_sink_input_info* info, int eol, void* self) {
    auto& backend = *static_cast<PulseBackend*>(self);
    if (info != nullptr) {
      backend.OnStream(*info, true);
    }
    if (eol != 0) {
      backend.m_listed = true;
      backend.SyncAux();
      // What was set while the server was away now reaches what is bound.
      for (int strip = 0; strip < kStripCount; ++strip) {
        if (backend.m_unheard[static_cast<std::size_t>(strip)]) {
          backend.Apply(strip);
        }
        if (backend.m_muteUnheard[static_cast<std::size_t>(strip)]) {
          backend.ApplyMute(strip);
        }
      }
    }
  }

  // A sink or source was listed or changed. A new one may change which
  // device each strip drives; a known one may report an outside change.
  void OnDevice(TargetKind kind, uint32_t index, const char* name, const pa_proplist* list,
                const pa_channel_map& map, const pa_cvolume& volume, bool muted, bool monitor,
                bool rebind) {
    auto [at, isNew] = m_objects.try_emplace(Key{kind, index});
    Object& object = at->second;
    object.kind = kind;
    object.index = index;
    object.name = name ? name : "";
    object.target = PropertiesOf(list, name);
    object.target.isMonitor = monitor;
    object.map = map;
    const std::vector<int64_t> previous = VolumeValues(object.volume);
    object.volume = volume;
    if (isNew) {
      object.muted = muted;
      if (rebind) {
        RebindDevices(kind);
      }
      return;
    }
    CheckOutsideMute(object, muted);
    CheckOutsideChange(object, previous);
  }

  void OnStream(const pa_sink_input_info& info, bool listed) {
    if (m_aux.OnStream(info)) {
      m_objects.erase(Key{TargetKind::Stream, info.index});
      return;
    }
    if (info.has_volume == 0 || info.volume_writable == 0) {
      return;
    }
    auto [at, isNew] = m_objects.try_emplace(Key{TargetKind::Stream, info.index});
    Object& object = at->second;
    object.kind = TargetKind::Stream;
    object.index = info.index;
    object.target = PropertiesOf(info.proplist, nullptr);
    const std::string* application = object.target.Find("application.name");
    object.name = (application ? *application + ": " : "") + (info.name ? info.name : "");
    object.map = info.channel_map;
    const std::vector<int64_t> previous = VolumeValues(object.volume);
    object.volume = info.volume;
    if (!isNew) {
      CheckOutsideMute(object, info.mute != 0);
      CheckOutsideChange(object, previous);
      return;
    }
    object.muted = info.mute != 0;
    const TargetProperties target = object.target;
    object.strip = BindTargets(m_config, TargetKind::Stream, std::span(&target, 1)).front();
    // Streams playing before we came keep their volume; later ones take
    // their strip's value at once.
    if (!listed && object.strip >= 0) {
      const SideLevels levels = m_listener.StripLevels(object.strip);
      const bool already = SameVolumes(VolumeValues(VolumeOfLevels(object.map, levels)),
                                       VolumeValues(object.volume), kVolumeTolerance);
      SetVolume(object, levels);
      m_unheard[static_cast<std::size_t>(object.strip)] = false;
      object.restoreUntil = Clock::now() + (already ? kRestoreWindow : kRestoreLatest);
      if (const bool muted = StripMuted(m_listener.State(), object.strip); muted != object.muted) {
        SetMute(object, muted);
      }
    }
  }

  // A bound object's mute as reported: our own set (or older news than it)
  // is ignored; a mute changed elsewhere goes to the strip.
  void CheckOutsideMute(Object& object, bool reported) {
    const bool changed = reported != object.muted;
    object.muted = reported;
    if (object.strip < 0 || !changed || reported == StripMuted(m_listener.State(), object.strip) ||
        (object.muteSettleUntil && Clock::now() < *object.muteSettleUntil)) {
      return;
    }
    m_listener.OnStripMute(object.strip, reported);
  }

  void SetMute(Object& object, bool muted) {
    if (m_context == nullptr || !m_ready) {
      return;
    }
    object.muteSettleUntil = Clock::now() + kRestoreWindow;
    const int flag = muted ? 1 : 0;
    switch (object.kind) {
    case TargetKind::Sink:
      Done(pa_context_set_sink_mute_by_index(m_context, object.index, flag, nullptr, nullptr));
      break;
    case TargetKind::Source:
      Done(pa_context_set_source_mute_by_index(m_context, object.index, flag, nullptr, nullptr));
      break;
    default:
      Done(pa_context_set_sink_input_mute(m_context, object.index, flag, nullptr, nullptr));
      break;
    }
  }

  // A report of a bound object: the echo of our own set, older news than a
  // set still on its way, the server restoring a new stream's remembered
  // volume (undone), or a change made elsewhere, which the strip takes.
  void CheckOutsideChange(Object& object, const std::vector<int64_t>& previous) {
    if (object.strip < 0) {
      return;
    }
    const auto now = Clock::now();
    const SideLevels wanted = m_listener.StripLevels(object.strip);
    const std::vector<int64_t> reported = VolumeValues(object.volume);
    const bool restoring = object.restoreUntil && now < *object.restoreUntil;
    const bool wantedVolume =
        SameVolumes(VolumeValues(VolumeOfLevels(object.map, wanted)), reported, kVolumeTolerance);
    if (wantedVolume) {
      object.echo.Settled();
    }
    const EchoFilter::Report report = wantedVolume
                                          ? EchoFilter::Report::Echo
                                          : object.echo.Classify(reported, kVolumeTolerance, now);
    if (report == EchoFilter::Report::Echo) {
      if (restoring) {
        // The restore follows the stream's first volume closely.
        object.restoreUntil = std::min(*object.restoreUntil, now + kRestoreWindow);
      }
      return;
    }
    if (report == EchoFilter::Report::Stale || SameVolumes(reported, previous, kVolumeTolerance)) {
      return;
    }
    if (restoring) {
      SetVolume(object, wanted);
      return;
    }
    object.restoreUntil.reset();
    m_listener.OnStripLevels(object.strip, LevelsOfVolume(object.map, object.volume));
  }

  // Binds the sinks or sources afresh; a strip that comes to a device takes
  // its volume (or, when set while the server was away, gives it its own).
  void RebindDevices(TargetKind kind) {
    std::vector<Object*> devices;
    std::vector<TargetProperties> targets;
    const std::string& defaultName = kind == TargetKind::Sink ? m_defaultSink : m_defaultSource;
    for (auto& [key, object] : m_objects) {
      if (object.kind == kind) {
        object.target.isDefault = object.name == defaultName;
        devices.push_back(&object);
        targets.push_back(object.target);
      }
    }
    const std::vector<int> strips = BindTargets(m_config, kind, targets);
    std::array<bool, kStripCount> heard{};
    std::array<bool, kStripCount> muteHeard{};
    for (std::size_t i = 0; i < devices.size(); ++i) {
      Object& object = *devices[i];
      if (object.strip == strips[i]) {
        continue;
      }
      object.strip = strips[i];
      if (object.strip < 0) {
        continue;
      }
      const auto strip = static_cast<std::size_t>(object.strip);
      if (m_unheard[strip]) {
        SetVolume(object, m_listener.StripLevels(object.strip));
        heard[strip] = true;
      } else {
        m_listener.OnStripLevels(object.strip, LevelsOfVolume(object.map, object.volume));
      }
      if (m_muteUnheard[strip]) {
        SetMute(object, StripMuted(m_listener.State(), object.strip));
        muteHeard[strip] = true;
      } else {
        m_listener.OnStripMute(object.strip, object.muted);
      }
    }
    for (std::size_t strip = 0; strip < heard.size(); ++strip) {
      m_unheard[strip] = m_unheard[strip] && !heard[strip];
      m_muteUnheard[strip] = m_muteUnheard[strip] && !muteHeard[strip];
    }
    if (kind == TargetKind::Source && m_listed) {
      SyncAux();
    }
  }

  // The aux side follows the model, the capture source of each strip (what
  // its sends take) and the default sink (where effects play).
  void SyncAux() {
    std::array<std::string, kStripCount> sources;
    for (const auto& [key, object] : m_objects) {
      if (object.kind == TargetKind::Source && object.strip >= 0) {
        sources[static_cast<std::size_t>(object.strip)] = object.name;
      }
    }
    m_aux.Sync(m_listener.State(), sources, m_defaultSink);
  }

  // At most one volume set per object is in flight, and sets to one object
  // go out at most every kSetInterval; newer values wait and only the newest
  // goes out, so a fast sweep never queues up behind the server (PipeWire
  // answers a set before it has applied it) and always ends on its last
  // value.
  void SetVolume(Object& object, SideLevels levels) {
    if (m_context == nullptr || !m_ready) {
      return;
    }
    const Key key{object.kind, object.index};
    Setting& setting = m_settings[key];
    setting.owner = this;
    setting.key = key;
    setting.next = levels;
    SendWaiting(setting);
  }

  void SendWaiting(Setting& setting) {
    if (setting.inFlight || !setting.next) {
      return;
    }
    const auto found = m_objects.find(setting.key);
    if (found == m_objects.end()) {
      setting.next.reset();
      return;
    }
    const auto now = Clock::now();
    if (now - setting.lastSent < kSetInterval) {
      ArmFlush();
      return;
    }
    Object& object = found->second;
    const pa_cvolume volume =
        VolumeOfLevels(object.map, *std::exchange(setting.next, std::nullopt));
    if (!pa_cvolume_valid(&volume)) {
      return;
    }
    object.echo.Sent(VolumeValues(volume), VolumeValues(object.volume), kVolumeTolerance, now);
    pa_operation* operation = nullptr;
    switch (object.kind) {
    case TargetKind::Sink:
      operation = pa_context_set_sink_volume_by_index(m_context, object.index, &volume,
                                                      &PulseBackend::OnSet, &setting);
      break;
    case TargetKind::Source:
      operation = pa_context_set_source_volume_by_index(m_context, object.index, &volume,
                                                        &PulseBackend::OnSet, &setting);
      break;
    default:
      operation = pa_context_set_sink_input_volume(m_context, object.index, &volume,
                                                   &PulseBackend::OnSet, &setting);
      break;
    }
    setting.inFlight = operation != nullptr;
    setting.lastSent = now;
    Done(operation);
  }

  static void OnSet(pa_context*, int, void* tag) {
    auto& setting = *static_cast<Setting*>(tag);
    setting.inFlight = false;
    setting.owner->SendWaiting(setting);
    if (!setting.inFlight) {
      setting.owner->ForgetIdle(setting.key);
    }
  }

  // Sends what waited for kSetInterval to pass.
  void ArmFlush() {
    if (m_flushArmed) {
      return;
    }
    m_flushArmed = true;
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, std::chrono::microseconds(kSetInterval).count());
    if (m_flush != nullptr) {
      Api()->time_restart(m_flush, &when);
      return;
    }
    m_flush = Api()->time_new(
        Api(), &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
          auto& backend = *static_cast<PulseBackend*>(self);
          backend.m_flushArmed = false;
          for (auto& [key, setting] : backend.m_settings) {
            backend.SendWaiting(setting);
          }
        },
        this);
  }

  const MixerConfig m_config;
  IBackendListener& m_listener;
  PulseAux m_aux{m_config};
  bool m_auxStarted = false; // see OnServerInfo
  pa_mainloop* m_loop;
  pa_context* m_context = nullptr;
  pa_time_event* m_retry = nullptr;
  pa_time_event* m_flush = nullptr;
  bool m_flushArmed = false;
  bool m_ready = false;
  bool m_listed = false; // the first lists after connecting are in
  bool m_failedOnce = false;
  std::string m_serverName;
  std::string m_serverAddress;
  std::string m_defaultSink;
  std::string m_defaultSource;
  std::map<Key, Object> m_objects;
  std::map<Key, Request> m_requests;
  std::map<Key, Setting> m_settings;
  std::array<bool, kStripCount> m_unheard{};     // see Apply
  std::array<bool, kStripCount> m_muteUnheard{}; // the same for ApplyMute
  std::span<pollfd> m_serviceFds;
  int m_serviceEvents = 0;
  std::vector<pollfd> m_pollScratch;
};

std::unique_ptr<MixerBackend> MakePulseBackend(const MixerConfig& config,
                                               IBackendListener& listener,
                                               std::chrono::milliseconds wait, bool& answered) {
  auto backend = std::make_unique<PulseBackend>(config, listener);
  answered = backend->WaitForServer(wait);
  return backend;
}

} // namespace vantrel::mixerd
