#pragma once
// The process-wide objects of one run, built in this order: the MIDI input
// port, the MIDI output port, the mixer link and the receive side's
// controller queue; then the settings store and the session over them.
// Destroyed in reverse, after the session has shut down, so the input is
// stopped and closed before anything it uses goes away.

#include "app/bridge_session.h"
#include "app/command_line.h"

#include <memory>

namespace vantrel {

class CSettings;

class CBridgeRuntime {
public:
  // Chooses the MIDI system and opens the profile (the default path when the
  // command line names none). Nothing is started yet.
  explicit CBridgeRuntime(const CommandLine& options);
  ~CBridgeRuntime();
  CBridgeRuntime(const CBridgeRuntime&) = delete;
  CBridgeRuntime& operator=(const CBridgeRuntime&) = delete;

  CBridgeSession& Session();
  CSettings& Settings();
  // Readable while controller changes wait; watch it and call
  // Session().DrainControllers().
  int ControllerWakeFd() const;

private:
  struct Objects;
  std::unique_ptr<Objects> m_objects;
};

} // namespace vantrel
