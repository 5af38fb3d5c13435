#pragma once
// Hands Control Changes (and the notes that mute buttons send) from the MIDI
// callback thread to the dialog thread (CHandOffQueue). A change that finds
// the ring full is counted as dropped, but the last such value of each
// controller and of each note is kept, and comes out of PopLatest after the
// ring (on channel 0): the newest value of every controller always arrives.

#include "midi/hand_off_queue.h"

#include <cstddef>
#include <cstdint>

namespace vantrel {

struct ControllerChange {
  uint8_t controller = 0; // a note's number when `note` is set
  uint8_t value = 0;      // a note's velocity: 0 for Note Off and its Note On form
  uint8_t channel = 0;    // 0..15; 0 for a kept value after an overflow
  bool note = false;      // a note for the mute buttons, not a Control Change
  bool operator==(const ControllerChange&) const = default;
};

// One slot per controller number, then one per note number.
struct ControllerKeys {
  static constexpr std::size_t kCount = 256;
  static bool KeyOf(const ControllerChange& change, std::size_t& key) noexcept {
    key = (change.note ? 128u : 0u) + (change.controller & 0x7F);
    return true;
  }
  static uint32_t Packed(const ControllerChange& change) noexcept { return change.value; }
  static ControllerChange Unpacked(std::size_t key, uint32_t packed) noexcept {
    return {static_cast<uint8_t>(key % 128), static_cast<uint8_t>(packed & 0xFF), 0, key >= 128};
  }
};

class CControllerQueue : public CHandOffQueue<ControllerChange, 4096, ControllerKeys> {
public:
  CControllerQueue() : CHandOffQueue("the controller queue") {}
};

} // namespace vantrel
