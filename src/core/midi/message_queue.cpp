#include "midi/message_queue.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace vantrel {

namespace {
constexpr bool IsPitchBend(uint8_t status) {
  return (status & 0xF0) == 0xE0;
}
} // namespace

CMessageQueue::CMessageQueue() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (m_wakeFd < 0) {
    throw std::system_error(errno, std::generic_category(),
                            "Cannot create the wake-up of the surface's message queue");
  }
}

CMessageQueue::~CMessageQueue() {
  close(m_wakeFd);
}

bool CMessageQueue::Push(const CMidiMessage& message) noexcept {
  const bool bend = IsPitchBend(message.status);
  std::atomic<uint32_t>* slot = bend ? &m_bends[message.status & 0x0F] : nullptr;
  // A bend kept from an earlier overflow is older than this one.
  if (slot != nullptr && slot->load(std::memory_order_relaxed) != 0) {
    slot->store(0, std::memory_order_relaxed);
  }
  const bool stored = m_ring.Push(message);
  if (!stored) {
    m_dropped.fetch_add(1, std::memory_order_relaxed);
    if (slot != nullptr) {
      slot->store(kSlotHolds | static_cast<uint32_t>(message.data2 << 8) | message.data1,
                  std::memory_order_relaxed);
      m_overflowed.store(true, std::memory_order_release);
    }
  }
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
  return stored;
}

bool CMessageQueue::Pop(CMidiMessage& message) noexcept {
  if (m_ring.Pop(message)) {
    return true;
  }
  if (m_scan == m_bends.size()) {
    if (!m_overflowed.exchange(false, std::memory_order_acquire)) {
      return false;
    }
    m_scan = 0;
  }
  while (m_scan < m_bends.size()) {
    const std::size_t channel = m_scan++;
    const uint32_t held = m_bends[channel].exchange(0, std::memory_order_acq_rel);
    if (held != 0) {
      message = {0, static_cast<uint8_t>(0xE0 | channel), static_cast<uint8_t>(held & 0x7F),
                 static_cast<uint8_t>((held >> 8) & 0x7F)};
      return true;
    }
  }
  return false;
}

void CMessageQueue::AcknowledgeWake() noexcept {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
}

} // namespace vantrel
