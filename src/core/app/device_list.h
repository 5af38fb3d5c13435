#pragma once
// --list-midi: the MIDI devices the bridge can open, with the index and the
// name a profile would hold, for writing profiles by hand.

#include "app/command_line.h"

#include <string>
#include <vector>

namespace vantrel {

// The listing of both directions under the lines that say which MIDI system
// serves them (MidiSystemLines).
std::string FormatDeviceList(const std::vector<std::string>& systemLines,
                             const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs);

// Chooses the MIDI system as the options say, prints its devices on standard
// output and returns the process's exit code.
int ListMidiDevices(const CommandLine& options);

} // namespace vantrel
