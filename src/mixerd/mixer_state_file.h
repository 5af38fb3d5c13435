#pragma once
// The server's state file: a small versioned text file, replaced atomically
// on every save so a crash or a full disk never leaves half a file.

#include "mixer_model.h"

#include <string>

namespace vantrel::mixerd {

// $XDG_STATE_HOME/vantrel/mixer.state, else ~/.local/state/vantrel/mixer.state.
std::string DefaultStatePath();

enum class LoadResult {
  Loaded,
  Missing,
  Invalid,
};

// Reads `path` into `state`. On Missing or Invalid `state` holds the
// defaults and `message` says why, in a sentence.
LoadResult LoadStateFile(const std::string& path, MixerState& state, std::string& message);

// Writes `state` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`, creating the folder when needed. On failure the old
// file is untouched and `message` says what went wrong.
bool SaveStateFile(const std::string& path, const MixerState& state, std::string& message);

// The file's text, as SaveStateFile writes it.
std::string FormatState(const MixerState& state);

// Parses text written by FormatState; false with `message` on anything else.
bool ParseState(const std::string& text, MixerState& state, std::string& message);

} // namespace vantrel::mixerd
