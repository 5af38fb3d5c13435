#include "mixer/setter_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

using mixer_dbus::Method;

std::vector<std::string> Drain(CSetterQueue& queue) {
  std::vector<std::string> out;
  for (; !queue.Empty(); queue.Pop()) {
    const QueuedSetter& s = queue.Front();
    std::string text(mixer_dbus::Info(s.method).name);
    for (std::size_t i = 0; i < s.count; ++i) {
      text += (i == 0 ? "(" : ", ") + std::to_string(s.args[i]);
    }
    out.push_back(text + ")");
  }
  return out;
}

TEST(SetterQueue, BelowItsBoundEverySetterStaysInOrder) {
  CSetterQueue queue(4);
  for (int32_t v : {1, 2, 3, 4}) {
    queue.Push(Method::SetBusLevel, {0, v});
  }
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"SetBusLevel(0, 1)", "SetBusLevel(0, 2)",
                                                     "SetBusLevel(0, 3)", "SetBusLevel(0, 4)"}));
}

// Past the bound only the newest setter of each target stays, in the order
// of those newest setters, so every target still ends on its last value.
TEST(SetterQueue, PastItsBoundEachTargetKeepsItsNewestSetterInOrder) {
  CSetterQueue queue(6);
  queue.Push(Method::SetBusLevel, {0, 1});
  queue.Push(Method::SetSendLevel, {0, 1, 0, 7});
  queue.Push(Method::SetSendLevel, {0, 1, 1, 8}); // another send: another target
  queue.Push(Method::SetRecordLevel, {5});
  queue.Push(Method::SetBusLevel, {1, 2}); // another bus: another target
  queue.Push(Method::SetBusLevel, {0, 3});
  queue.Push(Method::SetRecordLevel, {6});
  EXPECT_EQ(Drain(queue),
            (std::vector<std::string>{"SetSendLevel(0, 1, 0, 7)", "SetSendLevel(0, 1, 1, 8)",
                                      "SetBusLevel(1, 2)", "SetBusLevel(0, 3)",
                                      "SetRecordLevel(6)"}));
}

TEST(SetterQueue, AnEndlessStallOnOneTargetHoldsAtMostTheBound) {
  CSetterQueue queue(100);
  for (int32_t v = 0; v < 100000; ++v) {
    queue.Push(Method::SetSourceVolume, {2, 0, v});
    ASSERT_LE(queue.Size(), 100u);
  }
  queue.Push(Method::SetSourceVolume, {2, 0, 42});
  std::vector<std::string> drained = Drain(queue);
  EXPECT_EQ(drained.back(), "SetSourceVolume(2, 0, 42)");
}

} // namespace
} // namespace vantrel
