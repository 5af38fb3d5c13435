#include "posix/wake_fd.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace vantrel {

CWakeFd::CWakeFd(const char* what) : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (m_fd < 0) {
    throw std::system_error(errno, std::generic_category(),
                            std::string("Cannot create the wake-up of ") + what);
  }
}

CWakeFd::~CWakeFd() {
  close(m_fd);
}

void CWakeFd::Signal() noexcept {
  // Non-blocking: the counter cannot realistically overflow, and if it did
  // the watcher is already due to wake.
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void CWakeFd::Acknowledge() noexcept {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(m_fd, &count, sizeof count);
}

} // namespace vantrel
