#pragma once
// Hands whole messages from the MIDI callback thread to the dialog thread,
// for an input that speaks a surface protocol rather than plain Control
// Changes (CHandOffQueue). Short messages arrive in order and none are
// merged while the ring has room; a pitch bend (a fader) that finds the ring
// full is kept in a slot of its channel, taken after the ring, so every
// fader's last position always arrives. System exclusive messages (the
// surface's answers) go through a small ring of their own on the same
// wake-up; one that finds it full, or that was too long or not well formed,
// is dropped and counted.

#include "midi/exclusive_message.h"
#include "midi/hand_off_queue.h"
#include "midi/midi_message.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vantrel {

// One slot per MIDI channel, for pitch bends only.
struct BendKeys {
  static constexpr std::size_t kCount = 16;
  static bool KeyOf(const CMidiMessage& message, std::size_t& key) noexcept {
    key = message.status & 0x0F;
    return (message.status & 0xF0) == 0xE0;
  }
  static uint32_t Packed(const CMidiMessage& message) noexcept {
    return static_cast<uint32_t>(message.data2 << 8) | message.data1;
  }
  static CMidiMessage Unpacked(std::size_t key, uint32_t packed) noexcept {
    return {0, static_cast<uint8_t>(0xE0 | key), static_cast<uint8_t>(packed & 0x7F),
            static_cast<uint8_t>((packed >> 8) & 0x7F)};
  }
};

class CMessageQueue : public CHandOffQueue<CMidiMessage, 4096, BendKeys> {
public:
  CMessageQueue() : CHandOffQueue("the surface's message queue") {}

  // Dialog thread only: the oldest waiting message, then (once the ring is
  // empty) the kept pitch bends of an overflow.
  bool Pop(CMidiMessage& message) noexcept {
    return CHandOffQueue::Pop(message) || PopLatest(message);
  }

  // MIDI callback thread only, as Push: a system exclusive message, or null
  // for one that was too long or not well formed (only counted).
  bool PushExclusive(const CExclusiveMessage* message) noexcept;
  // Dialog thread only.
  bool PopExclusive(CExclusiveMessage& message) noexcept { return m_exclusive.Pop(message); }
  // System exclusive messages dropped: too long, not well formed, or no room.
  uint64_t ExclusiveDroppedCount() const {
    return m_exclusiveDropped.load(std::memory_order_relaxed);
  }

private:
  SpscRing<CExclusiveMessage, 32> m_exclusive;
  std::atomic<uint64_t> m_exclusiveDropped{0};
};

} // namespace vantrel
