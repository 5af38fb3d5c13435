#pragma once
// The bridge without a window, for machines without a display: reads the
// profile (devices, output channel, controller numbers), opens the devices,
// passes MIDI through and applies incoming controllers to the mixer exactly
// as the window does, until SIGINT, SIGTERM or SIGHUP. It never writes the
// profile; the window owns it.

#include "app/command_line.h"

namespace vantrel {

// Runs until a stop signal; returns the process's exit code.
int RunHeadless(const CommandLine& options);

} // namespace vantrel
