#pragma once
// Input through RtMidi on the ALSA sequencer. RtMidi calls back on its own
// input thread. It is told to deliver every message, timing clock, active
// sensing and system exclusive included.

#include "midi/midi_device.h"

#include <memory>
#include <string>

namespace vantrel {

// Opens the device at this index of MidiInputNames(), delivering to receiver
// once started. Null with a sentence in error on failure.
std::unique_ptr<IMidiInConnection> OpenRtMidiIn(uint32_t device, IMidiReceiver& receiver,
                                                std::string& error);

} // namespace vantrel
