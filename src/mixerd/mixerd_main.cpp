// vantrel-mixerd: the mixer server. Owns org.vantrel.Mixer on the session bus
// and serves the virtual card until SIGTERM, SIGINT, SIGHUP or the end of the
// bus.

#include "mixer_config.h"
#include "mixer_service.h"
#include "mixer_state_file.h"
#include "posix/stop_signals.h"

#include <sdbus-c++/sdbus-c++.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

void PrintUsage(std::ostream& out) {
  out << "Usage: vantrel-mixerd [--state PATH] [--backend auto|virtual|pulse|alsa]\n"
         "                      [--mixer-config PATH]\n"
         "Serves the Vantrel mixer (org.vantrel.Mixer) on the session bus.\n"
         "  --state PATH         keep the mixer state in PATH instead of\n"
         "                       $XDG_STATE_HOME/vantrel/mixer.state\n"
         "  --backend NAME       what the mixer drives: pulse (PulseAudio or PipeWire),\n"
         "                       alsa (a card's mixer), virtual (nothing real), or\n"
         "                       auto (the default: pulse when a sound server answers,\n"
         "                       else alsa when the card has a mixer, else virtual)\n"
         "  --mixer-config PATH  read the bindings from PATH instead of\n"
         "                       $XDG_CONFIG_HOME/vantrel/mixer.ini\n";
}

} // namespace

int main(int argc, char** argv) {
  using namespace vantrel::mixerd;
  std::string statePath;
  std::string backend;
  std::string configPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return kExitOk;
    }
    const bool hasValue = i + 1 < argc && argv[i + 1][0] != '\0';
    if (arg == "--state" && hasValue) {
      statePath = argv[++i];
      continue;
    }
    if (arg == "--mixer-config" && hasValue) {
      configPath = argv[++i];
      continue;
    }
    if (arg == "--backend" && hasValue) {
      backend = argv[++i];
      if (backend != "auto" && backend != "virtual" && backend != "pulse" && backend != "alsa") {
        std::cerr << "vantrel-mixerd: unknown back end \"" << backend
                  << "\" (auto, virtual, pulse or alsa).\n";
        return kExitUsage;
      }
      continue;
    }
    std::cerr << "vantrel-mixerd: unknown or incomplete option \"" << arg << "\".\n";
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  if (statePath.empty()) {
    statePath = DefaultStatePath();
  }
  BackendChoice choice;
  std::ostringstream problems;
  choice.config =
      LoadMixerConfig(configPath.empty() ? DefaultMixerConfigPath() : configPath, problems);
  std::istringstream lines(problems.str());
  const std::string prefix = "vantrel-mixerd: ";
  for (std::string line; std::getline(lines, line);) {
    std::cerr << line << '\n';
    choice.configProblems.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
  }
  choice.name = !backend.empty()                 ? backend
                : !choice.config.backend.empty() ? choice.config.backend
                                                 : "auto";

  // Stop signals are read from a signalfd by the event loop; block them
  // before anything could start a thread.
  vantrel::BlockStopSignals();
  std::signal(SIGPIPE, SIG_IGN);

  try {
    auto connection = sdbus::createSessionBusConnection();
    MixerService service(*connection, statePath, std::move(choice));
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
