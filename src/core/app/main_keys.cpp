#include "app/main_keys.h"

#include "settings/profile_file.h"
#include "settings/settings.h"
#include "state/controller_modes.h"

#include <cstdio>
#include <vector>

namespace vantrel {

MainKeys ReadMainKeys(const CSettings* settings) {
  MainKeys keys;
  if (settings == nullptr) {
    return keys;
  }
  keys.activePage = settings->ReadInt(kActivePageKey, 1);
  keys.outputDevice = settings->ReadInt(kDefaultMidiOutKey, -1);
  keys.inputDevice = settings->ReadInt(kDefaultMidiInKey, -1);
  keys.outputChannel = settings->ReadInt(kDefaultMidiOutChannelKey, 1);
  keys.inputName = settings->Read(kDefaultMidiInNameKey);
  keys.outputName = settings->Read(kDefaultMidiOutNameKey);
  keys.feedback = settings->ReadInt(kFeedbackKey, 0) != 0;
  keys.softTakeover = settings->ReadInt(kSoftTakeoverKey, 0) != 0;
  return keys;
}

void ReadControllerModes(const CSettings* settings, CControllerModes& modes) {
  modes.Reset();
  if (settings == nullptr) {
    return;
  }
  for (uint8_t controller = 0; controller < 128; ++controller) {
    const SettingKey key = ControllerModeKey(controller);
    const std::string text = settings->Read(key);
    if (text.empty()) {
      continue;
    }
    const std::optional<ControllerMode> mode = ParseControllerMode(text);
    if (!mode || !modes.SetMode(controller, *mode)) {
      std::fprintf(stderr,
                   "vantrel: the profile sets [%s] %s=%s, which %s; controller %d is read as "
                   "absolute.\n",
                   std::string(key.section).c_str(), std::string(key.name).c_str(), text.c_str(),
                   mode ? "only controllers 0..31 can carry (their low halves are 32..63)"
                        : "is none of absolute, relative-twos, relative-signed, "
                          "relative-offset or 14bit",
                   controller);
    }
  }
}

void WriteMainKeys(CSettings& settings, const MainKeys& keys) {
  std::vector<SettingWrite> writes = {
      {kDefaultMidiOutKey, FormatProfileInt(keys.outputDevice)},
      {kDefaultMidiInKey, FormatProfileInt(keys.inputDevice)},
      {kActivePageKey, FormatProfileInt(keys.activePage)},
      {kDefaultMidiOutChannelKey, FormatProfileInt(keys.outputChannel)},
  };
  const std::pair<SettingKey, const std::optional<std::string>*> names[] = {
      {kDefaultMidiOutNameKey, &keys.outputName}, {kDefaultMidiInNameKey, &keys.inputName}};
  for (const auto& [key, name] : names) {
    if (name->has_value() && CProfileFile::IsValidValue(**name)) {
      writes.push_back({key, **name});
    }
  }
  settings.WriteMany(writes);
}

} // namespace vantrel
