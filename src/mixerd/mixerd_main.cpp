// vantrel-mixerd: the mixer server. Owns org.vantrel.Mixer on the session bus
// and serves the virtual card until SIGTERM, SIGINT, SIGHUP or the end of the
// bus.

#include "mixer_service.h"
#include "mixer_state_file.h"
#include "posix/stop_signals.h"

#include <sdbus-c++/sdbus-c++.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

namespace {

void PrintUsage(std::ostream& out) {
  out << "Usage: vantrel-mixerd [--state PATH]\n"
         "Serves the Vantrel mixer (org.vantrel.Mixer) on the session bus.\n"
         "  --state PATH  keep the mixer state in PATH instead of\n"
         "                $XDG_STATE_HOME/vantrel/mixer.state\n";
}

} // namespace

int main(int argc, char** argv) {
  using namespace vantrel::mixerd;
  std::string statePath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return kExitOk;
    }
    if (arg == "--state" && i + 1 < argc && argv[i + 1][0] != '\0') {
      statePath = argv[++i];
      continue;
    }
    std::cerr << "vantrel-mixerd: unknown or incomplete option \"" << arg << "\".\n";
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  if (statePath.empty()) {
    statePath = DefaultStatePath();
  }

  // Stop signals are read from a signalfd by the event loop; block them
  // before anything could start a thread.
  vantrel::BlockStopSignals();
  std::signal(SIGPIPE, SIG_IGN);

  try {
    auto connection = sdbus::createSessionBusConnection();
    MixerService service(*connection, statePath);
    std::string message;
    if (!service.ClaimName(message)) {
      std::cerr << "vantrel-mixerd: " << message << '\n';
      return kExitNameTaken;
    }
    return service.Run();
  } catch (const sdbus::Error& error) {
    std::cerr << "vantrel-mixerd: cannot serve on the session bus: " << error.getMessage() << '\n';
    return kExitFailure;
  }
}
