#pragma once
// MIDI learn: while armed for one strip, the next incoming Control Change
// (on any channel) is taken as that strip's controller number instead of
// being applied to the mixer; armed for a strip's mute button, the next
// Control Change or note is taken as the button. Whoever armed it hears the
// message and commits it. Dialog thread only.

#include "midi/controller_queue.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace vantrel {

struct LearnTarget {
  int page = 0; // page number 1..8
  std::size_t strip = 0;
  bool mute = false; // the strip's mute button rather than its controller
  bool operator==(const LearnTarget&) const = default;
};

class CControllerLearn {
public:
  // Hears the target and the message learned for it.
  using Listener = std::function<void(LearnTarget target, const ControllerChange& change)>;

  // Waits for the next Control Change (or, for a mute button, note) for
  // this target, instead of any earlier one.
  void Arm(LearnTarget target, Listener listener);
  void Cancel();
  std::optional<LearnTarget> Target() const { return m_target; }

  // A change drained from the controller queue: true when learning took it
  // (the listener has heard it, and it must not be applied).
  bool Take(const ControllerChange& change);

private:
  std::optional<LearnTarget> m_target;
  Listener m_listener;
};

} // namespace vantrel
