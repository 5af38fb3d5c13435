#pragma once
// vantrel-mixerd's D-Bus side: serves the virtual card on /org/vantrel/Mixer,
// answers bad arguments with the InvalidArgument error, answers the whole
// state in one call and takes many setters in one, signals changes with
// their values (ValuesChanged) and without (Changed), sends level meters
// while any client asks for them, and saves the state a short while after
// each change and at exit.

#include "mixer_backend.h"
#include "mixer_model.h"
#include "value_changes.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <span>
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

// Which back end to start and what it binds.
struct BackendChoice {
  std::string name = "virtual"; // auto, virtual, pulse or alsa
  MixerConfig config;
  // The mapping file's faults, one sentence each, for Backend()'s status.
  std::vector<std::string> configProblems;
};

class MixerService final : private BackendListener {
public:
  // `connection` must outlive the service. SIGTERM, SIGINT and SIGHUP must
  // already be blocked in every thread: Run() takes them through a signalfd.
  MixerService(sdbus::IConnection& connection, std::string statePath, BackendChoice backend = {});
  ~MixerService();
  MixerService(const MixerService&) = delete;
  MixerService& operator=(const MixerService&) = delete;

  // Claims org.vantrel.Mixer without queueing; false when someone owns it.
  bool ClaimName(std::string& message);

  // Loads the saved state (defaults with a warning on standard error when
  // the file is missing or unreadable), starts the back end (saying on
  // standard error which and why), then serves until a stop signal or the
  // loss of the bus. Saves pending changes before it returns an exit code.
  int Run();

private:
  void HandleCall(sdbus::MethodCall call, mixer_dbus::Method method);
  void HandleGetState(sdbus::MethodCall call);
  void HandleSetMany(sdbus::MethodCall call);
  // Runs a valid setter on the model for `origin` and logs it.
  InvokeResult ApplySetter(mixer_dbus::Method setter, std::span<const int32_t> args,
                           const std::string& origin);
  // Sends what the log holds as ValuesChanged signals.
  void EmitValuesChanged();
  void HandleBackendCall(sdbus::MethodCall call);
  void HandleTargetsCall(sdbus::MethodCall call);
  // Meters run while the set of clients that asked for them is not empty;
  // a client that leaves the bus leaves the set.
  void HandleStartMeters(sdbus::MethodCall call);
  void HandleStopMeters(sdbus::MethodCall call);
  void WatchMeterClients();
  void DropMeterClient(const std::string& client);
  void SaveNow();

  void OnStripLevels(int strip, SideLevels levels) override;
  SideLevels StripLevels(int strip) const override;
  const MixerState& State() const override;
  void OnStripMute(int strip, bool muted) override;
  void OnAppNumbers(std::vector<std::string> apps) override;
  void OnMeters(const MeterFrame& frame) override;
  void OnBusMute(int bus, bool muted) override;

  sdbus::IConnection& m_connection;
  std::unique_ptr<sdbus::IObject> m_object;
  std::string m_statePath;
  MixerState m_state;
  BackendChoice m_backendChoice;
  std::unique_ptr<MixerBackend> m_backend;
  bool m_dirty = false;       // changes not yet on disk
  bool m_unsignalled = false; // changes not yet announced by Changed
  ValueChangeLog m_changes;
  std::set<std::string> m_meterClients; // unique bus names
  // The NameOwnerChanged subscription that tells of clients that left.
  std::unique_ptr<void, std::function<void(void*)>> m_clientWatch;
};

// Delay between a change and its save, so a fader sweep is written once.
inline constexpr std::chrono::milliseconds kSaveDelay{200};

} // namespace vantrel::mixerd
