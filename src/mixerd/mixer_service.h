#pragma once
// vantrel-mixerd's D-Bus side: serves the virtual card on /org/vantrel/Mixer,
// answers bad arguments with the InvalidArgument error, signals changes and
// saves the state a short while after each change and at exit.

#include "mixer_model.h"

#include <chrono>
#include <memory>
#include <string>

namespace sdbus {
class IConnection;
class IObject;
class MethodCall;
} // namespace sdbus

namespace vantrel::mixerd {

// Exit codes of vantrel-mixerd.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNameTaken = 3;

class MixerService {
public:
  // `connection` must outlive the service. SIGTERM, SIGINT and SIGHUP must
  // already be blocked in every thread: Run() takes them through a signalfd.
  MixerService(sdbus::IConnection& connection, std::string statePath);
  ~MixerService();
  MixerService(const MixerService&) = delete;
  MixerService& operator=(const MixerService&) = delete;

  // Claims org.vantrel.Mixer without queueing; false when someone owns it.
  bool ClaimName(std::string& message);

  // Loads the saved state (defaults with a warning on standard error when
  // the file is missing or unreadable), then serves until a stop signal or
  // the loss of the bus. Saves pending changes before it returns an exit code.
  int Run();

private:
  void HandleCall(sdbus::MethodCall call, mixer_dbus::Method method);
  void SaveNow();

  sdbus::IConnection& m_connection;
  std::unique_ptr<sdbus::IObject> m_object;
  std::string m_statePath;
  MixerState m_state;
  bool m_dirty = false;       // changes not yet on disk
  bool m_unsignalled = false; // changes not yet announced by Changed
};

// Delay between a change and its save, so a fader sweep is written once.
inline constexpr std::chrono::milliseconds kSaveDelay{200};

} // namespace vantrel::mixerd
