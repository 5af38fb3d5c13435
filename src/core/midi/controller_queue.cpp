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
  std::atomic<uint16_t>& slot =
      m_latest[(change.note ? kNoteSlots : 0) + (change.controller & 0x7F)];
  // A value kept from an earlier overflow is older than this one: clear it
  // before the ring makes this one visible, so the consumer, which takes
  // slots after the ring, can never apply the older value last.
  if (slot.load(std::memory_order_relaxed) != 0) {
    slot.store(0, std::memory_order_relaxed);
  }
  const bool stored = m_ring.Push(change);
  if (!stored) {
    m_dropped.fetch_add(1, std::memory_order_relaxed);
    slot.store(static_cast<uint16_t>(kSlotHolds | change.value), std::memory_order_relaxed);
    m_overflowed.store(true, std::memory_order_release);
  }
  Wake();
  return stored;
}

void CControllerQueue::Wake() noexcept {
  // Non-blocking: the counter cannot realistically overflow, and if it did the
  // consumer is already due to wake.
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

bool CControllerQueue::Pop(ControllerChange& change) noexcept {
  return m_ring.Pop(change);
}

bool CControllerQueue::PopLatest(ControllerChange& change) noexcept {
  if (m_scan == kSlots) {
    if (!m_overflowed.exchange(false, std::memory_order_acquire)) {
      return false;
    }
    m_scan = 0;
  }
  while (m_scan < kSlots) {
    const std::size_t index = m_scan++;
    const uint16_t held = m_latest[index].exchange(0, std::memory_order_acq_rel);
    if (held != 0) {
      change = {static_cast<uint8_t>(index % kNoteSlots), static_cast<uint8_t>(held & 0xFF), 0,
                index >= kNoteSlots};
      return true;
    }
  }
  return false;
}

void CControllerQueue::AcknowledgeWake() noexcept {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
}

} // namespace vantrel
