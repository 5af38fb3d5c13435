#pragma once
// The signals that ask a Vantrel process to stop in order: SIGINT, SIGTERM
// and SIGHUP. The programs without a window read them from a descriptor in
// their event loop; the window catches them with a handler (Qt's threads
// may start before main can block anything).

#include "posix/unique_fd.h"

#include <array>
#include <csignal>

namespace vantrel {

inline constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// Blocks the stop signals in the calling thread, and so in every thread it
// starts afterwards. Call before any thread exists. False on failure.
bool BlockStopSignals();

// A descriptor that becomes readable when a blocked stop signal arrives
// (read a signalfd_siginfo from it); not open on failure.
CUniqueFd StopSignalFd(bool nonBlocking);

// Blocks one more signal the same way (call before any thread exists) and
// returns a descriptor that becomes readable when it arrives; not open on
// failure. For signals that ask for something other than a stop.
CUniqueFd BlockedSignalFd(int signal);

} // namespace vantrel
