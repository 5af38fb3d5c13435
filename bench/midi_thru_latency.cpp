// End-to-end thru latency on JACK, in the same run: a probe client sends one
// Control Change at a time and times its return in frames, first through a
// minimal pass-through client (the direct JACK loop), then through the
// bridge's ports. Reports both means, their ratio and the periods the bridge
// adds. Needs a JACK server, e.g. scripts/with-test-services.sh.

#include "bench_jack_client.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vantrel;
using namespace std::chrono_literals;

// Sends on request and measures when the message comes back.
class Probe {
public:
  explicit Probe(const std::string& name) : m_jack(name, true, true, &Probe::Process, this) {}
  bool Ok() const { return m_jack.Ok(); }
  jack_client_t* Client() const { return m_jack.Client(); }
  std::string OutName() const { return m_jack.OutName(); }
  std::string InName() const { return m_jack.InName(); }

  // One round trip in frames, or -1 when nothing came back within a second.
  int64_t RoundTrip() {
    m_latency.store(-1);
    m_sendRequested.store(true);
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (m_latency.load() < 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(200us);
    }
    return m_latency.load();
  }

private:
  static int Process(jack_nframes_t frames, void* user) {
    auto* self = static_cast<Probe*>(user);
    const jack_nframes_t cycleStart = jack_last_frame_time(self->m_jack.Client());
    void* in = jack_port_get_buffer(self->m_jack.In(), frames);
    if (jack_midi_get_event_count(in) > 0 && self->m_waiting) {
      jack_midi_event_t event{};
      jack_midi_event_get(&event, in, 0);
      self->m_waiting = false;
      self->m_latency.store(static_cast<int64_t>(cycleStart + event.time - self->m_sentAt));
    }
    void* out = jack_port_get_buffer(self->m_jack.Out(), frames);
    jack_midi_clear_buffer(out);
    if (self->m_sendRequested.exchange(false)) {
      // A new value each trip, as a knob turned: the same message sent
      // again a period after its copy came through would look to the
      // bridge like its own output coming back.
      const uint8_t message[3] = {0xB0, 0x10, static_cast<uint8_t>(self->m_trip++ & 0x7F)};
      jack_midi_event_write(out, 0, message, sizeof message);
      self->m_sentAt = cycleStart;
      self->m_waiting = true;
    }
    return 0;
  }

  std::atomic<bool> m_sendRequested{false};
  std::atomic<int64_t> m_latency{-1};
  jack_nframes_t m_sentAt = 0; // process thread only
  bool m_waiting = false;      // process thread only
  uint8_t m_trip = 0;          // process thread only
  bench::BenchJackClient m_jack;
};

// The smallest JACK client that passes MIDI on: copies each event to its
// output at the same frame.
class PassThrough {
public:
  explicit PassThrough(const std::string& name)
      : m_jack(name, true, true, &PassThrough::Process, this) {}
  std::string OutName() const { return m_jack.OutName(); }
  std::string InName() const { return m_jack.InName(); }

private:
  static int Process(jack_nframes_t frames, void* user) {
    auto* self = static_cast<PassThrough*>(user);
    void* in = jack_port_get_buffer(self->m_jack.In(), frames);
    void* out = jack_port_get_buffer(self->m_jack.Out(), frames);
    jack_midi_clear_buffer(out);
    const uint32_t count = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event{};
      if (jack_midi_event_get(&event, in, i) == 0) {
        jack_midi_event_write(out, event.time, event.buffer, event.size);
      }
    }
    return 0;
  }

  bench::BenchJackClient m_jack;
};

constexpr int kTrips = 200;

double MeanRoundTrip(Probe& probe, int& lost) {
  std::this_thread::sleep_for(50ms); // let the connections settle
  int64_t total = 0;
  int counted = 0;
  for (int i = 0; i < kTrips; ++i) {
    const int64_t frames = probe.RoundTrip();
    if (frames < 0) {
      ++lost;
      continue;
    }
    total += frames;
    ++counted;
  }
  return counted == 0 ? 0.0 : static_cast<double>(total) / counted;
}

int IndexOf(const std::vector<std::string>& names, const std::string& name) {
  const auto found = std::find(names.begin(), names.end(), name);
  return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

void BM_ThruLatencyBridgeAgainstDirectJack(benchmark::State& state) {
  const std::string suffix = std::to_string(getpid());
  Probe probe("vt-probe-" + suffix);
  if (!probe.Ok() || SelectMidiApi(MidiApi::Jack) != MidiApi::Jack || !CurrentMidiApiAvailable()) {
    state.SkipWithError("No JACK server runs; start one or use scripts/with-test-services.sh.");
    return;
  }
  const double period = jack_get_buffer_size(probe.Client());
  const double rate = jack_get_sample_rate(probe.Client());
  double direct = 0;
  double bridge = 0;
  int lost = 0;
  for (auto _ : state) {
    {
      PassThrough pass("vt-pass-" + suffix);
      jack_connect(probe.Client(), probe.OutName().c_str(), pass.InName().c_str());
      jack_connect(probe.Client(), pass.OutName().c_str(), probe.InName().c_str());
      direct = MeanRoundTrip(probe, lost);
    }
    {
      MidiProcessObjects midi;
      midi.input.SetThruPort(&midi.output);
      midi.input.SetControllerQueue(&midi.controllers);
      const int out = IndexOf(MidiOutputNames(), probe.InName());
      const int in = IndexOf(MidiInputNames(), probe.OutName());
      if (out < 0 || in < 0 || midi.output.Open(static_cast<uint32_t>(out)) != kMidiOk ||
          midi.input.Open(in) != kMidiOk || midi.input.Start() != kMidiOk) {
        state.SkipWithError("The bridge could not open the probe's ports.");
        return;
      }
      bridge = MeanRoundTrip(probe, lost);
    }
  }
  state.counters["period_frames"] = period;
  state.counters["direct_us"] = direct * 1e6 / rate;
  state.counters["bridge_us"] = bridge * 1e6 / rate;
  state.counters["direct_frames"] = direct;
  state.counters["bridge_frames"] = bridge;
  state.counters["ratio"] = direct > 0 ? bridge / direct : 0;
  state.counters["added_periods"] = (bridge - direct) / period;
  state.counters["lost"] = lost;
}
BENCHMARK(BM_ThruLatencyBridgeAgainstDirectJack)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
