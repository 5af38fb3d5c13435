#include "app/command_line.h"

#include <array>
#include <string>

namespace vantrel {

const std::string_view kUsage =
    "Usage: vantrel [--profile PATH] [--midi-api alsa|jack] [--headless | --list-midi | "
    "--list-buttons]\n"
    "               [--no-mixer-warning] [--no-mixer-start] [--feedback] [--soft-takeover]\n"
    "               [--surface mackie|none]\n"
    "\n"
    "Bridges a MIDI controller and the sound card's mixer.\n"
    "\n"
    "  --profile PATH       keep the settings in PATH instead of\n"
    "                       $XDG_CONFIG_HOME/vantrel/vantrel.INI\n"
    "  --midi-api alsa|jack use this MIDI system instead of the first that answers\n"
    "  --headless           run the bridge without a window (reads the profile,\n"
    "                       never writes it); stop it with Ctrl+C, print its\n"
    "                       counters with SIGUSR1\n"
    "  --no-mixer-warning   start the window without telling that no mixer server\n"
    "                       could be reached (for MIDI thru without a mixer)\n"
    "  --no-mixer-start     never start vantrel-mixerd, not even when it dies: use\n"
    "                       only a server that something else runs (a service of\n"
    "                       its own, bus activation)\n"
    "  --list-midi          print the MIDI devices with their indices and names\n"
    "                       (DefaultMidiIn/Out and DefaultMidiIn/OutName) and exit\n"
    "  --list-buttons       print the mute buttons of the profile's Button Mapping\n"
    "                       (-1, CC n or Note n, optionally latch) and exit\n"
    "  --feedback           send the mixer's values to the controller: all of them\n"
    "                       when the output opens, then each one changed elsewhere\n"
    "  --soft-takeover      a controller takes over a parameter only once it\n"
    "                       reaches the parameter's value\n"
    "  --surface mackie|none  the MIDI input and output are a control surface\n"
    "                       speaking that protocol (no thru, no CC mapping on\n"
    "                       them), for this run, whatever the profile says\n"
    "  --help               show this text\n";

namespace {

// An option without a value and what it sets.
struct Switch {
  std::string_view name;
  bool CommandLine::*field;
  bool value;
};

constexpr std::array<Switch, 9> kSwitches = {{
    {"--help", &CommandLine::help, true},
    {"-h", &CommandLine::help, true},
    {"--headless", &CommandLine::headless, true},
    {"--no-mixer-warning", &CommandLine::mixerWarning, false},
    {"--no-mixer-start", &CommandLine::startMixer, false},
    {"--list-midi", &CommandLine::listMidi, true},
    {"--list-buttons", &CommandLine::listButtons, true},
    {"--feedback", &CommandLine::feedback, true},
    {"--soft-takeover", &CommandLine::softTakeover, true},
}};

const Switch* FindSwitch(std::string_view arg) {
  for (const Switch& option : kSwitches) {
    if (option.name == arg) {
      return &option;
    }
  }
  return nullptr;
}

} // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    // Both "--name value" and "--name=value".
    auto value = [&](std::string_view name) -> std::optional<std::string_view> {
      if (arg == name) {
        if (i + 1 < argc) {
          return std::string_view(argv[++i]);
        }
        options.error = std::string(name) + " needs a value.";
        return std::nullopt;
      }
      if (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
          arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
      }
      return std::nullopt;
    };
    if (const Switch* found = FindSwitch(arg)) {
      options.*(found->field) = found->value;
    } else if (const auto path = value("--profile")) {
      if (path->empty()) {
        options.error = "--profile needs a file name.";
      } else {
        options.profile = std::string(*path);
      }
    } else if (const auto surface = value("--surface")) {
      options.surface = ParseSurfaceProtocol(*surface);
      if (!options.surface || surface->empty()) {
        options.error = "--surface takes mackie or none, not \"" + std::string(*surface) + "\".";
      }
    } else if (const auto api = value("--midi-api")) {
      options.midiApi = ParseMidiApi(*api);
      if (!options.midiApi) {
        options.error = "--midi-api takes alsa or jack, not \"" + std::string(*api) + "\".";
      }
    } else if (options.error.empty()) {
      options.error = "Unknown option \"" + std::string(arg) + "\".";
    }
    if (!options.error.empty()) {
      break;
    }
  }
  return options;
}

} // namespace vantrel
