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
  // The window of what the program said itself: a machine too busy to run
  // JACK's cycles in time brings it back later (a feedback send came back
  // after more than 50 ms at load 6, and was taken for a controller's move).
  // Taking a controller's message for it costs nothing: it carries the
  // value just sent, and is taken once.
  static constexpr int64_t kOwnWindowMicros = 200'000;
  // The window of a thru copy of a message a controller played, from the
  // arrival of that message: an encoder turned fast repeats one message and
  // must not look like a loop. A loop of thru alone (ALSA, or JACK up to
  // 256-frame periods at 48 kHz) returns within it. Counting from the
  // arrival rather than the send keeps a copy that went out late (the send
  // lock held by the dialog thread on a loaded machine) from bringing the
  // encoder's next step inside the window.
  static constexpr int64_t kFreshThruWindowMicros = 8'000;

  // What a noted send is, which sets its window.
  enum class Kind {
    Own,       // the program said it (kOwnWindowMicros from the send)
    Echo,      // the thru copy of a message that came back (kWindowMicros)
    FreshThru, // the thru copy of a message a controller played
  };

  // What an arriving message was found to be.
  enum class Match {
    None,      // not among the recent sends
    Sent,      // something the program said, or a copy of what came back
    FreshThru, // the thru copy of a message a controller played
  };

  // Any thread, with sends serialised by the caller: remembers a channel
  // message sent at `atMicros`. A fresh thru copy is noted at the arrival of
  // the message it copies. Other messages (clock, real time) are not kept.
  void Note(const CMidiMessage& message, int64_t atMicros, Kind kind = Kind::Own) noexcept;
  // Any thread: which kind of recent send, within its window and not taken
  // yet, `message` is; that send is then taken, so each comes back at most
  // once.
  Match Take(const CMidiMessage& message, int64_t nowMicros) noexcept;
  // Forgets everything (the output device changed).
  void Clear() noexcept;

private:
  static constexpr std::size_t kSize = 64;

  std::array<std::atomic<uint64_t>, kSize> m_slots{};
  std::atomic<std::size_t> m_next{0};
};

} // namespace vantrel
