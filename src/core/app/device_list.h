#pragma once
// --list-midi: the MIDI devices the bridge can open, with the index and the
// name a profile would hold, for writing profiles by hand.

#include "app/command_line.h"

#include <string>
#include <vector>

namespace vantrel {

// The listing of both directions under the MIDI system's name.
std::string FormatDeviceList(MidiApi api, const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs);

// Chooses the MIDI system as the options say, prints its devices on standard
// output and returns the process's exit code.
int ListMidiDevices(const CommandLine& options);

} // namespace vantrel
