#pragma once
// The sixteen effect types as LADSPA plugins on the sound server: which
// plugin file, label and control values each one loads (module-ladspa-sink),
// and whether the plugin is installed.

#include <array>
#include <string>
#include <string_view>

namespace vantrel::mixerd {

struct EffectPlugin {
  std::string_view effect;   // as the interface names it
  std::string_view plugin;   // file name without ".so"
  std::string_view label;    // the plugin's label inside the file
  std::string_view controls; // module-ladspa-sink's control list; empty = defaults
};

inline constexpr int kEffectCount = 16;

// Effect type 0..15 in the interface's order.
const std::array<EffectPlugin, kEffectCount>& EffectPlugins();

// True when `plugin`.so is in a folder of LADSPA_PATH or a standard one.
bool EffectPluginInstalled(std::string_view plugin);

} // namespace vantrel::mixerd
