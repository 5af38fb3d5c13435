#pragma once
// The server's state file: a small versioned text file, replaced atomically
// on every save so a crash or a full disk never leaves half a file.

#include "mixer_model.h"

#include <cstddef>
#include <string>

namespace vantrel::mixerd {

// $XDG_STATE_HOME/vantrel/mixer.state, else ~/.local/state/vantrel/mixer.state.
std::string DefaultStatePath();

// A whole state file is a few kilobytes; anything far larger is no state
// file and is refused rather than read into memory.
inline constexpr std::size_t kMaxStateFileBytes = 1024 * 1024;

enum class LoadResult {
  Loaded,
  Missing,
  Invalid,
};

// Reads `path` into `state`. On Missing or Invalid `state` holds the
// defaults and `message` says why, in a sentence. A file that cannot be
// parsed, is no regular file (a pipe, a device) or is over the size limit
// is invalid and moved aside; the open never blocks.
LoadResult LoadStateFile(const std::string& path, MixerState& state, std::string& message);

// Replaces `path` atomically with `state` (through symbolic links), creating
// the folder when needed. On failure the old file is untouched and `message`
// says what went wrong.
bool SaveStateFile(const std::string& path, const MixerState& state, std::string& message);

// The file's text, as SaveStateFile writes it.
std::string FormatState(const MixerState& state);

// Parses text written by FormatState; false with `message` on anything else.
bool ParseState(const std::string& text, MixerState& state, std::string& message);

} // namespace vantrel::mixerd
