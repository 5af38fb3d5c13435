#include "midi/message_queue.h"

#include <gtest/gtest.h>

#include <poll.h>

namespace vantrel {
namespace {

CExclusiveMessage Exclusive(uint8_t id) {
  CExclusiveMessage message;
  message.bytes[0] = kExclusiveStart;
  message.bytes[1] = id;
  message.bytes[2] = kExclusiveEnd;
  message.size = 3;
  return message;
}

// The surface's answers wait in their own slots beside the short messages,
// in order; what finds them full, and what was refused on the way in, is
// counted, and every push wakes the reader.
TEST(MessageQueue, SystemExclusiveKeepsItsOrderAndCountsWhatFindsNoRoom) {
  CMessageQueue queue;
  std::size_t room = 0;
  for (CExclusiveMessage next = Exclusive(0); queue.PushExclusive(&next);
       next = Exclusive(static_cast<uint8_t>(++room))) {
  }
  EXPECT_EQ(room, 32u);
  EXPECT_FALSE(queue.PushExclusive(nullptr));
  EXPECT_EQ(queue.ExclusiveDroppedCount(), 2u);
  EXPECT_EQ(queue.DroppedCount(), 0u) << "short messages have their own count";
  pollfd fd{queue.WakeFd(), POLLIN, 0};
  EXPECT_EQ(poll(&fd, 1, 0), 1);
  ASSERT_TRUE(queue.Push({0, 0xE1, 0x05, 0x06}));
  CMidiMessage bend;
  ASSERT_TRUE(queue.Pop(bend));
  EXPECT_EQ(bend.status, 0xE1);
  for (std::size_t i = 0; i < room; ++i) {
    CExclusiveMessage message;
    ASSERT_TRUE(queue.PopExclusive(message));
    ASSERT_EQ(message.size, 3);
    EXPECT_EQ(message.bytes[1], i);
  }
  CExclusiveMessage none;
  EXPECT_FALSE(queue.PopExclusive(none));
}

} // namespace
} // namespace vantrel
