#pragma once
// The sixteen effect types as LADSPA plugins on the sound server: which
// plugin file, label and control values each one loads (module-ladspa-sink)
// by default and as the mapping file sets them, and whether the plugin is
// installed.

#include <array>
#include <optional>
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

// Effect type 0..15 in the interface's order: the defaults.
const std::array<EffectPlugin, kEffectCount>& EffectPlugins();

// One effect as the mapping file's [Effects] gives it, replacing a default.
struct EffectSetting {
  std::string plugin;
  std::string label;
  std::string controls;

  bool operator==(const EffectSetting&) const = default;
};

std::array<EffectSetting, kEffectCount> DefaultEffectSettings();

// Reads "PLUGIN LABEL [CONTROLS]" (CONTROLS as module-ladspa-sink's comma
// list); nothing when a word holds what a module argument cannot carry.
std::optional<EffectSetting> ParseEffectSetting(std::string_view text);

// The effect type named `name` ("Reverb", "ParamEQ2"; ASCII case ignored).
std::optional<int> FindEffect(std::string_view name);

// True when `plugin`.so is in a folder of LADSPA_PATH or a standard one.
bool EffectPluginInstalled(std::string_view plugin);

} // namespace vantrel::mixerd
