#pragma once
// PipeWire's own JACK library (Debian's pipewire-jack), which lets JACK
// clients run on a PipeWire desktop where no JACK server runs. Debian leaves
// it out of the library path: programs reach it through `pw-jack`, which
// only puts its folder in LD_LIBRARY_PATH. The bridge does that for itself:
// early in main, before any JACK call, it starts itself again with that
// path when JACK is the MIDI system it would look for and only PipeWire can
// serve it.

#include "midi/midi_backend.h"

#include <optional>
#include <string>

namespace vantrel {

// True when the libjack this process uses is PipeWire's.
bool UsingPipeWireJack();

// The folder of PipeWire's libjack.so.0 beside the system's libjack, or
// empty when it is not installed.
std::string PipeWireJackFolder();

// True when a PipeWire server accepts connections on its socket
// ($PIPEWIRE_REMOTE, else pipewire-0, in $PIPEWIRE_RUNTIME_DIR or
// $XDG_RUNTIME_DIR).
bool PipeWireAnswers();

// Starts this program again (same arguments) with PipeWire's JACK library
// first in the library path, when: no system or JACK is forced, the ALSA
// sequencer cannot be opened (unless JACK is forced), no JACK server runs,
// PipeWire answers and its JACK library is installed. Returns only when it
// does not, or when starting again failed (said on stderr). In the process
// started again, it takes the folder out of LD_LIBRARY_PATH, so programs
// the bridge starts see the library path the user had. Call it first thing
// in main, before any thread exists.
void UsePipeWireJackIfNeeded(char** argv, std::optional<MidiApi> forced);

// Why JACK did not answer, for the MIDI system lines: no server, and what
// PipeWire could or could not do about it.
std::string JackUnavailableReason();

} // namespace vantrel
