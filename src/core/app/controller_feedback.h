#pragma once
// Feedback: with it on, a parameter changed by anything but its own
// controller (a change made elsewhere, a new server's values) has its value
// sent to the controller as a Control Change on the output channel. Values
// that came from the controller are never sent back (the mirror knows them
// as the program's own), and a fader dragged on screen already sent its own
// Control Change. Several rows on one controller send one Control Change per
// pass, the last row's value. Off unless turned on: then nothing is sent.
// Dialog thread only.

#include "mixer/mixer_mirror.h"

namespace vantrel {

struct BridgeContext;

class CControllerFeedback {
public:
  bool Feedback() const { return m_feedback; }
  void SetFeedback(bool on) { m_feedback = on; }

  // Mixer values changed elsewhere (`changed`: the mirror's slots): every
  // source has to pick those rows up again, and with feedback on their
  // controllers hear the new values.
  void Follow(BridgeContext& context, const CMixerMirror::Slots& changed);
  // With feedback on, every mapped row whose value is known is sent.
  void SendAll(BridgeContext& context);

private:
  void Send(BridgeContext& context, const CMixerMirror::Slots* changed);

  bool m_feedback = false;
};

} // namespace vantrel
