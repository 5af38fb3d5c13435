#pragma once
// Tells a back end's own changes, reported back by the sound server or the
// card, from changes made elsewhere, by value and origin: each volume sent
// to one object is remembered until the server reports it back. A report
// equal to one of them is that set's echo; a report of the volume the
// object had before a set went out is older news than that set, and is
// neither taken nor answered. Anything else was set by someone else, even
// a value this back end sent long ago.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace vantrel::mixerd {

inline bool SameVolumes(const std::vector<int64_t>& a, const std::vector<int64_t>& b,
                        int64_t tolerance) {
  return a.size() == b.size() && !a.empty() && std::ranges::equal(a, b, [&](int64_t x, int64_t y) {
           return x - y <= tolerance && y - x <= tolerance;
         });
}

class EchoFilter {
public:
  using Clock = std::chrono::steady_clock;
  enum class Report { Echo, Stale, Outside };

  // A server that never reports a set back (it failed, or changed nothing)
  // must not hide later changes for long.
  static constexpr std::chrono::seconds kForgetAfter{2};
  // A sweep on a server that lags has a few sets in flight at most; far more
  // means they are not coming back.
  static constexpr std::size_t kMostWaiting = 64;

  // `volumes` went out to an object whose last report was `before`. A set
  // of the volume it already has is never reported back, so it is not
  // waited for.
  void Sent(std::vector<int64_t> volumes, const std::vector<int64_t>& before, int64_t tolerance,
            Clock::time_point now) {
    if (SameVolumes(volumes, before, tolerance)) {
      return;
    }
    if (m_waiting.size() == kMostWaiting) {
      m_waiting.pop_front();
    }
    m_waiting.push_back({std::move(volumes), before, now});
  }

  // Classifies a report; an echo also settles every set sent before it,
  // since the server reports in order.
  Report Classify(const std::vector<int64_t>& reported, int64_t tolerance, Clock::time_point now) {
    std::erase_if(m_waiting, [&](const Waiting& set) { return now - set.sentAt > kForgetAfter; });
    const auto echo = std::ranges::find_if(m_waiting, [&](const Waiting& set) {
      return SameVolumes(set.volumes, reported, tolerance);
    });
    if (echo != m_waiting.end()) {
      m_waiting.erase(m_waiting.begin(), echo + 1);
      return Report::Echo;
    }
    const bool stale = std::ranges::any_of(m_waiting, [&](const Waiting& set) {
      return SameVolumes(set.before, reported, tolerance);
    });
    return stale ? Report::Stale : Report::Outside;
  }

  // The object is where the back end wants it: nothing is still to come.
  void Settled() { m_waiting.clear(); }

private:
  struct Waiting {
    std::vector<int64_t> volumes;
    std::vector<int64_t> before;
    Clock::time_point sentAt;
  };
  std::deque<Waiting> m_waiting;
};

} // namespace vantrel::mixerd
