#pragma once
// What the program last knew of each mixer parameter, for the two optional
// ways the controller follows the mixer:
//
// - Feedback: a parameter changed by anything but its own controller (an
//   outside change, a new server) has its value sent to the controller as a
//   Control Change on the output channel. Values that came from the
//   controller are never sent back, and a fader dragged on screen already
//   sent its own Control Change.
// - Soft takeover: an incoming controller takes over a parameter only once
//   its value comes within kPickUpSteps of the parameter's current value or
//   crosses it; until then the change is ignored for that parameter. A
//   change from anywhere else has to be picked up again.
//
// Both are off unless turned on; with both off nothing here reads or sends
// anything. Dialog thread only.

#include "mixer/catalogue.h"
#include "state/value_follower.h"

#include <array>
#include <cstdint>
#include <optional>

namespace vantrel {

struct BridgeContext;

// The controller number of a catalogue row's strip, when its page exists
// and the number can be sent and matched (0..127).
std::optional<uint8_t> MappedController(const BridgeContext& context, std::size_t row);

class CParameterMirror final : public IValueFollower {
public:
  static constexpr int kPickUpSteps = 2;

  bool Feedback() const { return m_feedback; }
  bool SoftTakeover() const { return m_softTakeover; }
  void SetFeedback(bool on) { m_feedback = on; }
  void SetSoftTakeover(bool on);
  // Whether anything here needs to hear of outside changes.
  bool Following() const { return m_feedback || m_softTakeover; }

  // Soft takeover: whether an incoming value v (0..127) for a row may set
  // it now. Always true while soft takeover is off.
  bool TakesOver(const BridgeContext& context, std::size_t row, int v) override;

  // The program set a row: from its controller (nothing to send back, and
  // the controller keeps the parameter) or from the screen (the fader sent
  // its own Control Change; the controller has to pick the value up again).
  void NoteFromController(std::size_t row, int32_t mixerValue) override;
  void NoteFromScreen(std::size_t row, int32_t mixerValue) override;

  // The mixer may have changed: reads every mapped row and handles each
  // that differs from what was known (feedback sends one Control Change per
  // controller, the last row's value when several rows share it).
  void Follow(BridgeContext& context);
  // The output opened: with feedback on, every mapped row's value is sent.
  void SendAll(BridgeContext& context);

private:
  struct Row {
    std::optional<int32_t> known; // mixer value
    bool pickedUp = false;
    std::optional<int> lastIncoming;
  };

  // Reads mapped rows; sends for those that differ (or all, with `all`).
  void Sync(BridgeContext& context, bool all);

  bool m_feedback = false;
  bool m_softTakeover = false;
  std::array<Row, kParameterCount> m_rows{};
};

} // namespace vantrel
