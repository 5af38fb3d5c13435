#include "midi/message_queue.h"

namespace vantrel {

bool CMessageQueue::PushExclusive(const CExclusiveMessage* message) noexcept {
  const bool stored = message != nullptr && m_exclusive.Push(*message);
  if (!stored) {
    m_exclusiveDropped.fetch_add(1, std::memory_order_relaxed);
  }
  Wake();
  return stored;
}

} // namespace vantrel
