#include "app/device_list.h"

#include "settings/settings.h"

#include <cstdio>

namespace vantrel {

namespace {
void AppendDirection(std::string& text, const char* title, const SettingKey& indexKey,
                     const SettingKey& nameKey, const std::vector<std::string>& names) {
  text += std::string(title) + " (" + std::string(indexKey.name) + ", " +
          std::string(nameKey.name) + "):\n";
  if (names.empty()) {
    text += "  none\n";
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += "  " + std::to_string(i) + "  " + names[i] + "\n";
  }
}
} // namespace

std::string FormatDeviceList(const std::vector<std::string>& systemLines,
                             const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs) {
  std::string text;
  for (const std::string& line : systemLines) {
    text += line + "\n";
  }
  AppendDirection(text, "MIDI inputs", kDefaultMidiInKey, kDefaultMidiInNameKey, inputs);
  AppendDirection(text, "MIDI outputs", kDefaultMidiOutKey, kDefaultMidiOutNameKey, outputs);
  return text;
}

int ListMidiDevices(const CommandLine& options) {
  SelectMidiApi(options.midiApi);
  const std::string text = FormatDeviceList(MidiSystemLines(), MidiInputNames(), MidiOutputNames());
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace vantrel
