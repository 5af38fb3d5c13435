#include "midi/controller_queue.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>

namespace vantrel {
namespace {

bool WakePending(const CControllerQueue& queue) {
  pollfd fd{queue.WakeFd(), POLLIN, 0};
  return poll(&fd, 1, 0) == 1;
}

TEST(ControllerQueue, ChangesComeOutInOrderAcrossManyWrapsOfTheRing) {
  CControllerQueue queue;
  int next = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 3000; ++i) {
      ASSERT_TRUE(queue.Push({static_cast<uint8_t>((round * 3000 + i) & 0x7F),
                              static_cast<uint8_t>(((round * 3000 + i) >> 7) & 0x7F)}));
    }
    for (ControllerChange change; queue.Pop(change); ++next) {
      ASSERT_EQ(change.controller, next & 0x7F);
      ASSERT_EQ(change.value, (next >> 7) & 0x7F);
    }
  }
  EXPECT_EQ(next, 15000);
  EXPECT_EQ(queue.DroppedCount(), 0u);
}

TEST(ControllerQueue, AFullQueueDropsTheNewChangeCountsItAndKeepsTheOld) {
  CControllerQueue queue;
  for (std::size_t i = 0; i < CControllerQueue::kCapacity; ++i) {
    ASSERT_TRUE(queue.Push({1, 1}));
  }
  EXPECT_FALSE(queue.Push({2, 2}));
  EXPECT_FALSE(queue.Push({3, 3}));
  EXPECT_EQ(queue.DroppedCount(), 2u);
  std::size_t count = 0;
  for (ControllerChange change; queue.Pop(change); ++count) {
    ASSERT_EQ(change.controller, 1);
  }
  EXPECT_EQ(count, CControllerQueue::kCapacity);
}

TEST(ControllerQueue, TheWakeUpIsReadableWhileChangesWaitAndClearedByAcknowledging) {
  CControllerQueue queue;
  EXPECT_FALSE(WakePending(queue));
  queue.Push({7, 9});
  queue.Push({8, 10});
  EXPECT_TRUE(WakePending(queue));
  queue.AcknowledgeWake();
  EXPECT_FALSE(WakePending(queue));
  ControllerChange change;
  ASSERT_TRUE(queue.Pop(change));
  EXPECT_EQ(change.controller, 7);
  EXPECT_EQ(change.value, 9);
  queue.AcknowledgeWake(); // nothing pending: must not block
}

TEST(ControllerQueue, AConsumerWokenByTheFdSeesEveryChangeOfAConcurrentProducer) {
  CControllerQueue queue;
  constexpr int kChanges = 100000;
  std::thread producer([&] {
    for (int i = 0; i < kChanges; ++i) {
      while (!queue.Push({static_cast<uint8_t>(i & 0x7F), static_cast<uint8_t>((i >> 7) & 0x7F)})) {
        std::this_thread::yield();
      }
    }
  });
  int next = 0;
  while (next < kChanges) {
    pollfd fd{queue.WakeFd(), POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 5000), 1) << "no wake-up after change " << next;
    queue.AcknowledgeWake();
    for (ControllerChange change; queue.Pop(change); ++next) {
      ASSERT_EQ(change.controller, next & 0x7F);
      ASSERT_EQ(change.value, (next >> 7) & 0x7F);
    }
  }
  producer.join();
}

} // namespace
} // namespace vantrel
