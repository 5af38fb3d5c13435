#include "midi/exclusive_message.h"

#include <algorithm>

namespace vantrel {

bool IsWholeExclusive(std::span<const uint8_t> bytes) noexcept {
  return bytes.size() >= 2 && bytes.front() == kExclusiveStart && bytes.back() == kExclusiveEnd &&
         std::all_of(bytes.begin() + 1, bytes.end() - 1, [](uint8_t byte) { return byte < 0x80; });
}

bool ExclusiveMessageFromEvent(const uint8_t* bytes, std::size_t size,
                               CExclusiveMessage& message) noexcept {
  if (size > CExclusiveMessage::kMaxSize || !IsWholeExclusive({bytes, size})) {
    return false;
  }
  std::copy_n(bytes, size, message.bytes.begin());
  message.size = static_cast<uint8_t>(size);
  return true;
}

} // namespace vantrel
