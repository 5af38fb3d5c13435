#include "app/signal_watch.h"

#include "posix/stop_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel::ui {

namespace {

// [0] is written by the handler, [1] read on the event loop. One watch per
// process.
int g_pair[2] = {-1, -1};

// Runs in signal context: only async-signal-safe calls.
extern "C" void OnSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
  errno = saved;
}

} // namespace

CSignalWatch::CSignalWatch(QObject* parent) : QObject(parent) {
  if (g_pair[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) {
    std::fprintf(stderr, "vantrel: cannot watch for termination signals: %s\n",
                 std::strerror(errno));
    return;
  }
  ::fcntl(g_pair[0], F_SETFL, O_NONBLOCK);
  ::fcntl(g_pair[1], F_SETFL, O_NONBLOCK);
  m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    while (::read(g_pair[1], &byte, 1) == 1) {
      emit Raised(byte);
    }
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kStopSignals) {
    ::sigaction(number, &action, nullptr);
  }
}

CSignalWatch::~CSignalWatch() {
  if (m_notifier == nullptr) {
    return;
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int number : kStopSignals) {
    ::sigaction(number, &action, nullptr);
  }
  ::close(g_pair[0]);
  ::close(g_pair[1]);
  g_pair[0] = g_pair[1] = -1;
}

} // namespace vantrel::ui
