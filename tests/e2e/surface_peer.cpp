#include "surface_peer.h"

#include <algorithm>
#include <string_view>

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

namespace {

std::vector<uint8_t> SurfaceMessage(uint8_t model, uint8_t command,
                                    const std::vector<uint8_t>& challenge) {
  std::vector<uint8_t> bytes = {0xF0, 0x00, 0x00, 0x66, model, command};
  for (const char c : std::string_view(SurfaceWatch::kSerial)) {
    bytes.push_back(static_cast<uint8_t>(c));
  }
  for (const uint8_t byte : challenge) {
    bytes.push_back(byte);
  }
  bytes.push_back(0xF7);
  return bytes;
}

} // namespace

bool SurfaceWatch::WaitForDeviceQuery() {
  return WaitForBytes({0xF0, 0x00, 0x00, 0x66, 0x14, 0x00, 0xF7});
}

std::optional<std::vector<uint8_t>>
SurfaceWatch::SendConnectionQuery(uint8_t model, const std::vector<uint8_t>& challenge) {
  m_peer.Send(0, SurfaceMessage(model, 0x01, challenge));
  std::optional<std::vector<uint8_t>> reply;
  WaitFor([&](const PeerMessage& m) {
    if (m.bytes.size() > 6 && m.bytes[0] == 0xF0 && m.bytes[5] == 0x02) {
      reply = m.bytes;
    }
    return reply.has_value();
  });
  return reply;
}

void SurfaceWatch::Confirm(uint8_t model) {
  m_peer.Send(0, SurfaceMessage(model, 0x03, {}));
}

} // namespace vantrel::test
