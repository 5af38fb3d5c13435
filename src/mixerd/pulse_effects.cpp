#include "pulse_effects.h"

#include "text/ascii_text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace vantrel::mixerd {

namespace {

// Wet only where a plugin mixes its own dry signal: a bus is a send, and
// the dry sound already plays through the strip's own path. Packages:
// tap-plugins (tap_*) and swh-plugins (the numbered files).
constexpr std::array<EffectPlugin, kEffectCount> kPlugins = {{
    {"Reverb", "tap_reverb", "tap_reverb", "2500,-70,0,1,1,1,1,0"},
    {"Chorus", "tap_chorusflanger", "tap_chorusflanger", "1,90,40,15,100,-70,0"},
    {"Flanger", "flanger_1191", "flanger", "6,2.5,0.33,0.5"},
    {"Echo-Delay", "tap_echo", "tap_stereo_echo", "300,40,450,40,0,0,-70,0,0,0"},
    // No envelope-following wah is packaged: a resonant band-pass stands in.
    {"Auto-Wah", "svf_1214", "svf", "3,900,0.7,0.6"},
    {"PitchShift", "tap_pitch", "tap_pitch", "7,0,-90,0"},
    {"Distortion", "foverdrive_1196", "foverdrive", "4"},
    {"Compressor", "sc4_1882", "sc4", "0.5,10,120,-24,4,3,8"},
    // Shelves: low and high bands of a three-band equaliser.
    {"ShelfEQ1", "dj_eq_1901", "dj_eq", "9,0,0"},
    {"ShelfEQ2", "dj_eq_1901", "dj_eq", "-9,0,0"},
    {"ShelfEQ3", "dj_eq_1901", "dj_eq", "0,0,9"},
    {"ShelfEQ4", "dj_eq_1901", "dj_eq", "0,0,-9"},
    // Peaks: one band of an eight-band equaliser (31 Hz .. 16 kHz by default).
    {"ParamEQ1", "tap_eq", "tap_equalizer", "0,0,9,0,0,0,0,0,,,,,,,,"},
    {"ParamEQ2", "tap_eq", "tap_equalizer", "0,0,0,0,9,0,0,0,,,,,,,,"},
    {"ParamEQ3", "tap_eq", "tap_equalizer", "0,0,0,0,0,0,9,0,,,,,,,,"},
    {"ParamEQ4", "tap_eq", "tap_equalizer", "0,0,0,-12,0,0,0,0,,,,,,,,"},
}};

} // namespace

const std::array<EffectPlugin, kEffectCount>& EffectPlugins() {
  return kPlugins;
}

std::array<EffectSetting, kEffectCount> DefaultEffectSettings() {
  std::array<EffectSetting, kEffectCount> settings;
  for (std::size_t i = 0; i < settings.size(); ++i) {
    settings[i] = {std::string(kPlugins[i].plugin), std::string(kPlugins[i].label),
                   std::string(kPlugins[i].controls)};
  }
  return settings;
}

std::optional<EffectSetting> ParseEffectSetting(std::string_view text) {
  std::istringstream in{std::string(text)};
  EffectSetting setting;
  std::string extra;
  if (!(in >> setting.plugin >> setting.label) || ((in >> setting.controls) && (in >> extra))) {
    return std::nullopt;
  }
  // The words go into the server's module arguments: names of files and
  // labels, and numbers; nothing that could end or add an argument.
  const auto only = [](const std::string& word, std::string_view allowed) {
    return std::ranges::all_of(word, [&](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
             allowed.find(c) != std::string_view::npos;
    });
  };
  if (!only(setting.plugin, "_-.") || !only(setting.label, "_-.") ||
      !only(setting.controls, ".,-+")) {
    return std::nullopt;
  }
  return setting;
}

std::optional<int> FindEffect(std::string_view name) {
  for (std::size_t i = 0; i < kPlugins.size(); ++i) {
    if (EqualsIgnoringAsciiCase(name, kPlugins[i].effect)) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

bool EffectPluginInstalled(std::string_view plugin) {
  std::string folders = "/usr/lib/ladspa:/usr/local/lib/ladspa:/usr/lib/x86_64-linux-gnu/ladspa";
  if (const char* path = std::getenv("LADSPA_PATH"); path != nullptr && *path != '\0') {
    folders = path;
  }
  std::istringstream list(folders);
  const std::string file = std::string(plugin) + ".so";
  for (std::string folder; std::getline(list, folder, ':');) {
    std::error_code error;
    if (!folder.empty() && std::filesystem::is_regular_file(folder + "/" + file, error)) {
      return true;
    }
  }
  return false;
}

} // namespace vantrel::mixerd
