#pragma once
// Where the programs keep their files, after the XDG base directory rules.

#include <filesystem>
#include <optional>

namespace vantrel {

enum class XdgBase {
  Config, // $XDG_CONFIG_HOME, default ~/.config: profile, mixer mapping
  State,  // $XDG_STATE_HOME, default ~/.local/state: mixer state
};

// <base>/vantrel, where <base> is the variable's value when it is an
// absolute path (relative values are invalid and ignored), else its default
// under $HOME. Nothing when neither is set.
std::optional<std::filesystem::path> VantrelFolder(XdgBase base);

} // namespace vantrel
