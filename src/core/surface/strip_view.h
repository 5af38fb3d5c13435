#pragma once
// What one strip of the surface shows, as values to compare: the motor
// fader's position, the V-Pot ring, the Mute and Select LEDs and the two
// rows of its display. The surface keeps what it last sent and what the
// mixer says now; a strip whose two views differ has an update due.

#include "surface/mackie_codec.h"

#include <array>
#include <cstdint>
#include <string>

namespace vantrel {

struct StripView {
  int fader = -1;      // 0..16383; -1: not known, nothing to show
  uint8_t ring = 0xFF; // the ring's Control Change value; 0xFF: not known
  int8_t mute = -1;    // LED: 0 off, 1 on, -1 not known
  int8_t select = -1;
  std::string top; // what the display shows, as sent
  std::string bottom;
  bool operator==(const StripView&) const = default;
};

// Pacing: a strip is updated at most once per interval; what changes
// meanwhile waits, and its last value goes out when the interval ends.
inline constexpr int kStripUpdateIntervalMs = 10;

} // namespace vantrel
