#include "surface_peer.h"

#include <algorithm>

namespace vantrel::test {

std::optional<std::string> DisplayText(const std::vector<uint8_t>& bytes, int offset) {
  const std::vector<uint8_t> header = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x12};
  if (bytes.size() < 8 || !std::equal(header.begin(), header.end(), bytes.begin()) ||
      bytes[6] != offset) {
    return std::nullopt;
  }
  return std::string(bytes.begin() + 7, bytes.end() - 1);
}

bool SurfaceWatch::WaitFor(const std::function<bool(const PeerMessage&)>& match,
                           std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    const std::vector<PeerMessage> got =
        m_peer.WaitForReceived(m_seen + 1, std::chrono::milliseconds(50));
    while (m_seen < got.size()) {
      if (match(got[m_seen++])) {
        return true;
      }
    }
  }
  return false;
}

bool SurfaceWatch::WaitForBytes(const std::vector<uint8_t>& bytes) {
  return WaitFor([&](const PeerMessage& m) { return m.bytes == bytes; });
}

bool SurfaceWatch::WaitForText(int offset, const std::string& text) {
  return WaitFor([&](const PeerMessage& m) { return DisplayText(m.bytes, offset) == text; });
}

} // namespace vantrel::test
