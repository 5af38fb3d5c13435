#pragma once
// Whether an input connection delivers what arrives, and the time stamp of
// each message: milliseconds since the last start. Open and Close run on
// the dialog thread; IsOpen and Timestamp on the MIDI thread, lock-free and
// without allocation.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vantrel {

class CDeliveryGate {
public:
  void Open() noexcept {
    m_startedAt.store(NowNanoseconds(), std::memory_order_relaxed);
    m_open.store(true, std::memory_order_release);
  }
  void Close() noexcept { m_open.store(false, std::memory_order_release); }
  bool IsOpen() const noexcept { return m_open.load(std::memory_order_acquire); }
  uint32_t Timestamp() const noexcept {
    const int64_t elapsed = NowNanoseconds() - m_startedAt.load(std::memory_order_relaxed);
    return static_cast<uint32_t>(elapsed / 1'000'000);
  }

private:
  static int64_t NowNanoseconds() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  std::atomic<bool> m_open{false};
  std::atomic<int64_t> m_startedAt{0};
};

} // namespace vantrel
