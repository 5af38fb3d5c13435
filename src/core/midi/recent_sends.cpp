#include "midi/recent_sends.h"

#include <ctime>

namespace vantrel {

namespace {

// A slot: the message's three bytes in bits 0..23, bit 24 set while it holds
// one, bit 25 set for a fresh thru copy (the short window), bit 26 for the
// program's own send (the long window), and the send time in microseconds,
// modulo 2^37 (a day and a half), above.
constexpr uint64_t kHolds = uint64_t{1} << 24;
constexpr uint64_t kFreshThru = uint64_t{1} << 25;
constexpr uint64_t kOwn = uint64_t{1} << 26;
constexpr int kTimeShift = 27;
constexpr uint64_t kTimeMask = (uint64_t{1} << (64 - kTimeShift)) - 1;

constexpr bool IsChannelMessage(uint8_t status) {
  return status >= 0x80 && status < 0xF0;
}

uint64_t BytesOf(const CMidiMessage& message) {
  return message.status | (uint64_t{message.data1} << 8) | (uint64_t{message.data2} << 16);
}

} // namespace

int64_t MonotonicMicros() noexcept {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

void CRecentSends::Note(const CMidiMessage& message, int64_t atMicros, Kind kind) noexcept {
  if (!IsChannelMessage(message.status)) {
    return;
  }
  const std::size_t at = m_next.fetch_add(1, std::memory_order_relaxed) % kSize;
  const uint64_t time = static_cast<uint64_t>(atMicros) & kTimeMask;
  const uint64_t kindBits = kind == Kind::FreshThru ? kFreshThru : kind == Kind::Own ? kOwn : 0;
  m_slots[at].store((time << kTimeShift) | kindBits | kHolds | BytesOf(message),
                    std::memory_order_release);
}

CRecentSends::Match CRecentSends::Take(const CMidiMessage& message, int64_t nowMicros) noexcept {
  if (!IsChannelMessage(message.status)) {
    return Match::None;
  }
  const uint64_t wanted = kHolds | BytesOf(message);
  const uint64_t now = static_cast<uint64_t>(nowMicros) & kTimeMask;
  for (std::atomic<uint64_t>& slot : m_slots) {
    uint64_t held = slot.load(std::memory_order_acquire);
    if ((held & (kHolds | 0xFFFFFF)) != wanted) {
      continue;
    }
    const uint64_t age = (now - (held >> kTimeShift)) & kTimeMask;
    const bool freshThru = (held & kFreshThru) != 0;
    const int64_t window = freshThru                ? kFreshThruWindowMicros
                           : (held & kOwn) != 0 ? kOwnWindowMicros
                                                : kWindowMicros;
    if (age <= static_cast<uint64_t>(window) &&
        slot.compare_exchange_strong(held, 0, std::memory_order_acq_rel)) {
      return freshThru ? Match::FreshThru : Match::Sent;
    }
  }
  return Match::None;
}

void CRecentSends::Clear() noexcept {
  for (std::atomic<uint64_t>& slot : m_slots) {
    slot.store(0, std::memory_order_relaxed);
  }
}

} // namespace vantrel
