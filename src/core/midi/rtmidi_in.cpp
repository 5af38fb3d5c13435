#include "midi/rtmidi_in.h"

#include "midi/midi_backend.h"
#include "midi/rtmidi_ports.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class RtMidiInConnection final : public IMidiInConnection {
public:
  explicit RtMidiInConnection(IMidiReceiver& receiver) : receiver_(receiver) {}

  ~RtMidiInConnection() override {
    // Destroying RtMidi's object closes the port and joins its input thread,
    // so no callback outlives this object.
    in_.reset();
  }

  int Open(uint32_t device, std::string& error) {
    try {
      in_ = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kMidiClientName);
      in_->setErrorCallback(&RtMidiInConnection::OnError, this);
      CollectErrors collect(*this);
      const std::vector<RtMidiPort> ports = VisiblePorts(*in_);
      if (device >= ports.size()) {
        error = "The MIDI input device " + std::to_string(device) + " is gone.";
        return 100;
      }
      in_->ignoreTypes(/*midiSysex=*/true, /*midiTime=*/false, /*midiSense=*/false);
      in_->setCallback(&RtMidiInConnection::OnMessage, this);
      in_->openPort(ports[device].number, kMidiInPortName);
      if (!in_->isPortOpen()) {
        error = "Cannot open the MIDI input \"" + ports[device].name + "\"" +
                (collected_.empty() ? std::string(".") : ": " + collected_);
        return 100;
      }
      return 0;
    } catch (const std::exception& e) {
      error = std::string("Cannot open the MIDI input: ") + e.what();
      return 100;
    }
  }

  int Start(std::string&) override {
    startedAt_.store(NowNanoseconds(), std::memory_order_relaxed);
    started_.store(true, std::memory_order_release);
    return 0;
  }

  int Stop(std::string&) override {
    started_.store(false, std::memory_order_release);
    return 0;
  }

private:
  // Records RtMidi's errors raised on the dialog thread while it works on
  // this connection; errors on RtMidi's own thread are not kept there, as
  // keeping text would allocate.
  class CollectErrors {
  public:
    explicit CollectErrors(RtMidiInConnection& owner) : owner_(owner) {
      owner_.collector_.store(std::this_thread::get_id());
    }
    ~CollectErrors() { owner_.collector_.store(std::thread::id()); }
    CollectErrors(const CollectErrors&) = delete;
    CollectErrors& operator=(const CollectErrors&) = delete;

  private:
    RtMidiInConnection& owner_;
  };

  // RtMidi's thread. Copies the bytes into an inline message; no allocation.
  static void OnMessage(double, std::vector<unsigned char>* bytes, void* user) {
    auto* self = static_cast<RtMidiInConnection*>(user);
    if (self->started_.load(std::memory_order_acquire) && bytes != nullptr && !bytes->empty() &&
        bytes->size() <= 3) {
      CMidiMessage message;
      const int64_t elapsed = NowNanoseconds() - self->startedAt_.load(std::memory_order_relaxed);
      message.timestamp = static_cast<uint32_t>(elapsed / 1'000'000);
      message.status = (*bytes)[0];
      message.data1 = bytes->size() > 1 ? (*bytes)[1] : 0;
      message.data2 = bytes->size() > 2 ? (*bytes)[2] : 0;
      self->receiver_.Receive(message);
    }
  }

  static void OnError(RtMidiError::Type, const std::string& text, void* user) {
    auto* self = static_cast<RtMidiInConnection*>(user);
    if (self->collector_.load() == std::this_thread::get_id()) {
      self->collected_ = text;
    }
  }

  IMidiReceiver& receiver_;
  std::unique_ptr<RtMidiIn> in_;
  std::atomic<bool> started_{false};
  std::atomic<int64_t> startedAt_{0};
  std::atomic<std::thread::id> collector_{};
  std::string collected_;
};

} // namespace

std::unique_ptr<IMidiInConnection> OpenRtMidiIn(uint32_t device, IMidiReceiver& receiver,
                                                std::string& error) {
  auto connection = std::make_unique<RtMidiInConnection>(receiver);
  if (connection->Open(device, error) != 0) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
