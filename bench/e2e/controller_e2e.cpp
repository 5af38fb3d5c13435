// How fast an incoming controller reaches the mixer server: a JACK peer
// plays a Control Change into the real program (headless, or with its window
// offscreen), and the time runs until the real vantrel-mixerd holds the new
// value, as a client of the server hears it. With one, eight and all 61 rows
// mapped to the same controller; and how many D-Bus messages one controller
// change on every row costs.
// Then the roads back: how soon a backlog left by a stopped server lands
// once it goes on, and how soon a change made by another client reaches the
// controller as feedback. Buttons and encoders: a mute button's press until
// its light is back at the peer and until the server holds the mute, and a
// flood of encoder steps at 10,000 a second until the last value lands.
// A Mackie Control surface played by the peer: a change made by another
// client until the motor fader's pitch bend reaches the peer, and a
// full-travel sweep of a fader on screen: how many motor updates per second
// the surface gets, and whether the last one is exact.
// Run it inside scripts/with-test-services.sh (private bus and JACK server).

#include "percentiles.h"

#include "app/bridge_session.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"
#include "mixer/catalogue.h"
#include "mixer/dbus_mixer_protocol.h"
#include "mixer/mixer_link.h"
#include "mixer/scales.h"
#include "settings/settings.h"
#include "support/bridge_process.h"
#include "support/jack_peer.h"
#include "support/mixerd_fixture.h"
#include "support/mixerd_server.h"
#include "ui/app/bridge_dlg.h"
#include "ui/pages/mixer_page.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSlider>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;

// Writes the peer's ports as the profile's MIDI devices.
void WritePeerDevices(CSettings& settings, JackPeer& peer) {
  SelectMidiApi(MidiApi::Jack);
  const auto ins = MidiInputNames();
  const auto outs = MidiOutputNames();
  const auto in = std::find(ins.begin(), ins.end(), peer.OutputName(0)) - ins.begin();
  const auto out = std::find(outs.begin(), outs.end(), peer.InputName(0)) - outs.begin();
  settings.WriteInt(kDefaultMidiInKey, static_cast<int32_t>(in));
  settings.WriteInt(kDefaultMidiOutKey, static_cast<int32_t>(out));
}

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

// The whole stack, started once per benchmark run.
struct Stack {
  TempDir dir;
  MixerdProcess server{dir.File("mixer.state")};
  JackPeer peer;
  std::unique_ptr<CMixerLink> link;
  std::unique_ptr<BridgeProcess> bridge;
  std::string error;
  std::size_t rowsMapped = 0;

  // `extra` adds to the profile before the program starts.
  Stack(std::size_t rows, bool windowed, bool feedback = false,
        const std::function<void(CSettings&)>& extra = {})
      : rowsMapped(rows) {
    if (!peer.Error().empty() || !server.Start()) {
      error = "cannot start the mixer server or the JACK peer: " + peer.Error();
      return;
    }
    link = std::make_unique<CMixerLink>(ExistingServerOnly());
    link->Startup();
    link->Create();
    const std::string profile = dir.File("vantrel.INI");
    CSettings settings(profile);
    WritePeerDevices(settings, peer);
    settings.WriteInt(kFeedbackKey, feedback ? 1 : 0);
    // The first mixer rows in dispatch order share controller 1.
    std::size_t mapped = 0;
    for (const Parameter& p : kCatalogue) {
      if (mapped < rowsMapped) {
        settings.WriteInt(CcMappingKey(p.key), 1);
        ++mapped;
      }
    }
    if (extra) {
      extra(settings);
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

  // The mixer row whose value shows that every mapped row has been applied.
  const Parameter& Watched() const { return kCatalogue[LastMixerRow(rowsMapped)]; }

  // False, with the benchmark skipped, when the stack could not start.
  bool Ready(benchmark::State& state) const {
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
    }
    return error.empty();
  }
};

// What the server holds for a parameter, as the bench's own link hears it:
// its mirror follows the server's change signals once they are handled.
int32_t Held(CMixerLink& link, const Parameter& p) {
  link.ProcessEvents();
  int32_t cell = 0;
  ReadParameter(*link.Server(), p, cell);
  return cell;
}

// Polls, `pause` apart, until the server holds `expected` for `p` or
// `limit` has passed since `start`.
void WaitUntilHeld(CMixerLink& link, const Parameter& p, int32_t expected, Clock::time_point start,
                   Clock::duration limit, Clock::duration pause = Clock::duration::zero()) {
  while (Held(link, p) != expected && Clock::now() - start < limit) {
    if (pause > Clock::duration::zero()) {
      std::this_thread::sleep_for(pause);
    }
  }
}

// Controller 1 swept back and forth `count` times, then at 127.
void SendSweep(JackPeer& peer, int count) {
  for (int i = 0; i < count; ++i) {
    peer.Send(0, {0xB0, 1, static_cast<uint8_t>(i % 100)});
  }
  peer.Send(0, {0xB0, 1, 127});
}

void ControllerToServer(benchmark::State& state, Stack& stack) {
  CMixerLink& link = *stack.link;
  const Parameter& watched = stack.Watched();
  std::vector<double> micros;
  uint8_t value = 1;
  for (auto _ : state) {
    value = static_cast<uint8_t>(value == 100 ? 101 : 100);
    const int32_t expected = MixerValueFromController(watched, value);
    const auto start = Clock::now();
    stack.peer.Send(0, {0xB0, 1, value});
    WaitUntilHeld(link, watched, expected, start, std::chrono::seconds(5));
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    state.SetIterationTime(elapsed / 1e6);
    micros.push_back(elapsed);
  }
  ReportPercentiles(state, micros);
}

// Throughput: a burst of controllers at 32 per JACK period of 128 frames at
// 48 kHz, about 12,000 a second (twelve times a MIDI cable), timed until the
// last value lands.
void ControllerBurst(benchmark::State& state, Stack& stack) {
  CMixerLink& link = *stack.link;
  const Parameter& watched = stack.Watched();
  constexpr int kBurst = 1000;
  stack.peer.SetPacing(32);
  int64_t sent = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    SendSweep(stack.peer, kBurst);
    WaitUntilHeld(link, watched, MixerValueFromController(watched, 127), start,
                  std::chrono::seconds(30), std::chrono::microseconds(200));
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

// A burst played while the server is stopped (SIGSTOP): the program's
// setters wait on the bus. Timed from SIGCONT until the last value is held.
void StallRecovery(benchmark::State& state, Stack& stack) {
  CMixerLink& link = *stack.link;
  const Parameter& watched = stack.Watched();
  constexpr int kBurst = 1000;
  stack.peer.SetPacing(32);
  std::size_t heard = 0;
  std::vector<double> millis;
  for (auto _ : state) {
    stack.peer.Send(0, {0xB0, 1, 0});
    const int32_t reset = MixerValueFromController(watched, 0);
    while (Held(link, watched) != reset) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    heard = stack.peer.ReceivedAfterQuiet().size();
    ::kill(stack.server.Pid(), SIGSTOP);
    SendSweep(stack.peer, kBurst);
    heard += kBurst + 1;
    // Every message has gone through the program; give it time to apply them.
    stack.peer.WaitForReceived(heard, std::chrono::seconds(30));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int32_t expected = MixerValueFromController(watched, 127);
    const auto start = Clock::now();
    ::kill(stack.server.Pid(), SIGCONT);
    WaitUntilHeld(link, watched, expected, start, std::chrono::seconds(60),
                  std::chrono::microseconds(200));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(elapsed);
    millis.push_back(elapsed * 1000);
  }
  std::sort(millis.begin(), millis.end());
  state.counters["median_ms"] = millis[millis.size() / 2];
}

// Another client sets `watched` to each of `values` in turn; timed until
// the peer hears from the program what `answers` accepts for the value.
void OutsideChangeToPeer(benchmark::State& state, Stack& stack, const Parameter& watched,
                         std::array<int32_t, 2> values,
                         const std::function<bool(const std::vector<uint8_t>&, int32_t)>& answers,
                         const char* missing) {
  IMixerServer& mixer = *stack.link->Server();
  std::size_t heard = stack.peer.ReceivedAfterQuiet().size();
  std::vector<double> micros;
  int32_t value = values[0];
  for (auto _ : state) {
    value = value == values[0] ? values[1] : values[0];
    const auto start = Clock::now();
    SetParameter(mixer, watched, value);
    bool arrived = false;
    while (!arrived && Clock::now() - start < std::chrono::seconds(5)) {
      const auto got = stack.peer.WaitForReceived(heard + 1, std::chrono::milliseconds(100));
      for (; heard < got.size() && !arrived; ++heard) {
        arrived = answers(got[heard].bytes, value);
      }
    }
    const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (!arrived) {
      state.SkipWithError(missing);
      return;
    }
    state.SetIterationTime(elapsed / 1e6);
    micros.push_back(elapsed);
    // Apart by more than the feedback's refresh interval and a surface
    // strip's update interval, as separate moves would be.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  ReportPercentiles(state, micros);
}

// Another client sets a mapped parameter; timed until the program's
// feedback Control Change for it reaches the JACK peer.
void OutsideChangeToFeedback(benchmark::State& state, Stack& stack) {
  const Parameter& watched = stack.Watched();
  OutsideChangeToPeer(
      state, stack, watched, {MixerValueFromFader(watched, 10), MixerValueFromFader(watched, 90)},
      [](const std::vector<uint8_t>& bytes, int32_t) { return bytes.size() == 3 && bytes[1] == 1; },
      "the feedback Control Change did not arrive");
}

// Shows the program's window in this process (offscreen) beside a mixer
// server of the benchmark's own, and hands `measure` its master page;
// `profile` writes the profile first. False, with the benchmark skipped,
// when the server does not start.
bool WithWindow(benchmark::State& state, const std::function<void(CSettings&)>& profile,
                const std::function<void(ui::CMixerPage& master)>& measure) {
  TempDir dir;
  MixerdProcess server(dir.File("mixer.state"));
  if (!server.Start()) {
    state.SkipWithError("cannot start the mixer server");
    return false;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "bench_controller_e2e";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  CSettings settings(dir.File("vantrel.INI"));
  profile(settings);
  MidiProcessObjects midi;
  CMixerLink link(ExistingServerOnly());
  CBridgeSession session(&settings, midi.input, midi.output, midi.controllers, link);
  ui::WindowOptions quiet;
  quiet.mixerWarning = false;
  ui::CBridgeDlg window(session, midi.controllers.WakeFd(), quiet);
  window.OnInitDialog();
  window.show();
  measure(*window.PageOfTemplate(PageByNumber(1)->templateId));
  window.close();
  return true;
}

// Another client sets a parameter of the page on screen; timed until the
// window (in this process, offscreen) shows it on the fader.
void OutsideChangeToFader(benchmark::State& state) {
  std::vector<double> micros;
  const auto measure = [&](ui::CMixerPage& master) {
    CMixerLink other(ExistingServerOnly());
    other.Startup();
    other.Create();
    const std::size_t row = master.Model().Def().strips.front().row;
    QSlider* fader =
        master.findChild<QSlider*>(QString::number(master.Model().Def().strips.front().ids.fader));
    const Parameter& p = kCatalogue[row];
    int value = 10;
    for (auto _ : state) {
      value = value == 10 ? 90 : 10;
      const int shown = FaderValueFromReading(p, MixerValueFromFader(p, value));
      const auto start = Clock::now();
      SetParameter(*other.Server(), p, MixerValueFromFader(p, value));
      while (fader->value() != shown && Clock::now() - start < std::chrono::seconds(5)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      }
      const double elapsed =
          std::chrono::duration<double, std::micro>(Clock::now() - start).count();
      state.SetIterationTime(elapsed / 1e6);
      micros.push_back(elapsed);
    }
  };
  if (WithWindow(
          state, [](CSettings&) {}, measure)) {
    ReportPercentiles(state, micros);
  }
}

BENCHMARK(OutsideChangeToFader)->UseManualTime()->Iterations(100)->Unit(benchmark::kMicrosecond);

void SpeakMackie(CSettings& settings) {
  settings.Write(kSurfaceProtocolKey, "mackie");
}

// The row of a profile key.
const Parameter& ParameterOfKey(std::string_view key) {
  return *std::find_if(kCatalogue.begin(), kCatalogue.end(),
                       [&](const Parameter& p) { return p.key == key; });
}

// Another client sets Analog 1's volume, on the surface's first strip;
// timed until its motor's pitch bend reaches the peer.
void OutsideChangeToMotor(benchmark::State& state, Stack& stack) {
  const Parameter& watched = ParameterOfKey("A1VolCC");
  OutsideChangeToPeer(
      state, stack, watched, {20000, 40000},
      [&watched](const std::vector<uint8_t>& bytes, int32_t value) {
        const int position = FineControllerValueFromReading(watched, value);
        return bytes == std::vector<uint8_t>{0xE0, static_cast<uint8_t>(position & 0x7F),
                                             static_cast<uint8_t>(position >> 7)};
      },
      "the motor's pitch bend did not arrive");
}

// The window (in this process, offscreen) with the peer as its surface: the
// master page's Vol L fader is swept over its whole travel, one step a
// millisecond, as a fast drag would; the surface's master motor follows.
// Counted at the peer: the master fader's updates per second of the sweep
// (aim at most 100: one per 10 ms) and whether the last is exact.
void ScreenSweepToMotor(benchmark::State& state) {
  JackPeer peer;
  if (!peer.Error().empty()) {
    state.SkipWithError("cannot start the JACK peer");
    return;
  }
  double rate = 0;
  double exact = 1;
  const auto profile = [&peer](CSettings& settings) {
    WritePeerDevices(settings, peer);
    SpeakMackie(settings);
  };
  const auto measure = [&](ui::CMixerPage& master) {
    const Parameter& volL = ParameterOfKey("VolLCC");
    const std::size_t strip =
        *master.Model().StripOfRow(static_cast<std::size_t>(&volL - kCatalogue.data()));
    QSlider* fader =
        master.findChild<QSlider*>(QString::number(master.Model().Def().strips[strip].ids.fader));
    auto settle = [&](std::chrono::milliseconds time) {
      const auto end = Clock::now() + time;
      while (Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      }
    };
    settle(std::chrono::milliseconds(300));
    int target = 127;
    double seconds = 0;
    std::size_t updates = 0;
    for (auto _ : state) {
      peer.ClearReceived();
      const auto start = Clock::now();
      for (int step = 0; step <= kFaderMax; ++step) {
        fader->setValue(target == 127 ? step : kFaderMax - step);
        const auto next = start + std::chrono::milliseconds(step + 1);
        while (Clock::now() < next) {
          QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
      }
      const double sweep = std::chrono::duration<double>(Clock::now() - start).count();
      settle(std::chrono::milliseconds(200));
      const int last = FineControllerValueFromReading(volL, MixerValueFromFader(volL, target));
      std::size_t count = 0;
      std::vector<uint8_t> lastBend;
      for (const PeerMessage& m : peer.ReceivedAfterQuiet()) {
        if (m.bytes.size() == 3 && m.bytes[0] == 0xE8) {
          ++count;
          lastBend = m.bytes;
        }
      }
      const std::vector<uint8_t> expected = {0xE8, static_cast<uint8_t>(last & 0x7F),
                                             static_cast<uint8_t>(last >> 7)};
      if (lastBend != expected) {
        exact = 0;
      }
      seconds += sweep;
      updates += count;
      state.SetIterationTime(sweep);
      target = target == 127 ? 0 : 127;
    }
    rate = static_cast<double>(updates) / seconds;
  };
  if (!WithWindow(state, profile, measure)) {
    return;
  }
  state.counters["updates_per_s"] = rate;
  state.counters["last_exact"] = exact;
}

BENCHMARK(ScreenSweepToMotor)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// How many D-Bus messages the program sends the mixer server for one
// controller change that moves 59 rows, counted by dbus-monitor on the bus.
void MessagesPerChange(benchmark::State& state, Stack& stack) {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string rule =
      std::string("type='method_call',destination='") + mixer_dbus::kBusName + "'";
  double messages = 0;
  uint8_t value = 10;
  for (auto _ : state) {
    value = static_cast<uint8_t>(value == 10 ? 90 : 10);
    CommandResult monitor;
    std::thread watch([&] {
      monitor = RunCommand({"/usr/bin/timeout", "2", "/usr/bin/dbus-monitor", "--address",
                            address != nullptr ? address : "", rule});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    stack.peer.Send(0, {0xB0, 1, value});
    watch.join();
    std::size_t count = 0;
    for (std::size_t at = monitor.out.find("method call"); at != std::string::npos;
         at = monitor.out.find("method call", at + 1)) {
      ++count;
    }
    messages += static_cast<double>(count);
  }
  state.counters["messages_per_change"] = messages / static_cast<double>(state.iterations());
}

// A momentary mute button on CC 20: each press toggles the master mute.
// Timed from the press until its light (CC 20, 127 or 0) is back at the
// peer, and until the server holds the new mute.
void ButtonToLightAndMute(benchmark::State& state, Stack& stack) {
  CMixerLink& link = *stack.link;
  // The lights sent when the output opened.
  stack.peer.WaitForReceived(1, std::chrono::seconds(5));
  std::vector<double> lightMicros;
  std::vector<double> muteMicros;
  int missed = 0;
  for (auto _ : state) {
    const std::size_t heard = stack.peer.ReceivedAfterQuiet().size();
    const auto start = Clock::now();
    stack.peer.Send(0, {0xB0, 20, 127});
    stack.peer.Send(0, {0xB0, 20, 0});
    // The press's and the release's thru copies, then the light.
    const auto got = stack.peer.WaitForReceived(heard + 3, std::chrono::seconds(5));
    const double lit = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (got.size() != heard + 3) {
      ++missed; // JACK lost the press in a late period
      continue;
    }
    // The light says which way the mute went; the server must hold it.
    const int32_t muted = got.back().bytes[2] != 0 ? 1 : 0;
    int32_t held = -1;
    while ((link.ProcessEvents(), link.Server()->GetMasterMute(held), held != muted) &&
           Clock::now() - start < std::chrono::seconds(5)) {
    }
    const double mute = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    lightMicros.push_back(lit);
    muteMicros.push_back(mute);
    state.SetIterationTime(lit / 1e6);
  }
  if (lightMicros.empty()) {
    state.SkipWithError("no light came back");
    return;
  }
  state.counters["missed"] = missed;
  ReportPercentiles(state, lightMicros);
  std::sort(muteMicros.begin(), muteMicros.end());
  state.counters["mute_p50_us"] = muteMicros[muteMicros.size() / 2];
  state.counters["mute_p99_us"] = muteMicros[muteMicros.size() * 99 / 100];
}

// 10,000 steps of a relative-twos encoder on Aux 1 at 10,000 a second (27
// per JACK period), up 100 and down 100 in turn from 10, then 7 down: any
// step lost or applied twice leaves the level off 3, which the flood never
// passes. Timed until 3 lands.
void EncoderFlood(benchmark::State& state, Stack& stack) {
  CMixerLink& link = *stack.link;
  const Parameter& aux1 = kCatalogue[0];
  constexpr int kSteps = 10'000;
  stack.peer.SetPacing(27);
  int64_t sent = 0;
  int wrong = 0;
  for (auto _ : state) {
    SetParameter(*link.Server(), aux1, MixerValueFromController(aux1, 10));
    while (Held(link, aux1) != MixerValueFromController(aux1, 10)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    for (int i = 0; i < kSteps; ++i) {
      stack.peer.Send(0, {0xB0, 16, static_cast<uint8_t>(i % 200 < 100 ? 1 : 127)});
    }
    stack.peer.Send(0, {0xB0, 16, 121});
    const int32_t expected = MixerValueFromController(aux1, 3);
    WaitUntilHeld(link, aux1, expected, start, std::chrono::seconds(30),
                  std::chrono::microseconds(200));
    wrong += Held(link, aux1) != expected ? 1 : 0;
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    sent += kSteps + 1;
  }
  state.counters["steps_per_s"] =
      benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
  state.counters["wrong_last_values"] = wrong;
}

// The profiles of the roads that need more than controller numbers.
void MapMuteButton(CSettings& settings) {
  settings.Write(ButtonMappingKey("VolMute"), "CC 20");
}

void MapRelativeEncoder(CSettings& settings) {
  settings.WriteInt(CcMappingKey("Aux1CC"), 16);
  settings.Write(ControllerModeKey(16), "relative-twos");
}

// How each road is run, headless and with the window on screen: the
// controller rows the profile maps (one run per count in `rowsMapped`, else
// `rows`), feedback and what else the profile holds.
struct Road {
  const char* name;
  void (*run)(benchmark::State& state, Stack& stack);
  std::vector<int64_t> rowsMapped;
  int64_t iterations;
  benchmark::TimeUnit unit;
  std::size_t rows = 0;
  bool feedback = false;
  void (*profile)(CSettings& settings) = nullptr;
  bool manualTime = true;
};

const std::vector<Road> kRoads = {
    {"ControllerToServer", ControllerToServer, {1, 8, 61}, 300, benchmark::kMicrosecond},
    {"ControllerBurst", ControllerBurst, {1, 61}, 3, benchmark::kMillisecond},
    {"StallRecovery", StallRecovery, {1, 61}, 3, benchmark::kMillisecond},
    {"MessagesPerChange59Rows",
     MessagesPerChange,
     {},
     3,
     benchmark::kMillisecond,
     kCatalogue.size(),
     false,
     nullptr,
     false},
    {"ButtonToLightAndMute",
     ButtonToLightAndMute,
     {},
     100,
     benchmark::kMicrosecond,
     0,
     false,
     MapMuteButton},
    {"EncoderFlood", EncoderFlood, {}, 3, benchmark::kMillisecond, 0, false, MapRelativeEncoder},
    {"OutsideChangeToFeedback", OutsideChangeToFeedback, {}, 100, benchmark::kMicrosecond, 1, true},
    {"OutsideChangeToMotor",
     OutsideChangeToMotor,
     {},
     100,
     benchmark::kMicrosecond,
     0,
     false,
     SpeakMackie},
};

void RunRoad(benchmark::State& state, const Road& road, bool windowed) {
  const std::size_t rows =
      road.rowsMapped.empty() ? road.rows : static_cast<std::size_t>(state.range(0));
  Stack stack(rows, windowed, road.feedback, road.profile);
  if (stack.Ready(state)) {
    road.run(state, stack);
  }
}

[[maybe_unused]] const bool kRegistered = [] {
  for (const bool windowed : {false, true}) {
    const std::string mode = windowed ? "window" : "headless";
    for (const Road& road : kRoads) {
      benchmark::internal::Benchmark* bench = benchmark::RegisterBenchmark(
          (std::string(road.name) + "/" + mode).c_str(),
          [&road, windowed](benchmark::State& state) { RunRoad(state, road, windowed); });
      for (const int64_t rows : road.rowsMapped) {
        bench->Arg(rows);
      }
      if (road.manualTime) {
        bench->UseManualTime();
      }
      bench->Iterations(road.iterations)->Unit(road.unit);
    }
  }
  return true;
}();

} // namespace
} // namespace vantrel::test

BENCHMARK_MAIN();
