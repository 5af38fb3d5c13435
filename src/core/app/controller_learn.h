#pragma once
// MIDI learn: while armed for one strip, the next incoming Control Change
// (on any channel) is taken as that strip's controller number instead of
// being applied to the mixer. Whoever armed it hears the number and commits
// it. Dialog thread only.

#include "midi/controller_queue.h"

#include <cstddef>
#include <functional>
#include <optional>

namespace vantrel {

struct LearnTarget {
  int page = 0; // page number 1..8
  std::size_t strip = 0;
  bool operator==(const LearnTarget&) const = default;
};

class CControllerLearn {
public:
  // Hears the target and the controller number learned for it.
  using Listener = std::function<void(LearnTarget target, int controller)>;

  // Waits for the next Control Change for this target, instead of any
  // earlier one.
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
