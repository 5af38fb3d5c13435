#pragma once
// One short MIDI message as the input port delivers it. Stored inline and
// passed by value, so the receive path never touches the heap.

#include <cstddef>
#include <cstdint>

namespace vantrel {

struct CMidiMessage {
  uint32_t timestamp = 0; // milliseconds since input was started; not used by the bridge
  uint8_t status = 0;     // low nibble the channel, high nibble the kind
  uint8_t data1 = 0;      // for a Control Change the controller number
  uint8_t data2 = 0;      // for a Control Change the value
};

// Number of bytes a short message with this status byte has on the wire: 1, 2
// or 3. Zero for bytes that cannot start a short message: data bytes (no
// running status here), and the system exclusive bytes 0xF0 and 0xF7.
constexpr std::size_t ShortMessageLength(uint8_t status) {
  if (status < 0x80 || status == 0xF0 || status == 0xF7) {
    return 0;
  }
  if (status < 0xF0) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
  }
  switch (status) {
  case 0xF1: // time code quarter frame
  case 0xF3: // song select
    return 2;
  case 0xF2: // song position
    return 3;
  default: // tune request, real-time bytes and undefined system bytes
    return 1;
  }
}

// Reads the bytes of one incoming event, from either MIDI system, as one
// short message: it must start with a status byte (not 0xF0 or 0xF7) and hold
// that message's data bytes, each below 0x80. Bytes after the message are
// ignored; events of more than three bytes (system exclusive) are refused.
// The timestamp is left as it is. Safe on the MIDI callback thread.
bool ShortMessageFromEvent(const uint8_t* bytes, std::size_t size, CMidiMessage& message) noexcept;

constexpr bool IsControlChange(uint8_t status) {
  return (status & 0xF0) == 0xB0;
}

// Note On (0x9n) or Note Off (0x8n).
constexpr bool IsNote(uint8_t status) {
  return (status & 0xE0) == 0x80;
}

} // namespace vantrel
