#include "mixer_service.h"

#include "mixer_state_file.h"
#include "posix/stop_signals.h"

#include <sdbus-c++/sdbus-c++.h>

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
      m_backendChoice(std::move(backend)) {
  m_object = sdbus::createObject(m_connection, kObjectPath);
  for (const MethodInfo& info : kMethods) {
    const Method method = info.id;
    m_object->registerMethod(
        kInterface, std::string(info.name), std::string(Signature(info.inputCount)),
        Names(info.inputs, info.inputCount), std::string(Signature(info.outputCount)),
        Names(info.outputs, info.outputCount),
        [this, method](sdbus::MethodCall call) { HandleCall(std::move(call), method); });
  }
  m_object->registerSignal(kInterface, kChangedSignal, "");
  m_object->registerMethod(kBackendInterface, kBackendMethod, "", {}, "ss", {"name", "status"},
                           [this](sdbus::MethodCall call) { HandleBackendCall(std::move(call)); });
  m_object->registerMethod(kBackendInterface, kTargetsMethod, "", {}, "a(sssa(ss))", {"targets"},
                           [this](sdbus::MethodCall call) { HandleTargetsCall(std::move(call)); });
  m_object->finishRegistration();
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
  bool changed = false;
  const InvokeResult result = Invoke(m_state, method, std::span(in.data(), info.inputCount),
                                     std::span(out.data(), info.outputCount), changed);
  if (changed) {
    m_dirty = true;
    m_unsignalled = true;
    const std::optional<int> strip = StripOfSetter(method, std::span(in.data(), info.inputCount));
    if (strip && m_backend) {
      m_backend->Apply(*strip);
    }
  }
  if (call.doesntExpectReply()) {
    return;
  }
  if (result == InvokeResult::InvalidArgument) {
    std::string text = std::string(info.name) + "(";
    for (std::size_t i = 0; i < info.inputCount; ++i) {
      text += (i == 0 ? "" : ", ") + std::to_string(in[i]);
    }
    text += "): an argument is out of range (" + ArgumentNames(info) + ")";
    call.createErrorReply(sdbus::Error(kInvalidArgumentError, text)).send();
    return;
  }
  auto reply = call.createReply();
  for (std::size_t i = 0; i < info.outputCount; ++i) {
    reply << out[i];
  }
  reply.send();
}

void MixerService::HandleBackendCall(sdbus::MethodCall call) {
  auto reply = call.createReply();
  reply << std::string(m_backend ? m_backend->Name() : "virtual")
        << (m_backend ? m_backend->Status() : std::string("starting"));
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

void MixerService::OnStripLevels(int strip, SideLevels levels) {
  if (StoreStripLevels(m_state, strip, levels)) {
    m_dirty = true;
    m_unsignalled = true;
  }
}

SideLevels MixerService::StripLevels(int strip) const {
  return LevelsOfStrip(m_state, strip);
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
  if (LoadStateFile(m_statePath, m_state, message) != LoadResult::Loaded) {
    std::cerr << "vantrel-mixerd: warning: " << message << '\n';
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
    for (;;) {
      int handled = 0;
      while (handled < kBatchLimit && m_connection.processPendingRequest()) {
        ++handled;
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
