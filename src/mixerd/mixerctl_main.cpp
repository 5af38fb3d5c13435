// vantrel-mixerctl: reads and sets the mixer of vantrel-mixerd from the
// command line, for people and for tests.

#include "mixer/dbus_mixer_protocol.h"
#include "pages/aux_labels.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cerrno>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace vantrel;
using namespace vantrel::mixer_dbus;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr uint64_t kCallTimeoutUsec = 5'000'000;

constexpr std::array<std::string_view, kSourceTypeCount> kSourceTypeNames = {
    "Analog", "Digital", "Wave", "MIDI", "User"};

void PrintUsage(std::ostream& out) {
  out << "Usage: vantrel-mixerctl COMMAND [ARGUMENTS]\n"
         "Reads and sets the mixer served by vantrel-mixerd (org.vantrel.Mixer).\n"
         "\n"
         "Commands:\n"
         "  dump                          print the back end, every parameter and route\n"
         "  targets                       list what the back end sees (sinks, sources,\n"
         "                                streams or ALSA elements), the properties\n"
         "                                mapping rules match and the strip of each\n"
         "  get METHOD [ARG...]           call a getter and print its results\n"
         "  set METHOD ARG...             call a setter\n"
         "  methods                       list the methods and their arguments\n"
         "  route-send TYPE INDEX SEND BUS   make a source's send feed a bus\n"
         "  route-effect BUS EFFECT       send a bus to an effect (0..15)\n"
         "  route-output BUS analog|digital PAIR   send a bus to an output pair\n"
         "  route-on BUS | route-off BUS  mark a bus routed or not\n"
         "\n"
         "METHOD is a name of the interface, with or without its Get, Set or Is\n"
         "prefix (get SourceVolume 0 1 calls GetSourceVolume). Every argument is\n"
         "an integer. Source TYPE: 0 analog (INDEX 0..3), 1 digital (0..1),\n"
         "2 wave (0), 3 MIDI (0), 4 user (0..4). SEND 0..1, BUS 0..3, levels,\n"
         "pans and gains 0..65535. Output pairs: analog 0..4, digital 0..2.\n";
}

class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

int32_t ParseInt(const std::string& text, std::string_view what) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
    throw UsageError("\"" + text + "\" is not a valid " + std::string(what) +
                     " (an integer is expected).");
  }
  return static_cast<int32_t>(value);
}

// Finds the method `name` names, trying the prefixes that `command` allows.
const MethodInfo& ResolveMethod(const std::string& name, bool setter) {
  const std::vector<std::string> candidates =
      setter ? std::vector<std::string>{name, "Set" + name}
             : std::vector<std::string>{name, "Get" + name, "Is" + name};
  for (const std::string& candidate : candidates) {
    const MethodInfo* info = FindMethod(candidate);
    if (info != nullptr && info->IsSetter() == setter) {
      return *info;
    }
  }
  if (const MethodInfo* info = FindMethod(name)) {
    throw UsageError(std::string(info->name) + " is a " + (info->IsSetter() ? "setter" : "getter") +
                     "; use \"" + (info->IsSetter() ? "set" : "get") + "\".");
  }
  throw UsageError("unknown method \"" + name + "\"; \"vantrel-mixerctl methods\" lists them.");
}

class MixerClient {
public:
  MixerClient()
      : m_connection(sdbus::createSessionBusConnection()),
        m_proxy(sdbus::createProxy(*m_connection, kBusName, kObjectPath)) {}

  std::vector<int32_t> Call(const MethodInfo& info, const std::vector<int32_t>& args) {
    auto call = m_proxy->createMethodCall(kInterface, std::string(info.name));
    for (int32_t arg : args) {
      call << arg;
    }
    auto reply = m_proxy->callMethod(call, kCallTimeoutUsec);
    std::vector<int32_t> results(info.outputCount);
    for (int32_t& result : results) {
      reply >> result;
    }
    return results;
  }

  int32_t Get(Method method, std::initializer_list<int32_t> args) {
    return Call(Info(method), args).front();
  }

  // The back end's name and status; nothing from a server without them.
  std::optional<std::pair<std::string, std::string>> Backend() {
    try {
      auto call = m_proxy->createMethodCall(kBackendInterface, kBackendMethod);
      auto reply = m_proxy->callMethod(call, kCallTimeoutUsec);
      std::pair<std::string, std::string> result;
      reply >> result.first >> result.second;
      return result;
    } catch (const sdbus::Error& error) {
      if (error.getName() == "org.freedesktop.DBus.Error.UnknownMethod" ||
          error.getName() == "org.freedesktop.DBus.Error.UnknownInterface") {
        return std::nullopt;
      }
      throw;
    }
  }

  using Property = sdbus::Struct<std::string, std::string>;
  using Target = sdbus::Struct<std::string, std::string, std::string, std::vector<Property>>;

  std::vector<Target> Targets() {
    auto call = m_proxy->createMethodCall(kBackendInterface, kTargetsMethod);
    auto reply = m_proxy->callMethod(call, kCallTimeoutUsec);
    std::vector<Target> targets;
    reply >> targets;
    return targets;
  }

private:
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<sdbus::IProxy> m_proxy;
};

int RunCall(MixerClient& client, const MethodInfo& info, const std::vector<std::string>& words) {
  if (words.size() != info.inputCount) {
    std::ostringstream text;
    text << info.name << " takes " << info.inputCount << " argument"
         << (info.inputCount == 1 ? "" : "s");
    for (std::size_t i = 0; i < info.inputCount; ++i) {
      text << (i == 0 ? " (" : ", ") << info.inputs[i];
    }
    text << (info.inputCount > 0 ? ")" : "") << ", not " << words.size() << '.';
    throw UsageError(text.str());
  }
  std::vector<int32_t> args;
  for (std::size_t i = 0; i < words.size(); ++i) {
    args.push_back(ParseInt(words[i], info.inputs[i]));
  }
  const std::vector<int32_t> results = client.Call(info, args);
  for (std::size_t i = 0; i < results.size(); ++i) {
    std::cout << (results.size() > 1 ? std::string(info.outputs[i]) + " " : "") << results[i]
              << '\n';
  }
  return kExitOk;
}

std::string BusDestination(MixerClient& client, int32_t bus) {
  if (client.Get(Method::IsBusOnOutput, {bus}) != 0) {
    const std::vector<int32_t> out = client.Call(Info(Method::GetBusOutput), {bus});
    std::string label;
    GetOutputPairLabel(out[0], out[1], out[2], label);
    return std::string("output ") + (out[0] != 0 ? "digital" : "analog") + " pair " +
           std::to_string(out[1]) + " (" + label + ")";
  }
  const int32_t effect = client.Get(Method::GetBusEffect, {bus});
  const std::string name =
      IsValidEffect(effect) ? std::string(kEffectNames[static_cast<std::size_t>(effect)]) : "?";
  return "effect " + std::to_string(effect) + " (" + name + ")";
}

int RunTargets(MixerClient& client) {
  if (const auto backend = client.Backend()) {
    std::cout << "backend " << backend->first << ": " << backend->second << '\n';
  }
  for (const MixerClient::Target& target : client.Targets()) {
    const std::string& strip = target.get<2>();
    std::cout << target.get<0>() << " \"" << target.get<1>() << "\" -> "
              << (strip.empty() ? "(no strip)" : strip) << '\n';
    for (const MixerClient::Property& property : target.get<3>()) {
      std::cout << "    " << property.get<0>() << " = " << property.get<1>() << '\n';
    }
  }
  return kExitOk;
}

int RunDump(MixerClient& client) {
  if (const auto backend = client.Backend()) {
    std::cout << "backend " << backend->first << ": " << backend->second << '\n';
  }
  std::cout << "master left " << client.Get(Method::GetMasterVolume, {0}) << " right "
            << client.Get(Method::GetMasterVolume, {1}) << '\n';
  std::cout << "record " << client.Get(Method::GetRecordLevel, {}) << '\n';
  for (int32_t type = 0; type < kSourceTypeCount; ++type) {
    const int32_t count = kSourcesPerType[static_cast<std::size_t>(type)];
    for (int32_t index = 0; index < count; ++index) {
      std::string name(kSourceTypeNames[static_cast<std::size_t>(type)]);
      if (count > 1) {
        name += " " + std::to_string(index + 1);
      }
      std::cout << "source " << type << ' ' << index << " " << std::left << std::setw(9) << name
                << std::right << " volume " << client.Get(Method::GetSourceVolume, {type, index})
                << " pan " << client.Get(Method::GetSourcePan, {type, index});
      for (int32_t send = 0; send < kSendCount; ++send) {
        std::cout << " send" << send << " bus "
                  << client.Get(Method::GetSendBus, {type, index, send}) << " level "
                  << client.Get(Method::GetSendLevel, {type, index, send});
      }
      std::cout << '\n';
    }
  }
  for (int32_t bus = 0; bus < kBusCount; ++bus) {
    std::cout << "bus " << bus << " Aux " << bus + 1 << " level "
              << client.Get(Method::GetBusLevel, {bus}) << " routed "
              << (client.Get(Method::IsBusRouted, {bus}) != 0 ? "yes" : "no") << " to "
              << BusDestination(client, bus) << '\n';
  }
  return kExitOk;
}

void RunMethods() {
  for (const MethodInfo& info : kMethods) {
    std::cout << info.name << '(';
    for (std::size_t i = 0; i < info.inputCount; ++i) {
      std::cout << (i == 0 ? "" : ", ") << info.inputs[i];
    }
    std::cout << ')';
    for (std::size_t i = 0; i < info.outputCount; ++i) {
      std::cout << (i == 0 ? " -> " : ", ") << info.outputs[i];
    }
    std::cout << '\n';
  }
}

void ExpectCount(const std::vector<std::string>& args, std::size_t count, std::string_view usage) {
  if (args.size() != count) {
    throw UsageError("usage: vantrel-mixerctl " + std::string(usage));
  }
}

int Run(const std::vector<std::string>& words) {
  if (words.empty()) {
    throw UsageError("no command given.");
  }
  const std::string& command = words[0];
  const std::vector<std::string> rest(words.begin() + 1, words.end());
  if (command == "help" || command == "--help" || command == "-h") {
    PrintUsage(std::cout);
    return kExitOk;
  }
  if (command == "methods") {
    RunMethods();
    return kExitOk;
  }
  // Check the words before touching the bus, so a typo is a usage error.
  const MethodInfo* info = nullptr;
  std::vector<std::string> args;
  if (command == "get" || command == "set") {
    if (rest.empty()) {
      throw UsageError("\"" + command + "\" needs a method name.");
    }
    info = &ResolveMethod(rest[0], command == "set");
    args.assign(rest.begin() + 1, rest.end());
  } else if (command == "route-send") {
    ExpectCount(rest, 4, "route-send TYPE INDEX SEND BUS");
    info = &Info(Method::SetSendBus);
    args = rest;
  } else if (command == "route-effect") {
    ExpectCount(rest, 2, "route-effect BUS EFFECT");
    info = &Info(Method::SetAuxEffect);
    args = rest;
  } else if (command == "route-output") {
    ExpectCount(rest, 3, "route-output BUS analog|digital PAIR");
    if (rest[1] != "analog" && rest[1] != "digital") {
      throw UsageError("the output kind is \"analog\" or \"digital\", not \"" + rest[1] + "\".");
    }
    info = &Info(Method::SetBusOutput);
    args = {rest[0], rest[1] == "digital" ? "1" : "0", rest[2]};
  } else if (command == "route-on" || command == "route-off") {
    ExpectCount(rest, 1, command + " BUS");
    info = &Info(Method::SetBusRouted);
    args = {rest[0], command == "route-on" ? "1" : "0"};
  } else if (command != "dump" && command != "targets") {
    throw UsageError("unknown command \"" + command + "\".");
  } else if (!rest.empty()) {
    throw UsageError("\"" + command + "\" takes no arguments.");
  }

  MixerClient client;
  if (info != nullptr) {
    return RunCall(client, *info, args);
  }
  return command == "dump" ? RunDump(client) : RunTargets(client);
}

} // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    std::cerr << "vantrel-mixerctl: " << error.what() << '\n';
    std::cerr << "Run \"vantrel-mixerctl help\" for the commands.\n";
    return kExitUsage;
  } catch (const sdbus::Error& error) {
    if (error.getName() == kInvalidArgumentError) {
      std::cerr << "vantrel-mixerctl: the mixer refused the call: " << error.getMessage() << '\n';
    } else {
      std::cerr << "vantrel-mixerctl: cannot reach the mixer server " << kBusName << ": "
                << error.getMessage() << " (" << error.getName() << ")\n";
    }
    return kExitFailed;
  }
}
