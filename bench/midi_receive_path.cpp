// The receive path of the bridge per message, in-process: what the MIDI
// system's thread runs for one message (receive lock, thru send through the
// output port's lock, and for a Control Change the push into the controller
// queue with its wake-up). The output device is a stand-in that accepts every
// message, so the figure is the bridge's own cost.

#include "midi/controller_queue.h"
#include "midi/midi_device.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

namespace {

using namespace vantrel;

class AcceptingOutput final : public IMidiOutConnection {
public:
  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    benchmark::DoNotOptimize(bytes);
    benchmark::DoNotOptimize(size);
    return true;
  }
  const char* SendError() const noexcept override { return ""; }
};

class AcceptingOutBackend final : public IMidiOutBackend {
public:
  std::vector<std::string> DeviceNames() override { return {"device"}; }
  std::unique_ptr<IMidiOutConnection> Open(uint32_t, std::string&) override {
    return std::make_unique<AcceptingOutput>();
  }
};

class IdleInput final : public IMidiInConnection {
public:
  int Start(std::string&) override { return 0; }
  int Stop(std::string&) override { return 0; }
};

// Hands out the receiver the port registers, so the benchmark can call it as
// the MIDI system's thread would.
class CapturingInBackend final : public IMidiInBackend {
public:
  explicit CapturingInBackend(IMidiReceiver*& receiver) : m_receiver(receiver) {}
  std::vector<std::string> DeviceNames() override { return {"device"}; }
  std::unique_ptr<IMidiInConnection> Open(uint32_t, IMidiReceiver& receiver,
                                          std::string&) override {
    m_receiver = &receiver;
    return std::make_unique<IdleInput>();
  }

private:
  IMidiReceiver*& m_receiver;
};

void RunReceivePath(benchmark::State& state, CMidiMessage message) {
  std::mutex receiveLock;
  CControllerQueue queue;
  IMidiReceiver* receiver = nullptr;
  CMidiOutPort output(std::make_unique<AcceptingOutBackend>());
  CBridgeMidiIn input(receiveLock, std::make_unique<CapturingInBackend>(receiver));
  input.SetThruPort(&output);
  input.SetControllerQueue(&queue);
  output.Open(0);
  input.Open(0);
  input.Start();

  // Messages go in batches no larger than the queue; between batches the
  // queue is drained untimed, as the dialog thread would.
  constexpr int kBatch = 1024;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      receiver->Receive(message);
    }
    state.PauseTiming();
    queue.AcknowledgeWake();
    for (ControllerChange change; queue.Pop(change);) {
      benchmark::DoNotOptimize(change);
    }
    state.ResumeTiming();
  }
  state.counters["per_message"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBatch,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["queue_dropped"] = static_cast<double>(queue.DroppedCount());
  state.counters["thru_dropped"] = static_cast<double>(input.ThruDroppedCount());
}

void BM_ReceivePathControlChange(benchmark::State& state) {
  RunReceivePath(state, CMidiMessage{0, 0xBF, 7, 100});
}
BENCHMARK(BM_ReceivePathControlChange);

void BM_ReceivePathNoteOnThruOnly(benchmark::State& state) {
  RunReceivePath(state, CMidiMessage{0, 0x90, 60, 100});
}
BENCHMARK(BM_ReceivePathNoteOnThruOnly);

} // namespace

BENCHMARK_MAIN();
