// vantrel-mixerctl: reads and sets the mixer of vantrel-mixerd from the
// command line, for people and for tests.

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/meter_levels.h"
#include "mixer/mixer_values.h"
#include "pages/aux_labels.h"
#include "posix/stop_signals.h"
#include "text/integer_text.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <optional>
#include <poll.h>
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
         "  set-many METHOD ARG... [METHOD ARG...]...\n"
         "                                several setters in one call, applied in\n"
         "                                order; one refused refuses them all\n"
         "  watch [--count N] [--timeout SECONDS]\n"
         "                                print each change as it comes, with the bus\n"
         "                                name of the client that made it; ends on\n"
         "                                Ctrl+C, after N changes or after SECONDS\n"
         "  meters [--count N] [--timeout SECONDS]\n"
         "                                print the level meters (peak dBFS per side,\n"
         "                                -inf for silence), a line per update; ends\n"
         "                                on Ctrl+C, after N updates or after SECONDS\n"
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

// The server answered something this client cannot use.
class AnswerError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

bool IsInteger(const std::string& word) {
  return ParseInt32(word).has_value();
}

std::string SourceName(int32_t type, int32_t index) {
  const int32_t count = kSourcesPerType[static_cast<std::size_t>(type)];
  std::string name(kSourceTypeNames[static_cast<std::size_t>(type)]);
  return count > 1 ? name + " " + std::to_string(index + 1) : name;
}

// Every value of the mixer, by slot.
using MixerValues = std::array<ValueResults, kValueCount>;

const ValueResults& ValueOf(const MixerValues& values, Method getter,
                            std::initializer_list<int32_t> args) {
  return values[*ValueSlot(getter, std::span(args.begin(), args.size()))];
}

int32_t ParseInt(const std::string& text, std::string_view what) {
  const std::optional<int32_t> value = ParseInt32(text);
  if (!value) {
    throw UsageError("\"" + text + "\" is not a valid " + std::string(what) +
                     " (an integer is expected).");
  }
  return *value;
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

  // The whole state in one call. Every value must be in the answer once.
  MixerValues State() {
    auto call = m_proxy->createMethodCall(kInterface, kGetStateMethod);
    auto reply = m_proxy->callMethod(call, kCallTimeoutUsec);
    std::vector<sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>> entries;
    reply >> entries;
    MixerValues values{};
    std::vector<bool> seen(kValueCount, false);
    for (const auto& entry : entries) {
      const std::string& name = entry.get<0>();
      const std::vector<int32_t>& args = entry.get<1>();
      const std::vector<int32_t>& results = entry.get<2>();
      const MethodInfo* info = FindMethod(name);
      const std::optional<std::size_t> slot =
          info != nullptr ? ValueSlot(info->id, args) : std::nullopt;
      if (!slot || results.size() != info->outputCount) {
        throw AnswerError("the mixer's state names a value this client does not know (" + name +
                          " with " + std::to_string(args.size()) + " arguments and " +
                          std::to_string(results.size()) + " results).");
      }
      std::copy(results.begin(), results.end(), values[*slot].begin());
      seen[*slot] = true;
    }
    for (std::size_t slot = 0; slot < kValueCount; ++slot) {
      if (!seen[slot]) {
        throw AnswerError("the mixer's state lacks " +
                          std::string(Info(KeyOfSlot(slot).getter).name) + " of some arguments.");
      }
    }
    return values;
  }

  void SetMany(const std::vector<sdbus::Struct<std::string, std::vector<int32_t>>>& setters) {
    auto call = m_proxy->createMethodCall(kInterface, kSetManyMethod);
    call << setters;
    m_proxy->callMethod(call, kCallTimeoutUsec);
  }

  sdbus::IConnection& Connection() { return *m_connection; }
  sdbus::IProxy& Proxy() { return *m_proxy; }

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

// Checks the argument words of `info` and turns them into integers.
std::vector<int32_t> ParseArguments(const MethodInfo& info, const std::vector<std::string>& words) {
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
  return args;
}

int RunCall(MixerClient& client, const MethodInfo& info, const std::vector<int32_t>& args) {
  const std::vector<int32_t> results = client.Call(info, args);
  for (std::size_t i = 0; i < results.size(); ++i) {
    std::cout << (results.size() > 1 ? std::string(info.outputs[i]) + " " : "") << results[i]
              << '\n';
  }
  return kExitOk;
}

std::string OutputName(int32_t digital, int32_t pair, int32_t third) {
  std::string label;
  GetOutputPairLabel(digital, pair, third, label);
  return std::string(digital != 0 ? "digital" : "analog") + " pair " + std::to_string(pair) + " (" +
         label + ")";
}

std::string EffectName(int32_t effect) {
  return std::to_string(effect) + " (" +
         (IsValidEffect(effect) ? std::string(kEffectNames[static_cast<std::size_t>(effect)])
                                : "?") +
         ")";
}

std::string BusDestination(const MixerValues& values, int32_t bus) {
  if (ValueOf(values, Method::IsBusOnOutput, {bus})[0] != 0) {
    const ValueResults& out = ValueOf(values, Method::GetBusOutput, {bus});
    return "output " + OutputName(out[0], out[1], out[2]);
  }
  return "effect " + EffectName(ValueOf(values, Method::GetBusEffect, {bus})[0]);
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
  const MixerValues values = client.State();
  const auto value = [&values](Method getter, std::initializer_list<int32_t> args) {
    return ValueOf(values, getter, args)[0];
  };
  std::cout << "master left " << value(Method::GetMasterVolume, {0}) << " right "
            << value(Method::GetMasterVolume, {1}) << '\n';
  std::cout << "record " << value(Method::GetRecordLevel, {}) << '\n';
  for (int32_t type = 0; type < kSourceTypeCount; ++type) {
    for (int32_t index = 0; index < kSourcesPerType[static_cast<std::size_t>(type)]; ++index) {
      std::cout << "source " << type << ' ' << index << " " << std::left << std::setw(9)
                << SourceName(type, index) << std::right << " volume "
                << value(Method::GetSourceVolume, {type, index}) << " pan "
                << value(Method::GetSourcePan, {type, index});
      for (int32_t send = 0; send < kSendCount; ++send) {
        std::cout << " send" << send << " bus " << value(Method::GetSendBus, {type, index, send})
                  << " level " << value(Method::GetSendLevel, {type, index, send});
      }
      std::cout << '\n';
    }
  }
  std::cout << "mute master " << value(Method::GetMasterMute, {}) << " record "
            << value(Method::GetRecordMute, {}) << " aux";
  for (int32_t bus = 0; bus < kBusCount; ++bus) {
    std::cout << ' ' << value(Method::GetBusMute, {bus});
  }
  std::cout << " sources";
  for (int32_t type = 0; type < kSourceTypeCount; ++type) {
    for (int32_t index = 0; index < kSourcesPerType[static_cast<std::size_t>(type)]; ++index) {
      std::cout << ' ' << value(Method::GetSourceMute, {type, index});
    }
  }
  std::cout << '\n';
  for (int32_t bus = 0; bus < kBusCount; ++bus) {
    std::cout << "bus " << bus << " Aux " << bus + 1 << " level "
              << value(Method::GetBusLevel, {bus}) << " routed "
              << (value(Method::IsBusRouted, {bus}) != 0 ? "yes" : "no") << " to "
              << BusDestination(values, bus) << '\n';
  }
  return kExitOk;
}

using ChangeEntry =
    sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>, std::string>;

// A value for people: "SourceVolume Wave", "MasterVolume left", "BusLevel
// Aux 2". `args` must be valid for the getter.
std::string ValueLabel(const MethodInfo& info, const std::vector<int32_t>& args) {
  const std::string_view name = info.name;
  std::string label(name.starts_with("Get")  ? name.substr(3)
                    : name.starts_with("Is") ? name.substr(2)
                                             : name);
  switch (info.id) {
  case Method::GetMasterVolume:
    return label + (args[0] == 0 ? " left" : " right");
  case Method::GetSourceVolume:
  case Method::GetSourcePan:
  case Method::GetSourceMute:
    return label + ' ' + SourceName(args[0], args[1]);
  case Method::GetSendBus:
  case Method::GetSendLevel:
    return label + ' ' + SourceName(args[0], args[1]) + " send" + std::to_string(args[2]);
  case Method::GetRecordLevel:
  case Method::GetRecordMute:
  case Method::GetMasterMute:
    return label;
  default:
    return label + " Aux " + std::to_string(args[0] + 1);
  }
}

// One change as a line: "SourceVolume Wave = 30000 (from :1.42)". A value
// this client does not know is printed as it came.
std::string DescribeChange(const ChangeEntry& change) {
  const std::string& name = change.get<0>();
  const std::vector<int32_t>& args = change.get<1>();
  const std::vector<int32_t>& results = change.get<2>();
  const std::string& origin = change.get<3>();
  const MethodInfo* info = FindMethod(name);
  const std::optional<std::size_t> slot =
      info != nullptr ? ValueSlot(info->id, args) : std::nullopt;
  std::ostringstream line;
  if (!slot || results.size() != info->outputCount) {
    line << name << '(';
    for (std::size_t i = 0; i < args.size(); ++i) {
      line << (i == 0 ? "" : ", ") << args[i];
    }
    line << ") =";
    for (std::size_t i = 0; i < results.size(); ++i) {
      line << (i == 0 ? " " : ", ") << results[i];
    }
  } else {
    line << ValueLabel(*info, args) << " = ";
    if (info->id == Method::GetBusOutput) {
      line << OutputName(results[0], results[1], results[2]);
    } else if (info->id == Method::GetBusEffect) {
      line << EffectName(results[0]);
    } else {
      line << results[0];
    }
  }
  if (!origin.empty()) {
    line << " (from " << origin << ')';
  }
  return line.str();
}

struct WatchOptions {
  long count = 0;                       // 0: no limit
  std::chrono::milliseconds timeout{0}; // 0: no limit
};

WatchOptions ParseWatchOptions(const std::string& command, const std::vector<std::string>& words) {
  WatchOptions options;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const bool hasValue = i + 1 < words.size();
    if (words[i] == "--count" && hasValue) {
      options.count = ParseInt(words[++i], "count");
      if (options.count < 1) {
        throw UsageError("--count needs a number of 1 or more.");
      }
    } else if (words[i] == "--timeout" && hasValue) {
      const int32_t seconds = ParseInt(words[++i], "number of seconds");
      if (seconds < 1) {
        throw UsageError("--timeout needs a number of seconds of 1 or more.");
      }
      options.timeout = std::chrono::seconds(seconds);
    } else {
      throw UsageError("usage: vantrel-mixerctl " + command + " [--count N] [--timeout SECONDS]");
    }
  }
  return options;
}

// Handles the bus until a stop signal, `options.count` things printed
// (`printed` counts them) or the timeout; `what` names them in the message
// of a count not reached.
int Listen(MixerClient& client, const WatchOptions& options, const CUniqueFd& stop,
           const long& printed, std::string_view what) {
  const auto done = [&] { return options.count > 0 && printed >= options.count; };
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      options.timeout.count() > 0 ? Clock::now() + options.timeout : Clock::time_point::max();
  sdbus::IConnection& connection = client.Connection();
  for (;;) {
    while (!done() && connection.processPendingRequest()) {
    }
    if (done()) {
      return kExitOk;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      if (options.count == 0) {
        return kExitOk;
      }
      std::cerr << "vantrel-mixerctl: " << printed << " of " << options.count << ' ' << what
                << " came within " << options.timeout.count() / 1000 << " s.\n";
      return kExitFailed;
    }
    const auto pollData = connection.getEventLoopPollData();
    std::array<pollfd, 2> fds{{{pollData.fd, pollData.events, 0}, {stop.Get(), POLLIN, 0}}};
    int timeout = pollData.getPollTimeout();
    if (deadline != Clock::time_point::max()) {
      const int leftMs = static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX));
      timeout = timeout < 0 ? leftMs : std::min(timeout, leftMs);
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
      throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
    }
    if ((fds[1].revents & POLLIN) != 0) {
      return kExitOk;
    }
    if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
      throw AnswerError("the session bus went away.");
    }
  }
}

// Prints the lines `describe` makes of each `signal` (whose one argument is
// a list of Entry) until `options.count` lines are out; `printed` counts
// them and must outlive the subscription.
template <typename Entry, typename Describe>
void PrintSignals(MixerClient& client, const char* signal, const WatchOptions& options,
                  long& printed, Describe describe) {
  client.Proxy()
      .uponSignal(signal)
      .onInterface(kInterface)
      .call([&options, &printed, describe](const std::vector<Entry>& entries) {
        for (const std::string& line : describe(entries)) {
          if (options.count > 0 && printed >= options.count) {
            break;
          }
          std::cout << line << '\n';
          ++printed;
        }
        std::cout.flush();
      });
  client.Proxy().finishRegistration();
}

int RunWatch(MixerClient& client, const WatchOptions& options, const CUniqueFd& stop) {
  long printed = 0;
  PrintSignals<ChangeEntry>(client, kValuesChangedSignal, options, printed,
                            [](const std::vector<ChangeEntry>& changes) {
                              std::vector<std::string> lines;
                              for (const ChangeEntry& change : changes) {
                                lines.push_back(DescribeChange(change));
                              }
                              return lines;
                            });
  std::cerr << "vantrel-mixerctl: watching the mixer's changes (Ctrl+C ends).\n";
  return Listen(client, options, stop, printed, "changes");
}

using MeterEntry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;

// One update as a line: "MasterVolume left -6.02; SourceVolume Wave -6.02
// -6.03; BusLevel Aux 1 -inf -inf". Entries this client does not know are
// left out.
std::string DescribeMeters(const std::vector<MeterEntry>& entries) {
  std::ostringstream line;
  line << std::fixed << std::setprecision(2);
  for (const MeterEntry& entry : entries) {
    const std::optional<MeterReading> reading =
        ParseMeterEntry(entry.get<0>(), entry.get<1>(), entry.get<2>());
    if (!reading) {
      continue;
    }
    line << (line.tellp() > 0 ? "; " : "")
         << ValueLabel(*FindMethod(entry.get<0>()), entry.get<1>());
    for (std::size_t side = 0; side < reading->sideCount; ++side) {
      const int32_t level = reading->sides[side];
      line << ' ';
      if (level <= kMeterSilence) {
        line << "-inf";
      } else {
        line << level / 100.0;
      }
    }
  }
  return line.str();
}

int RunMeters(MixerClient& client, const WatchOptions& options, const CUniqueFd& stop) {
  long printed = 0;
  PrintSignals<MeterEntry>(client, kMeterLevelsSignal, options, printed,
                           [](const std::vector<MeterEntry>& entries) {
                             return std::vector<std::string>{DescribeMeters(entries)};
                           });
  auto call = client.Proxy().createMethodCall(kInterface, kStartMetersMethod);
  auto reply = client.Proxy().callMethod(call, kCallTimeoutUsec);
  std::string why;
  reply >> why;
  if (!why.empty()) {
    std::cerr << "vantrel-mixerctl: no meters: " << why << ".\n";
    return kExitFailed;
  }
  std::cerr << "vantrel-mixerctl: showing the level meters (Ctrl+C ends).\n";
  const int result = Listen(client, options, stop, printed, "updates");
  // Leaving the bus stops them too; saying so spares the server the wait.
  client.Proxy().callMethod(kStopMetersMethod).onInterface(kInterface).dontExpectReply();
  return result;
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
  std::vector<sdbus::Struct<std::string, std::vector<int32_t>>> setters;
  std::optional<WatchOptions> watch;
  bool meters = false;
  if (command == "get" || command == "set") {
    if (rest.empty()) {
      throw UsageError("\"" + command + "\" needs a method name.");
    }
    info = &ResolveMethod(rest[0], command == "set");
    args.assign(rest.begin() + 1, rest.end());
  } else if (command == "set-many") {
    // A word that is not an integer starts the next setter.
    for (auto at = rest.begin(); at != rest.end();) {
      const auto next = std::find_if_not(at + 1, rest.end(), IsInteger);
      const MethodInfo& setter = ResolveMethod(*at, true);
      setters.emplace_back(std::string(setter.name),
                           ParseArguments(setter, std::vector<std::string>(at + 1, next)));
      at = next;
    }
    if (setters.empty()) {
      throw UsageError("\"set-many\" needs at least one setter.");
    }
  } else if (command == "watch" || command == "meters") {
    watch = ParseWatchOptions(command, rest);
    meters = command == "meters";
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
  const std::vector<int32_t> callArgs =
      info != nullptr ? ParseArguments(*info, args) : std::vector<int32_t>{};

  // Stop signals end a watch through its poll; blocked before the bus
  // connection exists, as no thread may start with them open.
  CUniqueFd stop;
  if (watch) {
    BlockStopSignals();
    stop = StopSignalFd(true);
  }
  MixerClient client;
  if (info != nullptr) {
    return RunCall(client, *info, callArgs);
  }
  if (!setters.empty()) {
    client.SetMany(setters);
    return kExitOk;
  }
  if (meters) {
    return RunMeters(client, *watch, stop);
  }
  if (watch) {
    return RunWatch(client, *watch, stop);
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
  } catch (const std::runtime_error& error) {
    std::cerr << "vantrel-mixerctl: " << error.what() << '\n';
    return kExitFailed;
  }
}
