#include "posix/stop_signals.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

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

namespace {

// The event loop reads [0]; the handler writes [1].
int g_caught[2] = {-1, -1};
// The deadline thread reads [0]; the handler writes [1]. Never closed: the
// deadline runs until the process ends.
int g_deadline[2] = {-1, -1};

// Signal context: only async-signal-safe calls.
extern "C" void OnStopSignal(int number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(number);
  [[maybe_unused]] ssize_t written = ::write(g_caught[1], &byte, 1);
  written = ::write(g_deadline[1], &byte, 1);
  errno = saved;
}

// Ends the catcher's countdown: signal numbers are never 0.
constexpr unsigned char kCancel = 0;

// The thread that made the catcher, which runs the stop.
std::atomic<pid_t> g_stopper{0};

} // namespace

// The second field of the thread's schedstat.
int64_t RunQueueWaitNanos(pid_t thread) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/task/%d/schedstat", static_cast<int>(thread));
  const CUniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  char text[96] = {};
  if (!fd.IsOpen() || ::read(fd.Get(), text, sizeof text - 1) <= 0) {
    return -1;
  }
  unsigned long long running = 0;
  unsigned long long waiting = 0;
  if (std::sscanf(text, "%llu %llu", &running, &waiting) != 2) {
    return -1;
  }
  return static_cast<int64_t>(waiting);
}

namespace {

// From a caught stop, gives the process kStopDeadline to end or to let go of
// its catcher (which sends kCancel); further stops meanwhile change nothing.
void WatchDeadline() {
  for (;;) {
    unsigned char byte = kCancel;
    while (byte == kCancel) {
      if (::read(g_deadline[0], &byte, 1) < 0 && errno != EINTR) {
        return;
      }
    }
    const auto start = std::chrono::steady_clock::now();
    const auto limit = start + kStopLimitWhenStarved;
    const pid_t stopper = g_stopper.load();
    auto end = start + kStopDeadline;
    int64_t waited = RunQueueWaitNanos(stopper);
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
      pollfd fd{g_deadline[0], POLLIN, 0};
      if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) == 0) {
        const int64_t nowWaited = RunQueueWaitNanos(stopper);
        if (waited >= 0 && nowWaited > waited && end < limit) {
          end = std::min(limit, end + std::chrono::nanoseconds(nowWaited - waited));
          waited = nowWaited;
          continue;
        }
        std::fprintf(stderr,
                     "vantrel: stopping took longer than %lld ms (the MIDI system or the bus "
                     "does not answer); ending now.\n",
                     static_cast<long long>(kStopDeadline.count()));
        std::fflush(stderr);
        ::_exit(kExitStopOverdue);
      }
      if ((fd.revents & POLLIN) != 0 && ::read(g_deadline[0], &byte, 1) == 1 && byte == kCancel) {
        break;
      }
    }
  }
}

bool StartDeadlineThread() {
  if (g_deadline[0] >= 0) {
    return true;
  }
  if (::pipe2(g_deadline, O_CLOEXEC) != 0) {
    return false;
  }
  ::fcntl(g_deadline[1], F_SETFL, O_NONBLOCK);
  // The thread takes no signal: one it left unblocked could reach it instead
  // of the thread that waits for it (SIGUSR1 on a descriptor) and end the
  // process.
  sigset_t all;
  sigset_t old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  bool started = true;
  try {
    std::thread(WatchDeadline).detach();
  } catch (const std::system_error&) {
    started = false;
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return started;
}

void SetStopHandlers(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kStopSignals) {
    ::sigaction(number, &action, nullptr);
  }
}

} // namespace

CStopSignalCatcher::CStopSignalCatcher() {
  if (g_caught[0] >= 0 || ::pipe2(g_caught, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  g_stopper.store(::gettid());
  if (!StartDeadlineThread()) {
    ::close(g_caught[0]);
    ::close(g_caught[1]);
    g_caught[0] = g_caught[1] = -1;
    return;
  }
  SetStopHandlers(OnStopSignal);
  m_catching = true;
}

CStopSignalCatcher::~CStopSignalCatcher() {
  if (!m_catching) {
    return;
  }
  SetStopHandlers(SIG_DFL);
  // The stop it caught, if any, has ended in order.
  [[maybe_unused]] const ssize_t written = ::write(g_deadline[1], &kCancel, 1);
  ::close(g_caught[0]);
  ::close(g_caught[1]);
  g_caught[0] = g_caught[1] = -1;
}

int CStopSignalCatcher::Fd() const {
  return m_catching ? g_caught[0] : -1;
}

int CStopSignalCatcher::TakeSignal() {
  unsigned char byte = 0;
  return m_catching && ::read(g_caught[0], &byte, 1) == 1 ? byte : 0;
}

} // namespace vantrel
