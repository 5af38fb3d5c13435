#pragma once
// Hands whole short messages from the MIDI callback thread to the dialog
// thread, for an input that speaks a surface protocol rather than plain
// Control Changes: a preallocated single-producer single-consumer ring and
// an eventfd that a poll() or a QSocketNotifier watches. Messages arrive in
// order and none are merged while the ring has room. A message that finds
// the ring full is dropped and counted; a pitch bend (a fader) is kept in a
// slot of its channel, taken after the ring, so every fader's last position
// always arrives.

#include "midi/midi_message.h"
#include "midi/spsc_ring.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vantrel {

class CMessageQueue {
public:
  static constexpr std::size_t kCapacity = 4096;

  // Throws std::system_error when no eventfd can be made (start-up only).
  CMessageQueue();
  ~CMessageQueue();
  CMessageQueue(const CMessageQueue&) = delete;
  CMessageQueue& operator=(const CMessageQueue&) = delete;

  // MIDI callback thread only: never allocates, locks or waits. False when
  // the ring was full. Either way the consumer is woken.
  bool Push(const CMidiMessage& message) noexcept;

  // Dialog thread only: the oldest waiting message, then (once the ring is
  // empty) the kept pitch bends of an overflow.
  bool Pop(CMidiMessage& message) noexcept;

  int WakeFd() const { return m_wakeFd; }
  // Dialog thread: clears the wake-up; call it before draining.
  void AcknowledgeWake() noexcept;

  uint64_t DroppedCount() const { return m_dropped.load(std::memory_order_relaxed); }

private:
  static constexpr uint32_t kSlotHolds = 0x10000;

  SpscRing<CMidiMessage, kCapacity> m_ring;
  // Per channel: kSlotHolds | the bend's two data bytes while one waits.
  std::array<std::atomic<uint32_t>, 16> m_bends{};
  std::atomic<bool> m_overflowed{false};
  std::size_t m_scan = 16; // the consumer's position in m_bends
  std::atomic<uint64_t> m_dropped{0};
  int m_wakeFd = -1;
};

} // namespace vantrel
