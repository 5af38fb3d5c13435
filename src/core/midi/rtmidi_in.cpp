#include "midi/rtmidi_in.h"

#include "midi/input_connection.h"
#include "midi/midi_backend.h"
#include "midi/midi_message.h"
#include "midi/rtmidi_ports.h"

#include <atomic>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

class RtMidiInConnection final : public CInputConnection {
public:
  explicit RtMidiInConnection(IMidiReceiver& receiver) : CInputConnection(receiver) {}

  ~RtMidiInConnection() override {
    // Destroying RtMidi's object closes the port and joins its input thread,
    // so no callback outlives this object.
    m_in.reset();
  }

  int Open(uint32_t device, std::string& error) {
    try {
      m_in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kMidiClientName);
      m_in->setErrorCallback(&RtMidiInConnection::OnError, this);
      CollectErrors collect(*this);
      const std::vector<RtMidiPort> ports = VisiblePorts(*m_in);
      if (device >= ports.size()) {
        error = "The MIDI input device " + std::to_string(device) + " is gone.";
        return kMidiFailed;
      }
      // System exclusive reaches the receiver too, for a surface's answers;
      // the bridge's own paths never take it.
      m_in->ignoreTypes(/*midiSysex=*/false, /*midiTime=*/false, /*midiSense=*/false);
      m_in->setCallback(&RtMidiInConnection::OnMessage, this);
      m_in->openPort(ports[device].number, kMidiInPortName);
      if (!m_in->isPortOpen()) {
        error = "Cannot open the MIDI input \"" + ports[device].name + "\"" +
                (m_collected.empty() ? std::string(".") : ": " + m_collected);
        return kMidiFailed;
      }
      return kMidiOk;
    } catch (const std::exception& e) {
      error = std::string("Cannot open the MIDI input: ") + e.what();
      return kMidiFailed;
    }
  }

private:
  // Records RtMidi's errors raised on the dialog thread while it works on
  // this connection; errors on RtMidi's own thread are not kept there, as
  // keeping text would allocate.
  class CollectErrors {
  public:
    explicit CollectErrors(RtMidiInConnection& owner) : m_owner(owner) {
      m_owner.m_collector.store(std::this_thread::get_id());
    }
    ~CollectErrors() { m_owner.m_collector.store(std::thread::id()); }
    CollectErrors(const CollectErrors&) = delete;
    CollectErrors& operator=(const CollectErrors&) = delete;

  private:
    RtMidiInConnection& m_owner;
  };

  // RtMidi's thread. Copies the bytes into an inline message; no allocation
  // (RtMidi gathers a system exclusive message in its own buffer first).
  static void OnMessage(double, std::vector<unsigned char>* bytes, void* user) {
    auto* self = static_cast<RtMidiInConnection*>(user);
    if (self->Delivering() && bytes != nullptr) {
      self->Deliver(bytes->data(), bytes->size(), self->Timestamp());
    }
  }

  static void OnError(RtMidiError::Type, const std::string& text, void* user) {
    auto* self = static_cast<RtMidiInConnection*>(user);
    if (self->m_collector.load() == std::this_thread::get_id()) {
      self->m_collected = text;
    }
  }

  std::unique_ptr<RtMidiIn> m_in;
  std::atomic<std::thread::id> m_collector{};
  std::string m_collected;
};

} // namespace

std::unique_ptr<IMidiInConnection> OpenRtMidiIn(uint32_t device, IMidiReceiver& receiver,
                                                std::string& error) {
  auto connection = std::make_unique<RtMidiInConnection>(receiver);
  if (connection->Open(device, error) != kMidiOk) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
