// How soon a controller that comes back is in use again, on JACK: a peer
// client stands for the controller, sending a Control Change every period
// while it is active. Each iteration closes the peer, waits until the
// bridge has seen it go, then opens it again under the same name and times
// from the peer's open until the session has applied the first change from
// it (JACK's notice, the dialog side's look at the lists, reopening the
// port, one period of MIDI, the drain). Needs a JACK server, e.g.
// scripts/with-test-services.sh.

#include "app/bridge_session.h"
#include "bench_jack_client.h"
#include "midi/device_watch.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

using namespace vantrel;
using Clock = std::chrono::steady_clock;

// A controller that plays one Control Change per period.
class PlayingPeer {
public:
  explicit PlayingPeer(const std::string& name)
      : m_jack(name, false, true, &PlayingPeer::Process, this) {}
  PlayingPeer(const PlayingPeer&) = delete;
  PlayingPeer& operator=(const PlayingPeer&) = delete;
  bool Ok() const { return m_jack.Ok(); }
  std::string OutName() const { return m_jack.OutName(); }

private:
  static int Process(jack_nframes_t frames, void* user) {
    auto* self = static_cast<PlayingPeer*>(user);
    void* buffer = jack_port_get_buffer(self->m_jack.Out(), frames);
    jack_midi_clear_buffer(buffer);
    const jack_midi_data_t cc[3] = {0xB0, 7, static_cast<jack_midi_data_t>(self->m_value++ & 0x7F)};
    jack_midi_event_write(buffer, 0, cc, sizeof cc);
    return 0;
  }

  unsigned m_value = 0;
  bench::BenchJackClient m_jack;
};

// The benchmark measures the MIDI side alone: the link gets a bus that
// does not exist, so no mixer answers and none is started.
void UseNoBus() {
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-bench-bus", 1);
}

// The dialog side: waits on the device watch and the controller queue and
// serves them, until done() or the deadline.
template <typename Done>
bool Serve(CBridgeSession& session, int controllerFd, Done done, Clock::time_point deadline) {
  while (!done()) {
    if (Clock::now() > deadline) {
      return false;
    }
    pollfd fds[2] = {{session.Devices().WatchFd(), POLLIN, 0}, {controllerFd, POLLIN, 0}};
    if (poll(fds, 2, 10) > 0) {
      if ((fds[0].revents & POLLIN) != 0) {
        session.Devices().OnWatch();
      }
      if ((fds[1].revents & POLLIN) != 0) {
        session.DrainControllers();
      }
    }
  }
  return true;
}

void BM_ReappearanceToFirstAppliedChange(benchmark::State& state) {
  if (SelectMidiApi(MidiApi::Jack) != MidiApi::Jack || !CurrentMidiApiAvailable()) {
    state.SkipWithError("no JACK server answers");
    return;
  }
  const std::string name = "vt-hotplug-" + std::to_string(getpid());
  auto peer = std::make_unique<PlayingPeer>(name);
  if (!peer->Ok()) {
    state.SkipWithError("the peer cannot open");
    return;
  }
  MidiProcessObjects midi;
  UseNoBus();
  CMixerLink link;
  CBridgeSession session(nullptr, midi.input, midi.output, midi.controllers, link);
  const std::unique_ptr<IDeviceWatch> watch = MakeSystemDeviceWatch();
  session.Devices().SetWatch(watch.get());
  session.LoadMainSettings();
  session.Devices().OpenSaved();
  const std::vector<std::string> inputs = MidiInputNames();
  int item = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i] == peer->OutName()) {
      item = static_cast<int>(i) + 1;
    }
  }
  if (item == 0 || session.Devices().Choose(MidiDirection::Input, item) != DeviceChange::Opened) {
    state.SkipWithError("the bridge cannot open the peer");
    return;
  }
  const int controllerFd = midi.controllers.WakeFd();
  for (auto _ : state) {
    peer.reset();
    const auto gone = [&] { return session.Devices().IsAwaited(MidiDirection::Input); };
    if (!Serve(session, controllerFd, gone, Clock::now() + std::chrono::seconds(5))) {
      state.SkipWithError("the bridge did not see the peer go");
      return;
    }
    session.DrainControllers();
    const uint64_t applied = session.Stats().controllersApplied;
    const auto start = Clock::now();
    peer = std::make_unique<PlayingPeer>(name);
    const auto back = [&] { return session.Stats().controllersApplied > applied; };
    if (!peer->Ok() || !Serve(session, controllerFd, back, start + std::chrono::seconds(5))) {
      state.SkipWithError("no change was applied after the peer came back");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  session.Shutdown();
}
BENCHMARK(BM_ReappearanceToFirstAppliedChange)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(3);

} // namespace

BENCHMARK_MAIN();
