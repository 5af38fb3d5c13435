#pragma once
// The signals that ask a Vantrel process to stop in order: SIGINT, SIGTERM
// and SIGHUP. The programs without a window read them from a descriptor in
// their event loop; the window catches them with a handler (Qt's threads
// may start before main can block anything).

#include "posix/unique_fd.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <sys/types.h>

namespace vantrel {

inline constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// A stop has this long to end the process in order. Past it the process ends
// at once: a call that never returns (a JACK server that has wedged, a bus
// that hangs) must not keep a stop signal from working.
inline constexpr std::chrono::milliseconds kStopDeadline{900};
// Time the stopping thread spends ready to run but kept off every CPU by
// the machine's other work is not the stop's own: the deadline moves by it,
// but never past this long after the signal. A thread blocked in a call
// that does not return is not waiting for a CPU, so a wedged server still
// meets kStopDeadline.
inline constexpr std::chrono::milliseconds kStopLimitWhenStarved{3000};
// The exit status of a process that a stop ended past the deadline.
inline constexpr int kExitStopOverdue = 4;

// Catches the stop signals with a handler, for the programs that stop in
// order on their event loop (the window and the headless bridge). Each
// signal makes Fd() readable, and the first one starts the deadline: unless
// the catcher is destroyed first (the stop it asked for has run: the window
// has closed, the headless loop has shut down), a thread of its own ends the
// process kStopDeadline later, with a line on standard error and
// kExitStopOverdue, whatever the other threads are blocked in (see
// kStopLimitWhenStarved for the thread that made the catcher). One catcher
// at a time.
class CStopSignalCatcher {
public:
  CStopSignalCatcher();
  ~CStopSignalCatcher();
  CStopSignalCatcher(const CStopSignalCatcher&) = delete;
  CStopSignalCatcher& operator=(const CStopSignalCatcher&) = delete;

  // False when the handlers or the descriptors could not be set up.
  bool IsCatching() const { return m_catching; }
  // Readable while a caught signal waits to be taken; -1 when not catching.
  int Fd() const;
  // The next caught signal's number, or 0 when none waits.
  int TakeSignal();

private:
  bool m_catching = false;
};

// How long a thread of this process has waited, ready to run, for a CPU, in
// nanoseconds; -1 when the kernel does not say.
int64_t RunQueueWaitNanos(pid_t thread);

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
