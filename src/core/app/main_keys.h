#pragma once
// The profile's main keys (the page on screen, the MIDI devices and the
// output channel) and the options read with them, as the session reads them
// at start-up and writes them at shut-down. Nothing is range-checked: a
// hand-edited value is kept as it is and saved back unchanged.

#include <cstdint>
#include <optional>
#include <string>

namespace vantrel {

class CControllerModes;
class CSettings;

struct MainKeys {
  int32_t activePage = 1;
  int32_t outputDevice = -1;
  int32_t inputDevice = -1;
  int32_t outputChannel = 1; // "Out Chn" as shown, 1-based
  // The chosen devices' names; when writing, nothing leaves the key out.
  std::optional<std::string> inputName;
  std::optional<std::string> outputName;
  bool feedback = false;
  bool softTakeover = false;
};

// The keys as the profile holds them; the defaults without a profile.
MainKeys ReadMainKeys(const CSettings* settings);

// Reads "Controller Modes" into modes (reset first); a value that names no
// mode, or a mode the number cannot carry, is reported and read as absolute.
void ReadControllerModes(const CSettings* settings, CControllerModes& modes);

// Writes the four main keys, then each name given that the profile can
// hold, in one atomic replace of the file; the options are not written.
void WriteMainKeys(CSettings& settings, const MainKeys& keys);

} // namespace vantrel
