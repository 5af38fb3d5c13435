// How fast an incoming controller reaches the mixer server: a JACK peer
// plays a Control Change into the real program (headless, or with its window
// offscreen), and the time runs until the real vantrel-mixerd holds the new
// value, read back over D-Bus. With one, eight and all 61 rows mapped to the
// same controller; and the D-Bus getter round trip alone for comparison.
// Run it inside scripts/with-test-services.sh (private bus and JACK server).

#include "percentiles.h"

#include "midi/midi_backend.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "mixer/scales.h"
#include "settings/settings.h"
#include "support/bridge_process.h"
#include "support/jack_peer.h"
#include "support/mixerd_server.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;

// The whole stack, started once per benchmark run.
struct Stack {
  MixerdTempDir dir;
  MixerdProcess server{dir.Path() + "/mixer.state"};
  JackPeer peer;
  std::unique_ptr<CMixerLink> link;
  std::unique_ptr<BridgeProcess> bridge;
  std::string error;

  Stack(std::size_t rowsMapped, bool windowed) {
    if (!peer.Error().empty() || !server.Start()) {
      error = "cannot start the mixer server or the JACK peer: " + peer.Error();
      return;
    }
    MixerLinkOptions options;
    options.startServer = false;
    link = std::make_unique<CMixerLink>(options);
    link->Startup();
    link->Create();
    SelectMidiApi(MidiApi::Jack);
    const auto ins = MidiInputNames();
    const auto outs = MidiOutputNames();
    const auto in = std::find(ins.begin(), ins.end(), peer.OutputName(0)) - ins.begin();
    const auto out = std::find(outs.begin(), outs.end(), peer.InputName(0)) - outs.begin();
    const std::string profile = dir.Path() + "/vantrel.INI";
    CSettings settings(profile);
    settings.WriteInt(kDefaultMidiInKey, static_cast<int32_t>(in));
    settings.WriteInt(kDefaultMidiOutKey, static_cast<int32_t>(out));
    // The first mixer rows in dispatch order share controller 1.
    std::size_t mapped = 0;
    for (const Parameter& p : kCatalogue) {
      if (mapped < rowsMapped) {
        settings.WriteInt(CcMappingKey(p.key), 1);
        ++mapped;
      }
    }
    std::vector<std::string> args = {"--profile", profile, "--midi-api", "jack",
                                     "--no-mixer-warning"};
    if (!windowed) {
      args.push_back("--headless");
    }
    bridge = std::make_unique<BridgeProcess>(
        args, dir.Path(), std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}});
    if (!bridge->Start() || !bridge->WaitForOutput("MIDI input: opened")) {
      error = "the program did not open its devices: " + bridge->Errors();
    }
  }
};

// The row whose value shows that every mapped row has been applied: the
// last mixer row among the first rowsMapped.
std::size_t LastMixerRow(std::size_t rowsMapped) {
  std::size_t last = 0;
  for (std::size_t row = 0; row < rowsMapped && row < kCatalogue.size(); ++row) {
    if (kCatalogue[row].kind != ParameterKind::Filter) {
      last = row;
    }
  }
  return last;
}

void ControllerToServer(benchmark::State& state, bool windowed) {
  const auto rows = static_cast<std::size_t>(state.range(0));
  Stack stack(rows, windowed);
  if (!stack.error.empty()) {
    state.SkipWithError(stack.error.c_str());
    return;
  }
  IMixerServer& mixer = *stack.link->Server();
  const Parameter& watched = kCatalogue[LastMixerRow(rows)];
  std::vector<double> micros;
  uint8_t value = 1;
  for (auto _ : state) {
    value = static_cast<uint8_t>(value == 100 ? 101 : 100);
    const int32_t expected = MixerValueFromController(watched, value);
    const auto start = Clock::now();
    stack.peer.Send(0, {0xB0, 1, value});
    int32_t cell = 0;
    while (cell != expected && Clock::now() - start < std::chrono::seconds(5)) {
      cell = 0;
      ReadParameter(mixer, watched, cell);
    }
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.SetIterationTime(elapsed / 1e6);
    micros.push_back(elapsed);
  }
  ReportPercentiles(state, micros);
}

// Throughput: a burst of controllers at 32 per JACK period of 128 frames at
// 48 kHz, about 12,000 a second (twelve times a MIDI cable), timed until the
// last value lands.
void ControllerBurst(benchmark::State& state, bool windowed) {
  Stack stack(static_cast<std::size_t>(state.range(0)), windowed);
  if (!stack.error.empty()) {
    state.SkipWithError(stack.error.c_str());
    return;
  }
  IMixerServer& mixer = *stack.link->Server();
  const Parameter& watched = kCatalogue[LastMixerRow(static_cast<std::size_t>(state.range(0)))];
  constexpr int kBurst = 1000;
  stack.peer.SetPacing(32);
  int64_t sent = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (int i = 0; i < kBurst; ++i) {
      stack.peer.Send(0, {0xB0, 1, static_cast<uint8_t>(i % 100)});
    }
    stack.peer.Send(0, {0xB0, 1, 127});
    const int32_t expected = MixerValueFromController(watched, 127);
    int32_t cell = 0;
    while (cell != expected && Clock::now() - start < std::chrono::seconds(30)) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      cell = 0;
      ReadParameter(mixer, watched, cell);
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    sent += kBurst + 1;
    // Back to a value the next burst changes.
    stack.peer.Send(0, {0xB0, 1, 0});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  state.counters["controllers_per_s"] =
      benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
  stack.bridge->Stop();
  const std::string out = stack.bridge->Output();
  const auto at = out.find("Controller changes applied");
  if (at != std::string::npos) {
    std::cerr << out.substr(at, out.find('\n', at) - at) << '\n';
  }
}

void DbusRoundTrip(benchmark::State& state) {
  MixerdTempDir dir;
  MixerdProcess server(dir.Path() + "/mixer.state");
  if (!server.Start()) {
    state.SkipWithError("cannot start the mixer server");
    return;
  }
  MixerLinkOptions options;
  options.startServer = false;
  CMixerLink link(options);
  link.Startup();
  link.Create();
  std::vector<double> micros;
  for (auto _ : state) {
    const auto start = Clock::now();
    int32_t cell = 0;
    link.Server()->GetRecordLevel(cell);
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.SetIterationTime(elapsed / 1e6);
    micros.push_back(elapsed);
  }
  ReportPercentiles(state, micros);
}

BENCHMARK(DbusRoundTrip)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Each road headless and with the window on screen.
[[maybe_unused]] const bool kRegistered = [] {
  for (const bool windowed : {false, true}) {
    const std::string mode = windowed ? "window" : "headless";
    benchmark::RegisterBenchmark(("ControllerToServer/" + mode).c_str(), ControllerToServer,
                                 windowed)
        ->Arg(1)
        ->Arg(8)
        ->Arg(61)
        ->UseManualTime()
        ->Iterations(300)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("ControllerBurst/" + mode).c_str(), ControllerBurst, windowed)
        ->Arg(1)
        ->Arg(61)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

} // namespace
} // namespace vantrel::test

BENCHMARK_MAIN();
