#include "midi/rtmidi_in.h"

#include "midi/delivery_gate.h"
#include "midi/midi_backend.h"
#include "midi/rtmidi_ports.h"

#include <atomic>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

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
    gate_.Open();
    return 0;
  }

  int Stop(std::string&) override {
    gate_.Close();
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
    if (self->gate_.IsOpen() && bytes != nullptr && !bytes->empty() && bytes->size() <= 3) {
      CMidiMessage message;
      message.timestamp = self->gate_.Timestamp();
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
  CDeliveryGate gate_;
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
