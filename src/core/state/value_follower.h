#pragma once
// What pages and the controller dispatcher tell the part of the program
// that follows the mixer's values for controller feedback and soft takeover
// (CParameterMirror, above them), and what they ask it. Dialog thread only.

#include <cstddef>
#include <cstdint>

namespace vantrel {

struct BridgeContext;

class IValueFollower {
public:
  virtual ~IValueFollower() = default;
  // Soft takeover: whether an incoming controller value v (0..127) may set
  // a catalogue row now; always true while soft takeover is off.
  virtual bool TakesOver(const BridgeContext& context, std::size_t row, int v) = 0;
  // The program set a row to a mixer value from its controller, or from
  // the screen.
  virtual void NoteFromController(std::size_t row, int32_t mixerValue) = 0;
  virtual void NoteFromScreen(std::size_t row, int32_t mixerValue) = 0;
};

} // namespace vantrel
