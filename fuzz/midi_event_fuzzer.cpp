// The decoding of one incoming MIDI event, shared by the ALSA (RtMidi) and
// JACK inputs: any bytes give either no message or exactly the short
// message they start with, checked against the wire format written out here
// independently; or, for a control surface, exactly the system exclusive
// message they are, which the surface's reading of answers takes without
// fault.

#include "midi/exclusive_message.h"
#include "midi/midi_message.h"
#include "surface/mackie_codec.h"

#include <cstdlib>

namespace {

// Bytes on the wire of a message starting with this status, or 0.
std::size_t WireLength(uint8_t status) {
  if (status < 0x80 || status == 0xF0 || status == 0xF7) {
    return 0;
  }
  if (status >= 0xF0) {
    return status == 0xF2 ? 3 : (status == 0xF1 || status == 0xF3) ? 2 : 1;
  }
  const uint8_t kind = status >> 4;
  return kind == 0xC || kind == 0xD ? 2 : 3;
}

// The bytes as a control surface's reader takes them.
void CheckExclusive(const uint8_t* data, std::size_t size) {
  vantrel::CExclusiveMessage message;
  const bool delivered = vantrel::ExclusiveMessageFromEvent(data, size, message);
  bool valid = size >= 2 && size <= 64 && data[0] == 0xF0 && data[size - 1] == 0xF7;
  for (std::size_t i = 1; valid && i + 1 < size; ++i) {
    valid = data[i] < 0x80;
  }
  if (delivered != valid) {
    std::abort();
  }
  if (!delivered) {
    return;
  }
  for (std::size_t i = 0; i < size; ++i) {
    if (message.size != size || message.bytes[i] != data[i]) {
      std::abort();
    }
  }
  const vantrel::mackie::DeviceAnswer answer = vantrel::mackie::DecodeDeviceAnswer(message.View());
  if (answer.kind != vantrel::mackie::DeviceAnswer::Kind::None && size < 7) {
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  vantrel::CMidiMessage message;
  message.timestamp = 77;
  const bool delivered = vantrel::ShortMessageFromEvent(data, size, message);
  const std::size_t length = size == 0 ? 0 : WireLength(data[0]);
  bool valid = size >= 1 && size <= 3 && length != 0 && size >= length;
  for (std::size_t i = 1; valid && i < length; ++i) {
    valid = data[i] < 0x80;
  }
  if (delivered != valid || message.timestamp != 77) {
    std::abort();
  }
  if (delivered && (message.status != data[0] || message.data1 != (length > 1 ? data[1] : 0) ||
                    message.data2 != (length > 2 ? data[2] : 0))) {
    std::abort();
  }
  CheckExclusive(data, size);
  return 0;
}
