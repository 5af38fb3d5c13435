#include "mixer_service.h"

#include "backend_factory.h"
#include "mixer/meter_levels.h"
#include "mixer_state_file.h"
#include "posix/stop_signals.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace vantrel::mixerd {

using namespace mixer_dbus;

namespace {

// Requests handled before the loop looks at signals and timers again, so a
// flood of calls cannot delay a stop or a save indefinitely.
constexpr int kBatchLimit = 64;

std::string ArgumentNames(const MethodInfo& info) {
  std::string names;
  for (std::size_t i = 0; i < info.inputCount; ++i) {
    names += (i == 0 ? "" : ", ") + std::string(info.inputs[i]);
  }
  return names;
}

// "SetRecordLevel(70000): an argument is out of range (level)".
std::string OutOfRangeText(const MethodInfo& info, std::span<const int32_t> args) {
  std::string text = std::string(info.name) + "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(args[i]);
  }
  return text + "): an argument is out of range (" + ArgumentNames(info) + ")";
}

// The first `count` of a key's arguments or of a value's results, as sent.
std::vector<int32_t> Leading(const auto& values, std::size_t count) {
  return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count)};
}

using SetterEntry = sdbus::Struct<std::string, std::vector<int32_t>>;

// Why SetMany must refuse `setters`, or "" when every entry would be
// accepted. Tried in order on a copy of `state`, so each entry is judged as
// the calls one by one would judge it.
std::string RefusalOf(const std::vector<SetterEntry>& setters, MixerState state) {
  for (std::size_t i = 0; i < setters.size(); ++i) {
    const std::string& name = setters[i].get<0>();
    const std::vector<int32_t>& args = setters[i].get<1>();
    const std::string entry =
        "SetMany entry " + std::to_string(i + 1) + " of " + std::to_string(setters.size()) + ": ";
    const MethodInfo* info = FindMethod(name);
    if (info == nullptr) {
      return entry + "\"" + name + "\" is not a method of " + kInterface + "; nothing was set.";
    }
    if (!info->IsSetter()) {
      return entry + name + " is a getter, not a setter; nothing was set.";
    }
    if (args.size() != info->inputCount) {
      return entry + name + " takes " + std::to_string(info->inputCount) + " argument" +
             (info->inputCount == 1 ? "" : "s") + " (" + ArgumentNames(*info) + "), not " +
             std::to_string(args.size()) + "; nothing was set.";
    }
    bool changed = false;
    if (Invoke(state, info->id, args, {}, changed) != InvokeResult::Ok) {
      return entry + OutOfRangeText(*info, args) + "; nothing was set.";
    }
  }
  return {};
}

std::vector<std::string> Names(const auto& names, std::size_t count) {
  return {names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count)};
}

int PollTimeoutMs(uint64_t absoluteUsec) {
  if (absoluteUsec == UINT64_MAX) {
    return -1;
  }
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t nowUsec =
      static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
  if (absoluteUsec <= nowUsec) {
    return 0;
  }
  return static_cast<int>((absoluteUsec - nowUsec + 999u) / 1000u);
}

void ArmTimer(int fd, std::chrono::milliseconds delay) {
  itimerspec timer{};
  timer.it_value.tv_sec = static_cast<time_t>(delay.count() / 1000);
  timer.it_value.tv_nsec = static_cast<long>((delay.count() % 1000) * 1000000);
  ::timerfd_settime(fd, 0, &timer, nullptr);
}

} // namespace

MixerService::MixerService(sdbus::IConnection& connection, std::string statePath,
                           BackendChoice backend)
    : m_connection(connection), m_statePath(std::move(statePath)), m_state(DefaultMixerState()),
      m_backendChoice(std::move(backend)), m_changes(m_state) {
  m_object = sdbus::createObject(m_connection, kObjectPath);
  for (const MethodInfo& info : kMethods) {
    const Method method = info.id;
    m_object->registerMethod(
        kInterface, std::string(info.name), std::string(Signature(info.inputCount)),
        Names(info.inputs, info.inputCount), std::string(Signature(info.outputCount)),
        Names(info.outputs, info.outputCount),
        [this, method](sdbus::MethodCall call) { HandleCall(std::move(call), method); });
  }
  m_object->registerMethod(kInterface, kGetStateMethod, "", {}, kStateSignature, {"values"},
                           [this](sdbus::MethodCall call) { HandleGetState(std::move(call)); });
  m_object->registerMethod(kInterface, kSetManyMethod, kSettersSignature, {"setters"}, "", {},
                           [this](sdbus::MethodCall call) { HandleSetMany(std::move(call)); });
  m_object->registerSignal(kInterface, kChangedSignal, "");
  m_object->registerSignal(kInterface, kValuesChangedSignal, kValuesChangedSignature, {"values"});
  m_object->registerMethod(kBackendInterface, kBackendMethod, "", {}, "ss", {"name", "status"},
                           [this](sdbus::MethodCall call) { HandleBackendCall(std::move(call)); });
  m_object->registerMethod(kBackendInterface, kTargetsMethod, "", {}, "a(sssa(ss))", {"targets"},
                           [this](sdbus::MethodCall call) { HandleTargetsCall(std::move(call)); });
  m_object->registerMethod(kInterface, kStartMetersMethod, "", {}, "s", {"why"},
                           [this](sdbus::MethodCall call) { HandleStartMeters(std::move(call)); });
  m_object->registerMethod(kInterface, kStopMetersMethod, "", {}, "", {},
                           [this](sdbus::MethodCall call) { HandleStopMeters(std::move(call)); });
  m_object->registerSignal(kInterface, kMeterLevelsSignal, kMeterLevelsSignature, {"levels"});
  m_object->finishRegistration();
  WatchMeterClients();
}

MixerService::~MixerService() = default;

bool MixerService::ClaimName(std::string& message) {
  try {
    m_connection.requestName(kBusName);
    return true;
  } catch (const sdbus::Error& error) {
    message = "another mixer server already owns " + std::string(kBusName) + " on this bus (" +
              error.getMessage() + ").";
    return false;
  }
}

void MixerService::HandleCall(sdbus::MethodCall call, Method method) {
  const MethodInfo& info = Info(method);
  std::array<int32_t, kMaxInputs> in{};
  std::array<int32_t, kMaxOutputs> out{};
  for (std::size_t i = 0; i < info.inputCount; ++i) {
    call >> in[i];
  }
  const std::span<const int32_t> args(in.data(), info.inputCount);
  InvokeResult result = InvokeResult::Ok;
  if (info.IsSetter()) {
    result = ApplySetter(method, args, call.getSender());
  } else {
    bool changed = false;
    result = Invoke(m_state, method, args, std::span(out.data(), info.outputCount), changed);
  }
  if (call.doesntExpectReply()) {
    return;
  }
  if (result == InvokeResult::InvalidArgument) {
    call.createErrorReply(sdbus::Error(kInvalidArgumentError, OutOfRangeText(info, args))).send();
    return;
  }
  auto reply = call.createReply();
  for (std::size_t i = 0; i < info.outputCount; ++i) {
    reply << out[i];
  }
  reply.send();
}

InvokeResult MixerService::ApplySetter(Method setter, std::span<const int32_t> args,
                                       const std::string& origin) {
  bool changed = false;
  const InvokeResult result = Invoke(m_state, setter, args, {}, changed);
  if (result != InvokeResult::Ok) {
    return result;
  }
  if (changed) {
    m_dirty = true;
    m_unsignalled = true;
    const std::optional<StripSetter> strip = StripOfSetter(setter, args);
    if (strip && !strip->mute && m_backend) {
      m_backend->Apply(strip->strip);
    } else if (strip && m_backend) {
      m_backend->ApplyMute(strip->strip);
    } else if (m_backend) {
      // Bus mutes belong to the aux side with the bus levels.
      m_backend->ApplyAux();
    }
  }
  m_changes.AddSetter(m_state, setter, args, origin);
  if (m_changes.Pending() >= kMaxValuesPerSignal) {
    EmitValuesChanged();
  }
  return result;
}

void MixerService::HandleGetState(sdbus::MethodCall call) {
  using StateEntry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;
  std::vector<StateEntry> values;
  values.reserve(kValueCount);
  for (std::size_t slot = 0; slot < kValueCount; ++slot) {
    const ValueKey key = KeyOfSlot(slot);
    const MethodInfo& info = Info(key.getter);
    values.emplace_back(std::string(info.name), Leading(key.args, info.inputCount),
                        Leading(ReadValue(m_state, key), info.outputCount));
  }
  auto reply = call.createReply();
  reply << values;
  reply.send();
}

void MixerService::HandleSetMany(sdbus::MethodCall call) {
  std::vector<SetterEntry> setters;
  call >> setters;
  const std::string refusal = RefusalOf(setters, m_state);
  if (refusal.empty()) {
    const std::string origin = call.getSender();
    for (const SetterEntry& setter : setters) {
      ApplySetter(FindMethod(setter.get<0>())->id, setter.get<1>(), origin);
    }
  }
  if (call.doesntExpectReply()) {
    return;
  }
  if (!refusal.empty()) {
    call.createErrorReply(sdbus::Error(kInvalidArgumentError, refusal)).send();
    return;
  }
  call.createReply().send();
}

void MixerService::EmitValuesChanged() {
  using Entry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>, std::string>;
  const std::vector<ValueChange> changes = m_changes.Take(m_state);
  for (std::size_t first = 0; first < changes.size(); first += kMaxValuesPerSignal) {
    const std::size_t end = std::min(changes.size(), first + kMaxValuesPerSignal);
    std::vector<Entry> entries;
    entries.reserve(end - first);
    for (std::size_t i = first; i < end; ++i) {
      const ValueChange& change = changes[i];
      const MethodInfo& info = Info(change.key.getter);
      entries.emplace_back(std::string(info.name), Leading(change.key.args, info.inputCount),
                           Leading(change.results, info.outputCount), change.origin);
    }
    auto signal = m_object->createSignal(kInterface, kValuesChangedSignal);
    signal << entries;
    m_object->emitSignal(signal);
  }
}

void MixerService::HandleBackendCall(sdbus::MethodCall call) {
  auto reply = call.createReply();
  std::string status = m_backend ? m_backend->Status() : std::string("starting");
  // Shown by vantrel-mixerctl targets and the program, where the user looks.
  if (!m_backendChoice.configProblems.empty()) {
    status += std::string("; ") + kMappingProblemsPhrase + ":";
    for (const std::string& problem : m_backendChoice.configProblems) {
      status += " " + problem;
    }
  }
  reply << std::string(m_backend ? m_backend->Name() : "virtual") << status;
  reply.send();
}

void MixerService::HandleTargetsCall(sdbus::MethodCall call) {
  using Property = sdbus::Struct<std::string, std::string>;
  using Target = sdbus::Struct<std::string, std::string, std::string, std::vector<Property>>;
  std::vector<Target> targets;
  for (const BackendTarget& target :
       m_backend ? m_backend->Targets() : std::vector<BackendTarget>{}) {
    std::vector<Property> properties;
    for (const auto& [name, value] : target.properties) {
      properties.emplace_back(name, value);
    }
    const std::string strip =
        target.strip >= 0 ? std::string(kStripNames[static_cast<std::size_t>(target.strip)]) : "";
    targets.emplace_back(std::string(TargetKindName(target.kind)), target.name, strip,
                         std::move(properties));
  }
  auto reply = call.createReply();
  reply << targets;
  reply.send();
}

// Subscribed before the name is claimed, so no client can ask for meters
// and leave unseen.
void MixerService::WatchMeterClients() {
  const std::string rule = "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop."
                           "DBus',member='NameOwnerChanged',arg2=''";
  try {
    m_clientWatch = m_connection.addMatch(rule, [this](sdbus::Message& message) {
      std::string name;
      try {
        message >> name;
      } catch (const sdbus::Error&) {
        return;
      }
      DropMeterClient(name);
    });
  } catch (const sdbus::Error& error) {
    std::cerr << "vantrel-mixerd: warning: cannot watch clients leave the bus ("
              << error.getMessage() << "); meters run until their clients say stop.\n";
  }
}

void MixerService::HandleStartMeters(sdbus::MethodCall call) {
  const std::string why = m_backend->MetersUnavailable();
  if (why.empty() && m_meterClients.insert(call.getSender()).second && m_meterClients.size() == 1) {
    m_backend->SetMetering(true);
  }
  if (!call.doesntExpectReply()) {
    auto reply = call.createReply();
    reply << why;
    reply.send();
  }
}

void MixerService::HandleStopMeters(sdbus::MethodCall call) {
  DropMeterClient(call.getSender());
  if (!call.doesntExpectReply()) {
    call.createReply().send();
  }
}

void MixerService::DropMeterClient(const std::string& client) {
  if (m_meterClients.erase(client) > 0 && m_meterClients.empty() && m_backend) {
    m_backend->SetMetering(false);
  }
}

void MixerService::OnMeters(const MeterFrame& frame) {
  if (m_meterClients.empty()) {
    return;
  }
  using Entry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;
  std::vector<Entry> entries;
  for (const MeterEntry& entry : MeterEntries(frame)) {
    const MethodInfo& info = Info(entry.key.getter);
    entries.emplace_back(std::string(info.name), Leading(entry.key.args, info.inputCount),
                         entry.levels);
  }
  auto signal = m_object->createSignal(kInterface, kMeterLevelsSignal);
  signal << entries;
  m_object->emitSignal(signal);
}

void MixerService::OnStripLevels(int strip, SideLevels levels) {
  if (StoreStripLevels(m_state, strip, levels)) {
    m_dirty = true;
    m_unsignalled = true;
  }
}

const MixerState& MixerService::State() const {
  return m_state;
}

SideLevels MixerService::StripLevels(int strip) const {
  return LevelsOfStrip(m_state, strip);
}

void MixerService::OnStripMute(int strip, bool muted) {
  if (StoreStripMute(m_state, strip, muted)) {
    m_dirty = true;
    m_unsignalled = true;
  }
}

void MixerService::OnAppNumbers(std::vector<std::string> apps) {
  m_state.apps = std::move(apps);
  m_dirty = true;
}

void MixerService::OnBusMute(int bus, bool muted) {
  bool& held = m_state.buses[static_cast<std::size_t>(bus)].muted;
  if (held != muted) {
    held = muted;
    m_dirty = true;
    m_unsignalled = true;
  }
}

void MixerService::SaveNow() {
  std::string message;
  if (SaveStateFile(m_statePath, m_state, message)) {
    m_dirty = false;
  } else {
    std::cerr << "vantrel-mixerd: cannot save the mixer state: " << message << '\n';
  }
}

int MixerService::Run() {
  std::string message;
  switch (LoadStateFile(m_statePath, m_state, message)) {
  case LoadResult::Loaded:
    break;
  case LoadResult::Missing:
    // A first run: nothing was saved yet, which is no fault.
    std::cerr << "vantrel-mixerd: " << message << '\n';
    break;
  case LoadResult::Invalid:
    std::cerr << "vantrel-mixerd: warning: " << message << '\n';
    break;
  }
  std::string why;
  m_backend = MakeBackend(m_backendChoice.name, m_backendChoice.config, *this, why);
  if (!m_backend) {
    std::cerr << "vantrel-mixerd: cannot start the " << m_backendChoice.name << " back end: " << why
              << ".\n";
    return kExitFailure;
  }
  std::cerr << "vantrel-mixerd: back end " << m_backend->Name() << " (" << why << ").\n";

  const CUniqueFd signals = StopSignalFd(true);
  const CUniqueFd saveTimer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
  if (signals.Get() < 0 || saveTimer.Get() < 0) {
    std::cerr << "vantrel-mixerd: cannot set up the event loop: " << std::strerror(errno) << '\n';
    return kExitFailure;
  }

  bool timerArmed = false;
  int exitCode = kExitOk;
  try {
    // What the loaded state and the back end's start changed since the
    // defaults, for a listener that came before the state was read.
    EmitValuesChanged();
    for (;;) {
      int handled = 0;
      while (handled < kBatchLimit && m_connection.processPendingRequest()) {
        ++handled;
      }
      // Values first: a client that reacts to Changed then finds its mirror current.
      if (m_unsignalled || m_changes.Pending() > 0) {
        EmitValuesChanged();
      }
      if (m_unsignalled) {
        m_unsignalled = false;
        m_object->emitSignal(m_object->createSignal(kInterface, kChangedSignal));
      }
      if (m_dirty && !timerArmed) {
        ArmTimer(saveTimer.Get(), kSaveDelay);
        timerArmed = true;
      }

      const auto pollData = m_connection.getEventLoopPollData();
      std::array<pollfd, 3> fds{{{pollData.fd, pollData.events, 0},
                                 {signals.Get(), POLLIN, 0},
                                 {saveTimer.Get(), POLLIN, 0}}};
      const int timeout = handled == kBatchLimit ? 0 : PollTimeoutMs(pollData.timeout_usec);
      if (m_backend->Poll(fds, timeout) < 0 && errno != EINTR) {
        throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
      }
      if ((fds[1].revents & POLLIN) != 0) {
        break;
      }
      if ((fds[2].revents & POLLIN) != 0) {
        uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t n =
            ::read(saveTimer.Get(), &expirations, sizeof expirations);
        timerArmed = false;
        if (m_dirty) {
          SaveNow();
        }
      }
    }
  } catch (const std::exception& error) {
    // Most often the bus went away; nothing can reach us any more.
    std::cerr << "vantrel-mixerd: stopping: " << error.what() << '\n';
    exitCode = kExitFailure;
  }
  if (m_dirty) {
    SaveNow();
  }
  return m_dirty ? kExitFailure : exitCode;
}

} // namespace vantrel::mixerd
