#pragma once
// Tells a back end's own changes, reported back by the sound server or the
// card, from changes made elsewhere: the last volumes sent to one object are
// remembered, and a report equal to one of them (within the rounding of the
// server's own volume scale) is an echo.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::mixerd {

class EchoFilter {
public:
  // A sweep has several sets in flight; their reports come back in order.
  static constexpr std::size_t kRemembered = 16;

  void Sent(std::vector<int64_t> volumes) {
    m_sent[m_next] = std::move(volumes);
    m_next = (m_next + 1) % kRemembered;
  }

  bool IsEcho(const std::vector<int64_t>& reported, int64_t tolerance) const {
    return std::ranges::any_of(m_sent, [&](const std::vector<int64_t>& sent) {
      return sent.size() == reported.size() && !sent.empty() &&
             std::ranges::equal(sent, reported, [&](int64_t a, int64_t b) {
               return a - b <= tolerance && b - a <= tolerance;
             });
    });
  }

private:
  std::array<std::vector<int64_t>, kRemembered> m_sent;
  std::size_t m_next = 0;
};

} // namespace vantrel::mixerd
