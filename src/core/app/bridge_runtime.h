#pragma once
// The process-wide objects of one run, built in this order: the MIDI input
// port, the MIDI output port, the receive lock and the controller queue, the
// mixer link; then the settings store, the watch on the device lists and the
// session over them. Destroyed in
// reverse; the input is stopped and closed before the lock and queue it uses
// go away.

#include "app/bridge_session.h"
#include "app/command_line.h"

#include <memory>

namespace vantrel {

class CSettings;

class CBridgeRuntime {
public:
  // Chooses the MIDI system and opens the profile (the default path when the
  // command line names none); --feedback and --soft-takeover turn those on
  // for the run. Nothing is started yet.
  explicit CBridgeRuntime(const CommandLine& options);
  ~CBridgeRuntime();
  CBridgeRuntime(const CBridgeRuntime&) = delete;
  CBridgeRuntime& operator=(const CBridgeRuntime&) = delete;

  CBridgeSession& Session();
  CSettings& Settings();
  // Readable while controller changes wait; watch it and call
  // Session().DrainControllers().
  int ControllerWakeFd() const;
  // The mixer service's "BACK END: STATUS", with any faults of its mapping
  // file; empty without a server.
  std::string MixerBackendStatus();

private:
  struct Objects;
  std::unique_ptr<Objects> m_objects;
};

} // namespace vantrel
