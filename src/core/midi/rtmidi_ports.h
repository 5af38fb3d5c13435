#pragma once
// Helpers shared by the RtMidi-based (ALSA) backends: the port list
// without the bridge's own ports, and the error callback that keeps RtMidi
// from printing or throwing.

#include "midi/midi_backend.h"

#include <rtmidi/RtMidi.h>

#include <string>
#include <vector>

namespace vantrel {

struct RtMidiPort {
  unsigned number = 0; // RtMidi's own port number
  std::string name;
};

// The ports of this RtMidi object that the bridge offers, in RtMidi's order.
std::vector<RtMidiPort> VisiblePorts(RtMidi& midi);

// An error callback that ignores what it is told, for RtMidi objects whose
// failures show up elsewhere (an empty list, a port that is not open).
void IgnoreRtMidiError(RtMidiError::Type type, const std::string& text, void* user);

} // namespace vantrel
