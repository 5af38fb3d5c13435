#pragma once
// What both input backends share, so that each delivers the same way: the
// delivery gate that Start and Stop open and close, and one road from the
// bytes of a received event to the receiver, through the same check that
// they are one whole short message or one whole system exclusive message.

#include "midi/delivery_gate.h"
#include "midi/exclusive_message.h"
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
  // short message, and drops them otherwise; an event that starts a system
  // exclusive message goes to ReceiveExclusive, whole or refused. `bytes`
  // holds the whole event, or at least its first CExclusiveMessage::kMaxSize
  // bytes when it is longer.
  void Deliver(const uint8_t* bytes, std::size_t size, uint32_t timestamp) noexcept {
    if (size > 0 && bytes[0] == kExclusiveStart) {
      CExclusiveMessage exclusive;
      const bool whole = ExclusiveMessageFromEvent(bytes, size, exclusive);
      m_receiver.ReceiveExclusive(whole ? &exclusive : nullptr);
      return;
    }
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
