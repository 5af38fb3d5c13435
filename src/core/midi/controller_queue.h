#pragma once
// Hands Control Changes (and the notes that mute buttons send) from the MIDI
// callback thread to the dialog thread:
// a preallocated single-producer single-consumer ring plus an eventfd that a
// QSocketNotifier or a plain poll() can watch. Changes are never merged or
// reordered while the ring has room. A change that finds the ring full is
// counted as dropped, but the last such value of each controller is kept in
// a slot of its own, which the consumer takes after the ring: the newest
// value of every controller always arrives.

#include "midi/spsc_ring.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vantrel {

struct ControllerChange {
  uint8_t controller = 0; // a note's number when `note` is set
  uint8_t value = 0;      // a note's velocity: 0 for Note Off and its Note On form
  uint8_t channel = 0;    // 0..15; 0 for a kept value after an overflow
  bool note = false;      // a note for the mute buttons, not a Control Change
  bool operator==(const ControllerChange&) const = default;
};

class CControllerQueue {
public:
  static constexpr std::size_t kCapacity = 4096;

  // Throws std::system_error when no eventfd can be made (start-up only).
  CControllerQueue();
  ~CControllerQueue();
  CControllerQueue(const CControllerQueue&) = delete;
  CControllerQueue& operator=(const CControllerQueue&) = delete;

  // MIDI callback thread only. Never allocates, locks or waits. False when the
  // ring is full: the change is counted as dropped and left in its
  // controller's slot. Either way the wake-up is signalled, so the consumer
  // drains what is waiting.
  bool Push(ControllerChange change) noexcept;

  // Dialog thread only: the oldest waiting change.
  bool Pop(ControllerChange& change) noexcept;
  // Dialog thread only, once Pop found the ring empty: the kept value of a
  // controller whose newest change found the ring full.
  bool PopLatest(ControllerChange& change) noexcept;

  // MIDI callback thread: wakes the consumer with nothing queued, for news
  // it reads elsewhere (a MIDI loop found).
  void Wake() noexcept;

  // Readable while a wake-up is pending.
  int WakeFd() const { return m_wakeFd; }

  // Dialog thread: clears the wake-up. Call it before draining with Pop, so a
  // change pushed during the drain wakes the thread again.
  void AcknowledgeWake() noexcept;

  uint64_t DroppedCount() const { return m_dropped.load(std::memory_order_relaxed); }

private:
  // One per controller number and one per note number.
  static constexpr std::size_t kSlots = 256;
  static constexpr std::size_t kNoteSlots = 128;
  static constexpr uint16_t kSlotHolds = 0x100;

  SpscRing<ControllerChange, kCapacity> m_ring;
  // Per controller: kSlotHolds | value while a change waits here.
  std::array<std::atomic<uint16_t>, kSlots> m_latest{};
  std::atomic<bool> m_overflowed{false};
  std::size_t m_scan = kSlots; // the consumer's position in m_latest
  std::atomic<uint64_t> m_dropped{0};
  int m_wakeFd = -1;
};

} // namespace vantrel
