#include "mixer/mixer_link.h"

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/dbus_mixer_server.h"
#include "posix/process.h"

#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

#include <cstring>
#include <thread>

extern char** environ;

namespace vantrel {

namespace {

constexpr char kServerName[] = "vantrel-mixerd";
constexpr char kDbusName[] = "org.freedesktop.DBus";
constexpr char kDbusPath[] = "/org/freedesktop/DBus";
constexpr auto kLookupInterval = std::chrono::seconds(1);
constexpr auto kNamePollInterval = std::chrono::milliseconds(20);

// sdbus-c++ 1.2 leaks its half-made bus when a connection to an explicit
// address fails, so try the address with plain sd-bus first.
bool CanConnectTo(const std::string& address) {
  sd_bus* bus = nullptr;
  bool ok = sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, address.c_str()) >= 0 &&
            sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0;
  sd_bus_flush_close_unref(bus);
  return ok;
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
  if (!m_options.busAddress.empty() && !CanConnectTo(m_options.busAddress)) {
    m_lastError = "Cannot connect to the bus at " + m_options.busAddress + ".";
    return kMixerFailed;
  }
  try {
    m_connection = m_options.busAddress.empty()
                       ? sdbus::createSessionBusConnection()
                       : sdbus::createSessionBusConnectionWithAddress(m_options.busAddress);
    return kMixerOk;
  } catch (const sdbus::Error& error) {
    m_lastError = "Cannot connect to the session bus: " + error.getMessage();
    return kMixerFailed;
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
        (m_options.startServer && StartServerProcess() && WaitForName(m_options.startTimeout))) {
      BuildServer();
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

bool CMixerLink::IsPresent() const {
  return m_server != nullptr;
}

void CMixerLink::Release() {
  m_server.reset();
  m_created = false;
}

void CMixerLink::Shutdown() {
  Release();
  m_connection.reset();
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

bool CMixerLink::StartServerProcess() {
  std::string program = m_options.serverProgram;
  if (program.empty()) {
    program = FindProgram(kServerName);
  }
  if (program.empty()) {
    // No program to run: let the bus start the server from its service file.
    try {
      auto bus = sdbus::createProxy(*m_connection, kDbusName, kDbusPath);
      uint32_t result = 0;
      bus->callMethod("StartServiceByName")
          .onInterface(kDbusName)
          .withTimeout(m_options.startTimeout)
          .withArguments(std::string(mixer_dbus::kBusName), uint32_t{0})
          .storeResultsTo(result);
      return true;
    } catch (const sdbus::Error& error) {
      m_lastError = "The bus cannot start the mixer server: " + error.getMessage();
      return false;
    }
  }
  std::vector<std::string> args{program};
  args.insert(args.end(), m_options.serverArguments.begin(), m_options.serverArguments.end());
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (m_options.busAddress.empty() ||
        std::strncmp(*entry, "DBUS_SESSION_BUS_ADDRESS=", 25) != 0) {
      env.emplace_back(*entry);
    }
  }
  if (!m_options.busAddress.empty()) {
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + m_options.busAddress);
  }
  if (!SpawnDetached(args, env)) {
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
    m_server = std::make_unique<DbusMixerServer>(*m_connection, m_options.callTimeout);
    m_lastError.clear();
  } catch (const sdbus::Error& error) {
    m_lastError = "Cannot reach the mixer server: " + error.getMessage();
    m_server.reset();
  }
}

} // namespace vantrel
