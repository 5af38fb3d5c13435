#include "mixer/mixer_link.h"

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/dbus_mixer_server.h"
#include "mixer/mixer_values.h"
#include "posix/process.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <cstdlib>
#include <poll.h>
#include <thread>
#include <utility>

extern char** environ;

namespace vantrel {

namespace {

constexpr char kServerName[] = "vantrel-mixerd";
constexpr char kDbusName[] = "org.freedesktop.DBus";
constexpr char kDbusPath[] = "/org/freedesktop/DBus";
constexpr auto kLookupInterval = std::chrono::seconds(1);
// How long Create() waits for a server it started to take the name.
constexpr auto kStartTimeout = std::chrono::milliseconds(2000);
constexpr auto kNamePollInterval = std::chrono::milliseconds(20);
// A server that dies is started again at most this often.
constexpr auto kRestartInterval = std::chrono::seconds(1);
// Incoming messages handled per ProcessEvents(), so a flood of signals
// cannot hold the event loop; the rest is handled on the next turn.
constexpr int kEventBatch = 256;
// How long Create() waits for the server's state, so a first page shows
// real values; a slower server's answer arrives later on its own.
constexpr auto kFirstStateBudget = std::chrono::milliseconds(250);
// A bus that went away, and a state that was not answered, are tried again
// this often.
constexpr auto kRetryInterval = std::chrono::seconds(1);

// How long the start-up line waits for the back end's status: a slow
// server costs the window this much once, not its answer time.
constexpr auto kStatusTimeout = std::chrono::milliseconds(250);

using ChangeEntry =
    sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>, std::string>;

// Names the address that failed when the environment gives one, since that
// is what a user can check; else what sd-bus said.
std::string BusFailure(const sdbus::Error& error) {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') {
    return std::string("Cannot connect to the bus at ") + address + ".";
  }
  return "Cannot connect to the session bus: " + error.getMessage();
}

// Whether a retry that is `wanted` is due; when it is, the next one falls
// `interval` later.
bool RetryDue(bool wanted, std::chrono::steady_clock::time_point& next,
              std::chrono::steady_clock::duration interval) {
  const auto now = std::chrono::steady_clock::now();
  if (!wanted || now < next) {
    return false;
  }
  next = now + interval;
  return true;
}

} // namespace

CMixerLink::CMixerLink() : CMixerLink(MixerLinkOptions{}) {}

CMixerLink::CMixerLink(MixerLinkOptions options) : m_options(std::move(options)) {}

CMixerLink::~CMixerLink() {
  Shutdown();
}

int CMixerLink::Startup() {
  if (m_connection) {
    return kMixerOk;
  }
  try {
    m_connection = sdbus::createSessionBusConnection();
    m_uniqueName = m_connection->getUniqueName();
  } catch (const sdbus::Error& error) {
    m_connection.reset();
    m_lastError = BusFailure(error);
    // Connect again later, as after losing the bus.
    m_busLost = true;
    m_nextReconnect = std::chrono::steady_clock::now() + kRetryInterval;
    return kMixerFailed;
  }
  Subscribe();
  return kMixerOk;
}

void CMixerLink::Subscribe() {
  const std::string changed = std::string("type='signal',path='") + mixer_dbus::kObjectPath +
                              "',interface='" + mixer_dbus::kInterface + "',member='" +
                              mixer_dbus::kValuesChangedSignal + "'";
  const std::string owner = std::string("type='signal',sender='") + kDbusName + "',interface='" +
                            kDbusName + "',member='NameOwnerChanged',arg0='" +
                            mixer_dbus::kBusName + "'";
  const std::string meters = std::string("type='signal',path='") + mixer_dbus::kObjectPath +
                             "',interface='" + mixer_dbus::kInterface + "',member='" +
                             mixer_dbus::kMeterLevelsSignal + "'";
  // Without the subscriptions the link still works; it only no longer
  // hears of changes made elsewhere or of a server that died.
  try {
    m_matches.push_back(m_connection->addMatch(
        changed, [this](sdbus::Message& message) { OnValuesChanged(message); }));
    m_matches.push_back(m_connection->addMatch(owner, [this](sdbus::Message& message) {
      std::string name;
      std::string oldOwner;
      std::string newOwner;
      try {
        message >> name >> oldOwner >> newOwner;
      } catch (const sdbus::Error&) {
        return;
      }
      OnOwnerChanged(!newOwner.empty());
    }));
    m_matches.push_back(m_connection->addMatch(
        meters, [this](sdbus::Message& message) { OnMeterLevels(message); }));
  } catch (const sdbus::Error&) {
  }
}

void CMixerLink::OnValuesChanged(sdbus::Message& message) {
  std::vector<ChangeEntry> entries;
  try {
    message >> entries;
  } catch (const sdbus::Error&) {
    return;
  }
  for (const ChangeEntry& entry : entries) {
    if (const auto value =
            mixer_dbus::ParseValueEntry(entry.get<0>(), entry.get<1>(), entry.get<2>())) {
      m_mirror.ApplyChange(value->slot, value->results, entry.get<3>() == m_uniqueName);
    }
  }
  if (m_mirror.HasChanges()) {
    Notify();
  }
}

void CMixerLink::OnMeterLevels(sdbus::Message& message) {
  // Another client's meters reach us too while it asks for them.
  if (m_meterViewers.none()) {
    return;
  }
  using Entry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;
  std::vector<Entry> entries;
  try {
    message >> entries;
  } catch (const sdbus::Error&) {
    return;
  }
  MeterUpdate update;
  for (const Entry& entry : entries) {
    if (const auto reading =
            mixer_dbus::ParseMeterEntry(entry.get<0>(), entry.get<1>(), entry.get<2>())) {
      update.push_back(*reading);
    }
  }
  m_latestMeters.Apply(update);
  ++m_meterUpdateCount;
  if (m_meterUpdates.size() >= kMeterQueueLimit) {
    m_meterUpdates.pop_front();
  }
  m_meterUpdates.push_back(std::move(update));
  Notify();
}

void CMixerLink::SetMetersWanted(MeterViewer viewer, bool wanted) {
  const bool before = m_meterViewers.any();
  m_meterViewers.set(static_cast<std::size_t>(viewer), wanted);
  if (!wanted) {
    m_meterNoticeFor.reset(static_cast<std::size_t>(viewer));
  }
  if (m_meterViewers.any() == before) {
    return;
  }
  if (!before) {
    RequestMeters();
    return;
  }
  m_meterUpdates.clear();
  m_latestMeters.Clear();
  ++m_meterUpdateCount;
  if (m_server) {
    m_server->StopMeters();
  }
}

void CMixerLink::RequestMeters() {
  if (m_meterViewers.none() || !m_server) {
    return;
  }
  m_server->StartMeters([this](std::string why) {
    // An answer that comes after the meters were turned off says nothing.
    if (m_meterViewers.any() && !why.empty()) {
      m_meterNotice = "No level meters: " + why + ".";
      m_meterNoticeFor = m_meterViewers;
      Notify();
    }
  });
}

bool CMixerLink::TakeMeterUpdate(MeterUpdate& update) {
  if (m_meterUpdates.empty()) {
    return false;
  }
  update = std::move(m_meterUpdates.front());
  m_meterUpdates.pop_front();
  return true;
}

std::string CMixerLink::TakeMeterNotice(MeterViewer viewer) {
  const auto bit = static_cast<std::size_t>(viewer);
  if (!m_meterNoticeFor.test(bit)) {
    return {};
  }
  m_meterNoticeFor.reset(bit);
  return m_meterNotice;
}

void CMixerLink::OnOwnerChanged(bool owned) {
  if (owned) {
    // A new server: what is shown came from the old one.
    m_restartWanted = false;
    if (m_server) {
      m_server->DropPendingSetters();
      m_server->RequestState();
    }
    RequestMeters();
  } else {
    if (m_server) {
      m_server->DropPendingSetters();
    }
    m_restartWanted = m_created && m_options.startServer;
  }
  Notify();
}

void CMixerLink::RestartServerIfDue() {
  if (!RetryDue(m_restartWanted, m_nextRestart, kRestartInterval)) {
    return;
  }
  // No waiting for the name: the owner change reports the new server.
  if (!NameHasOwner()) {
    StartServerProcess();
  }
}

MixerEventWatch CMixerLink::EventWatch() const {
  MixerEventWatch watch;
  const auto until = [&watch](std::chrono::steady_clock::time_point when) {
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
    const int ms = static_cast<int>(std::max<int64_t>(wait.count(), 0));
    watch.timeoutMs = watch.timeoutMs < 0 ? ms : std::min(watch.timeoutMs, ms);
  };
  if (!m_connection) {
    if (m_busLost) {
      until(m_nextReconnect);
    }
    return watch;
  }
  try {
    const auto poll = m_connection->getEventLoopPollData();
    watch.fd = poll.fd;
    watch.events = static_cast<short>(poll.events | POLLIN);
    watch.timeoutMs = poll.getPollTimeout();
  } catch (const sdbus::Error&) {
    // A broken connection: the next turn notices and lets it go.
    watch.timeoutMs = 0;
    return watch;
  }
  if (m_server && m_server->PendingSetters() > 0) {
    watch.events = static_cast<short>(watch.events | POLLOUT);
  }
  // A change heard inside some other call waits for its owner to take it.
  if (m_mirror.HasChanges()) {
    watch.timeoutMs = 0;
  }
  if (m_restartWanted) {
    until(m_nextRestart);
  }
  if (m_server && !m_server->IsStalled()) {
    return watch;
  }
  if (m_server) {
    until(m_nextStateRequest);
  }
  return watch;
}

void CMixerLink::ProcessEvents() {
  if (!m_connection) {
    ReconnectIfDue();
    return;
  }
  try {
    for (int i = 0; i < kEventBatch && m_connection->processPendingRequest(); ++i) {
    }
  } catch (const sdbus::Error&) {
    LoseBus();
    return;
  }
  if (m_server && !m_server->WritePendingSetters()) {
    LoseBus();
    return;
  }
  RequestStateIfDue();
  RestartServerIfDue();
}

void CMixerLink::RequestStateIfDue() {
  const auto now = std::chrono::steady_clock::now();
  if (!m_server || !m_server->IsStalled() || now < m_nextStateRequest) {
    return;
  }
  m_nextStateRequest = now + kRetryInterval;
  m_server->RequestState();
}

void CMixerLink::LoseBus() {
  m_server.reset();
  m_backendProxy.reset();
  m_mirror.ForgetServer();
  m_matches.clear();
  m_connection.reset();
  m_restartWanted = false;
  m_busLost = true;
  m_nextReconnect = std::chrono::steady_clock::now() + kRetryInterval;
  m_lastError = "The session bus went away: the mixer is unreachable.";
  m_notice = m_lastError + " The last values stay until the bus is back.";
  Notify();
}

void CMixerLink::ReconnectIfDue() {
  if (!RetryDue(m_busLost, m_nextReconnect, kRetryInterval)) {
    return;
  }
  if (Startup() != kMixerOk) {
    return;
  }
  m_busLost = false;
  if (m_created) {
    Create();
  }
  m_notice = m_server ? "The session bus is back: the mixer is reachable again."
                      : "The session bus is back, but " + m_lastError;
  Notify();
}

std::size_t CMixerLink::PendingSetters() const {
  return m_server ? m_server->PendingSetters() : 0;
}

std::chrono::steady_clock::time_point CMixerLink::LastSetterAt() const {
  return m_server ? m_server->LastSetterAt() : std::chrono::steady_clock::time_point{};
}

void CMixerLink::SetWatchListener(std::function<void()> listener) {
  m_listener = std::move(listener);
}

void CMixerLink::Notify() {
  if (m_listener) {
    m_listener();
  }
}

int CMixerLink::Create() {
  if (!m_connection) {
    return kMixerFailed;
  }
  m_created = true;
  if (!m_server) {
    m_lastError.clear();
    if (NameHasOwner() ||
        (m_options.startServer && StartServerProcess() && WaitForName(kStartTimeout))) {
      BuildServer();
      if (m_server) {
        m_server->AwaitState(kFirstStateBudget);
      }
    } else if (m_lastError.empty()) {
      m_lastError = std::string("No mixer server owns ") + mixer_dbus::kBusName + " on the bus.";
    }
  }
  m_nextLookup = std::chrono::steady_clock::now() + kLookupInterval;
  return m_server ? kMixerOk : kMixerFailed;
}

IMixerServer* CMixerLink::Server() {
  if (!m_server && m_created && m_connection && std::chrono::steady_clock::now() >= m_nextLookup) {
    m_nextLookup = std::chrono::steady_clock::now() + kLookupInterval;
    if (NameHasOwner()) {
      BuildServer();
    }
  }
  return m_server.get();
}

void CMixerLink::Release() {
  m_server.reset();
  m_created = false;
  m_restartWanted = false;
}

void CMixerLink::Shutdown() {
  Release();
  m_backendProxy.reset();
  m_matches.clear();
  m_connection.reset();
  m_busLost = false;
}

bool CMixerLink::NameHasOwner() {
  if (!m_connection) {
    return false;
  }
  try {
    auto bus = sdbus::createProxy(*m_connection, kDbusName, kDbusPath);
    bool owned = false;
    bus->callMethod("NameHasOwner")
        .onInterface(kDbusName)
        .withTimeout(m_options.callTimeout)
        .withArguments(std::string(mixer_dbus::kBusName))
        .storeResultsTo(owned);
    return owned;
  } catch (const sdbus::Error& error) {
    m_lastError = "Cannot ask the bus for the mixer server: " + error.getMessage();
    return false;
  }
}

std::string CMixerLink::BackendStatus() {
  if (!m_connection || !m_server) {
    return {};
  }
  try {
    auto proxy = sdbus::createProxy(*m_connection, mixer_dbus::kBusName, mixer_dbus::kObjectPath);
    std::string name;
    std::string status;
    proxy->callMethod(mixer_dbus::kBackendMethod)
        .onInterface(mixer_dbus::kBackendInterface)
        .withTimeout(kStatusTimeout)
        .storeResultsTo(name, status);
    return name + ": " + status;
  } catch (const sdbus::Error&) {
    return {};
  }
}

bool CMixerLink::RequestStripApplications(std::function<void(StripApplications)> answer) {
  if (!m_connection || !m_server) {
    return false;
  }
  using Property = sdbus::Struct<std::string, std::string>;
  using Target = sdbus::Struct<std::string, std::string, std::string, std::vector<Property>>;
  try {
    if (!m_backendProxy) {
      m_backendProxy =
          sdbus::createProxy(*m_connection, mixer_dbus::kBusName, mixer_dbus::kObjectPath);
    }
    m_backendProxy->callMethodAsync(mixer_dbus::kTargetsMethod)
        .onInterface(mixer_dbus::kBackendInterface)
        .withTimeout(kStatusTimeout)
        .uponReplyInvoke([answer = std::move(answer)](const sdbus::Error* error,
                                                      const std::vector<Target>& targets) {
          StripApplications found;
          for (const Target& target : error == nullptr ? targets : std::vector<Target>()) {
            const std::string& strip = target.get<2>();
            if (target.get<0>() != "stream" || strip.empty()) {
              continue;
            }
            for (const Property& property : target.get<3>()) {
              if (property.get<0>() == "application.name" && !property.get<1>().empty()) {
                found.emplace_back(strip, property.get<1>());
                break;
              }
            }
          }
          answer(std::move(found));
        });
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

bool CMixerLink::StartServerProcess() {
  const std::string program = FindProgram(kServerName);
  if (program.empty()) {
    // No program to run: let the bus start the server from its service file.
    try {
      auto bus = sdbus::createProxy(*m_connection, kDbusName, kDbusPath);
      uint32_t result = 0;
      bus->callMethod("StartServiceByName")
          .onInterface(kDbusName)
          .withTimeout(kStartTimeout)
          .withArguments(std::string(mixer_dbus::kBusName), uint32_t{0})
          .storeResultsTo(result);
      return true;
    } catch (const sdbus::Error& error) {
      m_lastError = "The bus cannot start the mixer server: " + error.getMessage();
      return false;
    }
  }
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    env.emplace_back(*entry);
  }
  if (!SpawnDetached({program}, env)) {
    m_lastError = "Cannot run " + program + ".";
    return false;
  }
  return true;
}

bool CMixerLink::WaitForName(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (NameHasOwner()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      if (m_lastError.empty()) {
        m_lastError = "The mixer server did not appear on the bus within " +
                      std::to_string(timeout.count()) + " ms.";
      }
      return false;
    }
    std::this_thread::sleep_for(kNamePollInterval);
  }
}

void CMixerLink::BuildServer() {
  try {
    m_server = std::make_unique<DbusMixerServer>(*m_connection, m_mirror);
    m_server->SetStateListener([this] { Notify(); });
    m_server->RequestState();
    m_nextStateRequest = std::chrono::steady_clock::now() + kRetryInterval;
    m_lastError.clear();
    RequestMeters();
  } catch (const sdbus::Error& error) {
    m_lastError = "Cannot reach the mixer server: " + error.getMessage();
    m_server.reset();
  }
}

} // namespace vantrel
