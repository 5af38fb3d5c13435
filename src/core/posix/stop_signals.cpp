#include "posix/stop_signals.h"

#include <sys/signalfd.h>

namespace vantrel {

namespace {
sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kStopSignals) {
    sigaddset(&set, number);
  }
  return set;
}
} // namespace

bool BlockStopSignals() {
  const sigset_t set = StopSignalSet();
  return sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
}

CUniqueFd StopSignalFd(bool nonBlocking) {
  const sigset_t set = StopSignalSet();
  return CUniqueFd(signalfd(-1, &set, SFD_CLOEXEC | (nonBlocking ? SFD_NONBLOCK : 0)));
}

CUniqueFd BlockedSignalFd(int signal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
    return CUniqueFd();
  }
  return CUniqueFd(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

} // namespace vantrel
