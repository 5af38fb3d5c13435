#pragma once
// Input through RtMidi, on the ALSA sequencer or JACK. RtMidi calls back on
// its own thread (ALSA: its input thread; JACK: the client's process thread).
// RtMidi is told to deliver every short message, timing clock and active
// sensing included, and to drop system exclusive.

#include "midi/midi_device.h"

#include <memory>

namespace vantrel {

std::unique_ptr<IMidiInBackend> MakeRtMidiInBackend();

} // namespace vantrel
