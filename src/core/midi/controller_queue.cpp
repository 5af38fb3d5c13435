#include "midi/controller_queue.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace vantrel {

CControllerQueue::CControllerQueue() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (m_wakeFd < 0) {
    throw std::system_error(errno, std::generic_category(),
                            "Cannot create the wake-up of the controller queue");
  }
}

CControllerQueue::~CControllerQueue() {
  close(m_wakeFd);
}

bool CControllerQueue::Push(ControllerChange change) noexcept {
  const bool stored = m_ring.Push(change);
  if (!stored) {
    m_dropped.fetch_add(1, std::memory_order_relaxed);
  }
  // Non-blocking: the counter cannot realistically overflow, and if it did the
  // consumer is already due to wake.
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
  return stored;
}

bool CControllerQueue::Pop(ControllerChange& change) noexcept {
  return m_ring.Pop(change);
}

void CControllerQueue::AcknowledgeWake() noexcept {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
}

} // namespace vantrel
