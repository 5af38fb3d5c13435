#include "midi/midi_message.h"

namespace vantrel {

bool ShortMessageFromEvent(const uint8_t* bytes, std::size_t size, CMidiMessage& message) noexcept {
  if (size == 0 || size > 3) {
    return false;
  }
  const std::size_t length = ShortMessageLength(bytes[0]);
  if (length == 0 || size < length) {
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (bytes[i] > 0x7F) {
      return false;
    }
  }
  message.status = bytes[0];
  message.data1 = length > 1 ? bytes[1] : 0;
  message.data2 = length > 2 ? bytes[2] : 0;
  return true;
}

} // namespace vantrel
