#pragma once
// The program's options: --profile PATH, --midi-api alsa|jack, --headless,
// --no-mixer-warning, --no-mixer-start, --list-midi, --list-buttons, --feedback, --soft-takeover,
// --surface, --help.

#include "app/surface_protocol.h"
#include "midi/midi_backend.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct CommandLine {
  std::filesystem::path profile; // empty: the default profile path
  std::optional<MidiApi> midiApi;
  bool headless = false;
  bool mixerWarning = true; // the window says at start-up when no mixer server answers
  // Whether the program may start vantrel-mixerd (at start-up and when it
  // dies); off, it only uses a server that something else runs.
  bool startMixer = true;
  bool listMidi = false;
  bool listButtons = false;
  // Turn these on for this run, whatever the profile says.
  bool feedback = false;
  bool softTakeover = false;
  // --surface: the protocol the MIDI pair speaks for this run.
  std::optional<SurfaceProtocol> surface;
  bool help = false;
  std::string error; // non-empty when the options could not be understood
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

extern const std::string_view kUsage;

} // namespace vantrel
