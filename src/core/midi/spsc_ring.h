#pragma once
// A fixed-size ring for one producer thread and one consumer thread. The
// slots live inside the object, so pushing and popping never allocate; the
// two indices are atomics, so neither side ever waits for the other.

#include <array>
#include <atomic>
#include <cstddef>

namespace vantrel {

template <typename T, std::size_t Capacity> class SpscRing {
  static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                "the capacity must be a power of two");

public:
  // Producer side. False when the ring is full; the value is not stored.
  bool Push(const T& value) noexcept {
    const std::size_t write = m_write.load(std::memory_order_relaxed);
    if (write - m_read.load(std::memory_order_acquire) == Capacity) {
      return false;
    }
    m_slots[write & (Capacity - 1)] = value;
    m_write.store(write + 1, std::memory_order_release);
    return true;
  }

  // Consumer side. False when the ring is empty.
  bool Pop(T& value) noexcept {
    if (!Peek(value)) {
      return false;
    }
    Discard();
    return true;
  }

  // Consumer side: reads the oldest value without removing it.
  bool Peek(T& value) const noexcept {
    const std::size_t read = m_read.load(std::memory_order_relaxed);
    if (read == m_write.load(std::memory_order_acquire)) {
      return false;
    }
    value = m_slots[read & (Capacity - 1)];
    return true;
  }

  // Consumer side: removes the value that Peek returned.
  void Discard() noexcept {
    m_read.store(m_read.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }

  // Either side: true when every value pushed so far has been removed.
  bool Empty() const noexcept {
    return m_read.load(std::memory_order_acquire) == m_write.load(std::memory_order_acquire);
  }

  static constexpr std::size_t capacity() { return Capacity; }

private:
  alignas(64) std::atomic<std::size_t> m_write{0};
  alignas(64) std::atomic<std::size_t> m_read{0};
  std::array<T, Capacity> m_slots{};
};

} // namespace vantrel
