#pragma once
// Output through RtMidi on the ALSA sequencer. RtMidi opens its sequencer
// client non-blocking, so a send whose event cannot be queued fails at once
// instead of waiting; the failure arrives through the error callback.

#include "midi/midi_device.h"

#include <memory>

namespace vantrel {

std::unique_ptr<IMidiOutConnection> OpenRtMidiOut(uint32_t device, std::string& error);

} // namespace vantrel
