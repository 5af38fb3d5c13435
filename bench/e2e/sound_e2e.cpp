// The mixer on a real sound server. Run it once per server inside
// scripts/with-test-services.sh and scripts/with-sound-server.sh (pulseaudio,
// then pipewire).
//
// ControllerToSink: a JACK peer plays a Control Change into the headless
// program, whose Master strip drives the default sink through vantrel-mixerd
// (--backend pulse); the time runs until a libpulse subscriber sees the
// sink's new volume. SetterToSink: the mixer's part alone, from the
// program's D-Bus setter to the sink, also given as a ratio to
// LibpulseToSink: a bare libpulse client setting the same sink's volume, the
// least any road through the sound server can take; SetterToSignal times
// the bus's share of the road (virtual back end). PactlPerChange: the
// same change made the usual way, by one pactl process per change, seen by
// the same subscriber.
// BurstOnThreeStreams: 10,000 changes a second on the Wave strip, which
// drives three playing streams; the time runs from the last change until
// all three streams hold its value.

#include "percentiles.h"

#include "midi/midi_backend.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "mixer/mixer_values.h"
#include "mixer/scales.h"
#include "settings/settings.h"
#include "support/bridge_process.h"
#include "support/jack_peer.h"
#include "support/mixerd_fixture.h"
#include "support/pulse_context.h"
#include "support/sound_server.h"

#include <benchmark/benchmark.h>
#include <pulse/pulseaudio.h>
#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;

// Volumes of every sink (by name) and playback stream (by index), kept
// current by a libpulse subscriber on its own thread.
class ServerWatch {
public:
  using Volumes = std::map<std::string, std::vector<uint32_t>>;

  ServerWatch() = default;
  ServerWatch(const ServerWatch&) = delete;
  ServerWatch& operator=(const ServerWatch&) = delete;

  bool WaitUntil(const std::function<bool(const Volumes&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return done(m_volumes); });
  }

private:
  void OnReady(pa_context* context) {
    void* self = this;
    pa_context_set_subscribe_callback(context, &ServerWatch::OnEvent, self);
    pa_operation_unref(
        pa_context_subscribe(context,
                             static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                                 PA_SUBSCRIPTION_MASK_SINK_INPUT),
                             nullptr, nullptr));
    pa_operation_unref(pa_context_get_sink_info_list(context, &ServerWatch::OnSink, self));
    pa_operation_unref(pa_context_get_sink_input_info_list(context, &ServerWatch::OnStream, self));
  }

  static void OnEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                      void* self) {
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
      return;
    }
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK) {
      pa_operation_unref(
          pa_context_get_sink_info_by_index(context, index, &ServerWatch::OnSink, self));
    } else {
      pa_operation_unref(
          pa_context_get_sink_input_info(context, index, &ServerWatch::OnStream, self));
    }
  }

  void Store(std::string key, const pa_cvolume& volume) {
    {
      const std::lock_guard lock(m_mutex);
      m_volumes[std::move(key)] = {volume.values, volume.values + volume.channels};
    }
    m_changed.notify_all();
  }

  static void OnSink(pa_context*, const pa_sink_info* info, int, void* self) {
    if (info != nullptr) {
      static_cast<ServerWatch*>(self)->Store(info->name, info->volume);
    }
  }

  static void OnStream(pa_context*, const pa_sink_input_info* info, int, void* self) {
    if (info != nullptr) {
      static_cast<ServerWatch*>(self)->Store("stream " + std::to_string(info->index), info->volume);
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  Volumes m_volumes;
  PulseContext m_pulse{"vantrel-bench-watch", [this](pa_context* c) { OnReady(c); }};
};

bool Near(uint32_t a, uint32_t b) {
  return (a > b ? a - b : b - a) <= 2;
}

bool SinkLeftIs(const ServerWatch::Volumes& volumes, uint32_t expected) {
  const auto it = volumes.find("vantrel_out");
  return it != volumes.end() && !it->second.empty() && Near(it->second[0], expected);
}

uint32_t ServerVolume(int32_t mixerValue) {
  return pa_sw_volume_from_linear(mixerValue / 65535.0);
}

// vantrel-mixerd on the pulse back end, with a state file of its own.
struct PulseMixer {
  TempDir dir;
  MixerdProcess server{dir.File("mixer.state"), {"--backend", "pulse"}};
};

// Master left: the first catalogue row that sets it.
const Parameter& MasterLeftRow() {
  return *std::ranges::find_if(kCatalogue, [](const Parameter& p) {
    return p.op == SetOperation::MasterVolume && p.args[0] == 0;
  });
}

// Times each change until `arrived(expected)` says it was seen (waiting up
// to 2 s): change makes the change (i counts from 0) and answers what to
// expect; it is tried up to `attempts` times, the time running from the
// first. Answers the median in microseconds.
double TimeChanges(benchmark::State& state, const std::function<uint32_t(int)>& change,
                   const std::function<bool(uint32_t)>& arrived, int attempts,
                   const char* failure) {
  std::vector<double> micros;
  int i = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    bool taken = false;
    for (int attempt = 0; attempt < attempts && !taken; ++attempt) {
      taken = arrived(change(i));
    }
    if (!taken) {
      state.SkipWithError(failure);
      return 0;
    }
    ++i;
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.SetIterationTime(elapsed / 1e6);
    micros.push_back(elapsed);
    // Changes to one object closer than the back end's set interval are
    // paced on purpose; an isolated change is what is timed here.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ReportPercentiles(state, micros);
}

// TimeChanges until the subscriber sees the sink's left channel at the
// volume `change(i)` answers.
double TimeUntilSink(benchmark::State& state, const std::function<uint32_t(int)>& change,
                     int attempts, const char* failure) {
  ServerWatch watch;
  return TimeChanges(
      state, change,
      [&](uint32_t expected) {
        return watch.WaitUntil([&](const auto& volumes) { return SinkLeftIs(volumes, expected); },
                               std::chrono::seconds(2));
      },
      attempts, failure);
}

void ControllerToSink(benchmark::State& state) {
  PulseMixer mixer;
  const std::string& dir = mixer.dir.Path();
  JackPeer peer;
  if (!peer.Error().empty() || !mixer.server.Start()) {
    state.SkipWithError(
        ("cannot start the mixer server or the JACK peer: " + peer.Error()).c_str());
    return;
  }
  SelectMidiApi(MidiApi::Jack);
  const auto ins = MidiInputNames();
  const auto outs = MidiOutputNames();
  const std::string profile = dir + "/vantrel.INI";
  CSettings settings(profile);
  settings.WriteInt(kDefaultMidiInKey,
                    static_cast<int32_t>(std::ranges::find(ins, peer.OutputName(0)) - ins.begin()));
  settings.WriteInt(
      kDefaultMidiOutKey,
      static_cast<int32_t>(std::ranges::find(outs, peer.InputName(0)) - outs.begin()));
  const Parameter& row = MasterLeftRow();
  settings.WriteInt(CcMappingKey(row.key), 1);
  BridgeProcess bridge(
      {"--profile", profile, "--midi-api", "jack", "--headless", "--no-mixer-warning"}, dir);
  if (!bridge.Start() || !bridge.WaitForOutput("MIDI input: opened")) {
    state.SkipWithError(("the program did not open its devices: " + bridge.Errors()).c_str());
    return;
  }
  // JACK on a busy machine may miss a period and drop the message.
  TimeUntilSink(
      state,
      [&](int i) {
        const auto value = static_cast<uint8_t>(i % 2 == 0 ? 100 : 101);
        peer.Send(0, {0xB0, 1, value});
        return ServerVolume(MixerValueFromController(row, value));
      },
      3, "the sink did not take the controller's value");
}

// The median of LibpulseToSink, when it ran before, for SetterToSink's ratio.
double g_libpulseMedianUs = 0;

// The values both roads alternate between.
int32_t MasterValue(int i) {
  return i % 2 == 0 ? 20000 : 40000;
}

// The baseline: a libpulse client of its own sets the sink's volume without
// waiting for the answer, as the back end does, until the subscriber sees it.
void LibpulseToSink(benchmark::State& state) {
  PulseContext setter("vantrel-bench-setter", [](pa_context*) {});
  if (!setter.WaitReady()) {
    state.SkipWithError("cannot connect to the sound server");
    return;
  }
  g_libpulseMedianUs = TimeUntilSink(
      state,
      [&](int i) {
        const uint32_t volume = ServerVolume(MasterValue(i));
        setter.Locked([volume](pa_context* context) {
          pa_cvolume both{};
          pa_cvolume_set(&both, 2, volume);
          pa_operation* set =
              pa_context_set_sink_volume_by_name(context, "vantrel_out", &both, nullptr, nullptr);
          if (set != nullptr) {
            pa_operation_unref(set);
          }
        });
        return volume;
      },
      1, "the sink did not take libpulse's value");
}

// The mixer's part of the road alone: the program's own client sets Master
// left, until the subscriber sees the sink change.
void SetterToSink(benchmark::State& state) {
  PulseMixer mixer;
  if (!mixer.server.Start()) {
    state.SkipWithError("cannot start the mixer server");
    return;
  }
  const std::unique_ptr<CMixerLink> link = ConnectMixerLink();
  const double median = TimeUntilSink(
      state,
      [&](int i) {
        link->Server()->SetMasterVolume(0, MasterValue(i));
        return ServerVolume(MasterValue(i));
      },
      1, "the sink did not take the setter's value");
  if (median > 0 && g_libpulseMedianUs > 0) {
    state.counters["x_libpulse"] = median / g_libpulseMedianUs;
  }
}

// The bus's part of the setter road, for comparison: the same setter, on
// the virtual back end, until another connection hears ValuesChanged carry
// it. Four hops through the bus daemon where the road to the sink has two.
void SetterToSignal(benchmark::State& state) {
  TempDir dir;
  MixerdProcess server(dir.File("mixer.state"));
  if (!server.Start()) {
    state.SkipWithError("cannot start the mixer server");
    return;
  }
  using Entry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>, std::string>;
  std::mutex mutex;
  std::condition_variable heard;
  int32_t master = -1;
  auto connection = sdbus::createSessionBusConnection();
  auto proxy = sdbus::createProxy(*connection, mixer_dbus::kBusName, mixer_dbus::kObjectPath);
  proxy->uponSignal(mixer_dbus::kValuesChangedSignal)
      .onInterface(mixer_dbus::kInterface)
      .call([&](const std::vector<Entry>& entries) {
        for (const Entry& entry : entries) {
          if (entry.get<0>() == "GetMasterVolume" && entry.get<1>() == std::vector<int32_t>{0}) {
            const std::lock_guard lock(mutex);
            master = entry.get<2>()[0];
            heard.notify_all();
          }
        }
      });
  proxy->finishRegistration();
  connection->enterEventLoopAsync();
  const std::unique_ptr<CMixerLink> link = ConnectMixerLink();
  TimeChanges(
      state,
      [&](int i) {
        link->Server()->SetMasterVolume(0, MasterValue(i));
        return static_cast<uint32_t>(MasterValue(i));
      },
      [&](uint32_t expected) {
        std::unique_lock lock(mutex);
        return heard.wait_for(lock, std::chrono::seconds(2),
                              [&] { return master == static_cast<int32_t>(expected); });
      },
      1, "the signal did not carry the setter's value");
  connection->leaveEventLoop();
}

void PactlPerChange(benchmark::State& state) {
  TimeUntilSink(
      state,
      [](int i) {
        const uint32_t volume = i % 2 == 0 ? 30000 : 30001;
        RunCommand({"/usr/bin/pactl", "set-sink-volume", "vantrel_out", std::to_string(volume)});
        return volume;
      },
      1, "the sink did not take pactl's value");
}

void BurstOnThreeStreams(benchmark::State& state) {
  ServerWatch watch;
  const Player first("Bench Player 1");
  const Player second("Bench Player 2");
  const Player third("Bench Player 3");
  const auto streams = [](const ServerWatch::Volumes& volumes) {
    return std::ranges::count_if(
        volumes, [](const auto& entry) { return entry.first.starts_with("stream "); });
  };
  if (!watch.WaitUntil([&](const auto& volumes) { return streams(volumes) >= 3; })) {
    state.SkipWithError("the three streams did not start");
    return;
  }
  PulseMixer server;
  if (!server.server.Start()) {
    state.SkipWithError("cannot start the mixer server");
    return;
  }
  const std::unique_ptr<CMixerLink> link = ConnectMixerLink();
  IMixerServer& mixer = *link->Server();
  constexpr int kBurst = 10000;
  constexpr auto kSpacing = std::chrono::microseconds(100); // 10,000 a second
  std::vector<double> millis;
  int32_t last = 0;
  for (auto _ : state) {
    const auto begin = Clock::now();
    for (int i = 0; i < kBurst; ++i) {
      std::this_thread::sleep_until(begin + i * kSpacing);
      last = 1000 + (i * 7 + static_cast<int>(millis.size()) * 13) % 60000;
      mixer.SetSourceVolume(kSourceWave, 0, last);
    }
    const auto end = Clock::now();
    const uint32_t expected = ServerVolume(last);
    const bool settled = watch.WaitUntil([&](const auto& volumes) {
      int onValue = 0;
      for (const auto& [key, values] : volumes) {
        onValue += key.starts_with("stream ") && !values.empty() && Near(values[0], expected);
      }
      return onValue == 3;
    });
    int32_t model = 0;
    mixer.GetSourceVolume(kSourceWave, 0, model);
    if (!settled || model != last) {
      const std::string why = !settled ? "the streams did not all end on the burst's last value"
                                       : "the model holds " + std::to_string(model) +
                                             ", not the burst's last value " + std::to_string(last);
      state.SkipWithError(why.c_str());
      return;
    }
    const double settle = std::chrono::duration<double, std::milli>(Clock::now() - end).count();
    state.SetIterationTime(settle / 1e3);
    millis.push_back(settle);
    state.counters["burst_changes_per_s"] =
        kBurst / std::chrono::duration<double>(end - begin).count();
  }
  std::sort(millis.begin(), millis.end());
  state.counters["worst_settle_ms"] = millis.back();
}

BENCHMARK(ControllerToSink)->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(LibpulseToSink)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(SetterToSink)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(SetterToSignal)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(PactlPerChange)->UseManualTime()->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BurstOnThreeStreams)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vantrel::test

BENCHMARK_MAIN();
