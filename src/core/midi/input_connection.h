#pragma once
// What both input backends share, so that each delivers the same way: the
// delivery gate that Start and Stop open and close, and one road from the
// bytes of a received event to the receiver, through the same check that
// they are one whole short message.

#include "midi/delivery_gate.h"
#include "midi/midi_device.h"
#include "midi/midi_message.h"
#include "midi/midi_result.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

class CInputConnection : public IMidiInConnection {
public:
  explicit CInputConnection(IMidiReceiver& receiver) : m_receiver(receiver) {}

  int Start(std::string&) final {
    m_gate.Open();
    return kMidiOk;
  }
  int Stop(std::string&) final {
    m_gate.Close();
    return kMidiOk;
  }

protected:
  // The MIDI system's thread; lock-free, no allocation.
  bool Delivering() const noexcept { return m_gate.IsOpen(); }
  uint32_t Timestamp() const noexcept { return m_gate.Timestamp(); }
  // The MIDI system's thread: delivers the bytes when they are one whole
  // short message, and drops them otherwise.
  void Deliver(const uint8_t* bytes, std::size_t size, uint32_t timestamp) noexcept {
    CMidiMessage message;
    if (ShortMessageFromEvent(bytes, size, message)) {
      message.timestamp = timestamp;
      m_receiver.Receive(message);
    }
  }

private:
  IMidiReceiver& m_receiver;
  CDeliveryGate m_gate;
};

} // namespace vantrel
