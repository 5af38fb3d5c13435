// vantrel: the program. Parses the options, runs the headless bridge without
// any window when asked, and otherwise the main window.

#include "ui/app/bridge_app.h"
#include "app/bridge_runtime.h"
#include "app/command_line.h"
#include "app/device_list.h"
#include "app/headless_bridge.h"
#include "app/mute_buttons.h"
#include "app/single_instance.h"
#include "midi/pipewire_jack.h"

#include <iostream>

int main(int argc, char** argv) {
  const vantrel::CommandLine options = vantrel::ParseCommandLine(argc, argv);
  if (!options.error.empty()) {
    std::cerr << "vantrel: " << options.error << "\n" << vantrel::kUsage;
    return 2;
  }
  if (options.help) {
    std::cout << vantrel::kUsage;
    return 0;
  }
  // Before anything opens a JACK client or starts a thread.
  if (!options.help) {
    vantrel::UsePipeWireJackIfNeeded(argv, options.midiApi);
  }
  if (options.listMidi) {
    return vantrel::ListMidiDevices(options);
  }
  if (options.listButtons) {
    return vantrel::ListButtons(options);
  }
  if (options.headless) {
    return vantrel::RunHeadless(options);
  }
  const std::filesystem::path profile = vantrel::ProfilePathOf(options);
  const vantrel::CFileLock lock(profile);
  if (const std::optional<std::string> inUse = vantrel::ProfileInUse(lock, profile)) {
    vantrel::ui::CBridgeApp app(argc, argv);
    return app.TellProfileInUse(*inUse);
  }
  // The process-wide objects come first and go last, after the window.
  vantrel::CBridgeRuntime runtime(options);
  vantrel::ui::CBridgeApp app(argc, argv);
  return app.InitInstance(runtime, options);
}
