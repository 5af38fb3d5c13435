#pragma once
// One whole system exclusive message as an input delivers it to a reader
// that asked for them (a control surface): stored inline, at most kMaxSize
// bytes, so the receive path never touches the heap.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel {

struct CExclusiveMessage {
  static constexpr std::size_t kMaxSize = 64;
  std::array<uint8_t, kMaxSize> bytes{};
  uint8_t size = 0;

  std::span<const uint8_t> View() const { return {bytes.data(), size}; }
};

constexpr uint8_t kExclusiveStart = 0xF0;
constexpr uint8_t kExclusiveEnd = 0xF7;

// True for 0xF0, data bytes (each below 0x80) and 0xF7: one whole system
// exclusive message. Any thread.
bool IsWholeExclusive(std::span<const uint8_t> bytes) noexcept;

// Reads the bytes of one incoming event as one whole system exclusive
// message: 0xF0, data bytes (each below 0x80), 0xF7, and no more than
// kMaxSize bytes in all. Reads at most kMaxSize bytes of `bytes`, so an
// event longer than that may be passed with only its beginning copied.
// Safe on the MIDI callback thread.
bool ExclusiveMessageFromEvent(const uint8_t* bytes, std::size_t size,
                               CExclusiveMessage& message) noexcept;

} // namespace vantrel
