#pragma once
// The hand-off from the MIDI callback thread to the dialog thread that every
// receive queue shares: a preallocated single-producer single-consumer ring
// (SpscRing) and a wake-up (CWakeFd) that a QSocketNotifier or a plain
// poll() watches. Values come out in order and none are merged while the
// ring has room. A value that finds the ring full is dropped and counted;
// but where its kind says it has a key (a controller, a fader's channel) the
// newest such value of each key is kept in a slot of its own, which the
// consumer takes after the ring, so the last value of every key always
// arrives.
//
// Keys describes the slots: `kCount` keys; `KeyOf(value, key)`, false for a
// value that is never kept; `Packed(value)`, the value in 31 bits; and
// `Unpacked(key, packed)`, the value again. NoKeys keeps nothing.

#include "midi/spsc_ring.h"
#include "posix/wake_fd.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vantrel {

struct NoKeys {
  static constexpr std::size_t kCount = 0;
  template <typename T> static bool KeyOf(const T&, std::size_t&) noexcept { return false; }
};

template <typename T, std::size_t Capacity, typename Keys = NoKeys> class CHandOffQueue {
public:
  static constexpr std::size_t kCapacity = Capacity;

  // Throws std::system_error when no wake-up can be made (start-up only).
  explicit CHandOffQueue(const char* what) : m_wake(what) {}

  // MIDI callback thread only: never allocates, locks or waits. False when
  // the ring was full. Either way the consumer is woken.
  bool Push(const T& value) noexcept {
    const bool stored = Store(value);
    m_wake.Signal();
    return stored;
  }

  // Dialog thread only: the oldest waiting value.
  bool Pop(T& value) noexcept { return m_ring.Pop(value); }
  // Dialog thread only, once Pop found the ring empty: the kept value of a
  // key whose newest value found the ring full.
  bool PopLatest(T& value) noexcept {
    if constexpr (Keys::kCount == 0) {
      return false;
    } else {
      std::size_t key = 0;
      uint32_t packed = 0;
      if (!TakeKept(key, packed)) {
        return false;
      }
      value = Keys::Unpacked(key, packed);
      return true;
    }
  }

  // MIDI callback thread: wakes the consumer with nothing queued here, for
  // news it reads elsewhere.
  void Wake() noexcept { m_wake.Signal(); }
  // Readable while a wake-up is pending.
  int WakeFd() const { return m_wake.Fd(); }
  // Dialog thread: clears the wake-up. Call it before draining, so a value
  // pushed during the drain wakes the thread again.
  void AcknowledgeWake() noexcept { m_wake.Acknowledge(); }

  uint64_t DroppedCount() const { return m_dropped.load(std::memory_order_relaxed); }

private:
  static constexpr uint32_t kHolds = 0x80000000u;

  bool Store(const T& value) noexcept {
    std::size_t key = 0;
    const bool keyed = Keys::KeyOf(value, key);
    if constexpr (Keys::kCount > 0) {
      // A value kept from an earlier overflow is older than this one: clear
      // it before the ring makes this one visible, so the consumer, which
      // takes the slots after the ring, can never apply the older one last.
      if (keyed && m_kept[key].load(std::memory_order_relaxed) != 0) {
        m_kept[key].store(0, std::memory_order_relaxed);
      }
    }
    if (m_ring.Push(value)) {
      return true;
    }
    m_dropped.fetch_add(1, std::memory_order_relaxed);
    if constexpr (Keys::kCount > 0) {
      if (keyed) {
        m_kept[key].store(kHolds | Keys::Packed(value), std::memory_order_relaxed);
        m_overflowed.store(true, std::memory_order_release);
      }
    }
    return false;
  }

  bool TakeKept(std::size_t& key, uint32_t& packed) noexcept {
    if (m_scan == Keys::kCount) {
      if (!m_overflowed.exchange(false, std::memory_order_acquire)) {
        return false;
      }
      m_scan = 0;
    }
    while (m_scan < Keys::kCount) {
      key = m_scan++;
      const uint32_t held = m_kept[key].exchange(0, std::memory_order_acq_rel);
      if (held != 0) {
        packed = held & ~kHolds;
        return true;
      }
    }
    return false;
  }

  SpscRing<T, Capacity> m_ring;
  // Per key: kHolds | the packed value while one waits there.
  std::array<std::atomic<uint32_t>, Keys::kCount> m_kept{};
  std::atomic<bool> m_overflowed{false};
  std::size_t m_scan = Keys::kCount; // the consumer's position in m_kept
  std::atomic<uint64_t> m_dropped{0};
  CWakeFd m_wake;
};

} // namespace vantrel
