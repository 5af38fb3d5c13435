#pragma once
// The channel messages an output port sent in the last moments, so that the
// input can tell its own output coming back (a MIDI loop: a device or
// program that echoes what it gets, or ALSA's Midi Through chosen as both
// devices) from what a controller plays. Fixed size and lock-free: written
// under the output port's send lock from either thread, taken by the MIDI
// thread.

#include "midi/midi_message.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vantrel {

// Microseconds of CLOCK_MONOTONIC. Safe on the MIDI thread.
int64_t MonotonicMicros() noexcept;

class CRecentSends {
public:
  // How long after its send a message that arrives counts as coming back: a
  // loop through ALSA takes well under a millisecond, through JACK one or
  // two periods (up to 21 ms at 1024 frames and 48 kHz).
  static constexpr int64_t kWindowMicros = 50'000;
  // The window of a thru copy of a message a controller played: an encoder
  // turned fast repeats one message, each a few milliseconds after the copy
  // of the one before went out, and must not look like a loop. A loop of
  // thru alone (ALSA, or JACK up to 256-frame periods at 48 kHz) returns
  // within it; anything the program said itself keeps the long window, and
  // so does the thru copy of a message that came back.
  static constexpr int64_t kFreshThruWindowMicros = 8'000;

  // Any thread, with sends serialised by the caller: remembers a channel
  // message sent now, as a thru copy of a message a controller played
  // (`freshThru`) or anything else. Other messages (clock, real time) are
  // not kept.
  void Note(const CMidiMessage& message, int64_t nowMicros, bool freshThru = false) noexcept;
  // Any thread: true when the same message was sent within the window and
  // not taken yet; it is then taken, so each send comes back at most once.
  bool Take(const CMidiMessage& message, int64_t nowMicros) noexcept;
  // Forgets everything (the output device changed).
  void Clear() noexcept;

private:
  static constexpr std::size_t kSize = 64;

  std::array<std::atomic<uint64_t>, kSize> m_slots{};
  std::atomic<std::size_t> m_next{0};
};

} // namespace vantrel
