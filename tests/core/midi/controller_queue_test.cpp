#include "midi/controller_queue.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <poll.h>
#include <thread>
#include <vector>

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

// Fills the ring with controller 1 at 1.
void FillRing(CControllerQueue& queue) {
  for (std::size_t i = 0; i < CControllerQueue::kCapacity; ++i) {
    ASSERT_TRUE(queue.Push({1, 1}));
  }
}

TEST(ControllerQueue, AFullQueueDropsTheNewChangeCountsItAndKeepsTheOld) {
  CControllerQueue queue;
  ASSERT_NO_FATAL_FAILURE(FillRing(queue));
  EXPECT_FALSE(queue.Push({2, 2}));
  EXPECT_FALSE(queue.Push({3, 3}));
  EXPECT_EQ(queue.DroppedCount(), 2u);
  std::size_t count = 0;
  for (ControllerChange change; queue.Pop(change); ++count) {
    ASSERT_EQ(change.controller, 1);
  }
  EXPECT_EQ(count, CControllerQueue::kCapacity);
}

// Everything a consumer gets: the ring first, then the kept values.
std::vector<ControllerChange> DrainAll(CControllerQueue& queue) {
  std::vector<ControllerChange> got;
  ControllerChange change;
  while (queue.Pop(change) || queue.PopLatest(change)) {
    got.push_back(change);
  }
  return got;
}

TEST(ControllerQueue, TheLastChangeOfEachControllerThatFoundTheRingFullStillComesOutAfterIt) {
  CControllerQueue queue;
  ASSERT_NO_FATAL_FAILURE(FillRing(queue));
  EXPECT_FALSE(queue.Push({9, 5}));
  EXPECT_FALSE(queue.Push({2, 6}));
  EXPECT_FALSE(queue.Push({9, 7}));
  EXPECT_EQ(queue.DroppedCount(), 3u);
  const auto got = DrainAll(queue);
  ASSERT_EQ(got.size(), CControllerQueue::kCapacity + 2);
  EXPECT_EQ(got[got.size() - 2], (ControllerChange{2, 6}));
  EXPECT_EQ(got.back(), (ControllerChange{9, 7}));
  EXPECT_TRUE(DrainAll(queue).empty());
}

TEST(ControllerQueue, AKeptValueGivesWayToANewerChangeThatFitsTheRing) {
  CControllerQueue queue;
  ASSERT_NO_FATAL_FAILURE(FillRing(queue));
  EXPECT_FALSE(queue.Push({4, 50}));
  ControllerChange change;
  ASSERT_TRUE(queue.Pop(change));
  ASSERT_TRUE(queue.Push({4, 60}));
  const auto got = DrainAll(queue);
  ASSERT_EQ(got.size(), CControllerQueue::kCapacity);
  EXPECT_EQ(got.back(), (ControllerChange{4, 60})); // never the older 50 after it
}

TEST(ControllerQueue, WithoutOverflowNothingIsKeptAndNothingMerged) {
  CControllerQueue queue;
  for (uint8_t v = 0; v < 100; ++v) {
    ASSERT_TRUE(queue.Push({3, v}));
  }
  const auto got = DrainAll(queue);
  ASSERT_EQ(got.size(), 100u);
  for (uint8_t v = 0; v < 100; ++v) {
    EXPECT_EQ(got[v], (ControllerChange{3, v}));
  }
}

// A producer far faster than the consumer: whatever was dropped, the last
// change of every controller is the last one the consumer sees for it.
TEST(ControllerQueue, UnderAFloodTheConsumerEndsOnTheLastValueOfEveryController) {
  CControllerQueue queue;
  constexpr int kChanges = 300000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < kChanges; ++i) {
      queue.Push({static_cast<uint8_t>(i % 3), static_cast<uint8_t>(i % 101)});
    }
    done = true;
  });
  std::array<int, 3> last{-1, -1, -1};
  for (bool finished = false; !finished;) {
    finished = done.load();
    queue.AcknowledgeWake();
    for (const ControllerChange& change : DrainAll(queue)) {
      last[change.controller] = change.value;
      std::this_thread::sleep_for(std::chrono::microseconds(1));
    }
  }
  producer.join();
  for (const ControllerChange& change : DrainAll(queue)) {
    last[change.controller] = change.value;
  }
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(last[c], (kChanges - 3 + c) % 101) << "controller " << c;
  }
  EXPECT_GT(queue.DroppedCount(), 0u);
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
