// The loop watch: which arriving messages count as the output's own coming
// back, and that a controller repeating one message fast is never taken
// for a loop while a loop of thru alone still is.

#include "midi/controller_queue.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "midi/recent_sends.h"
#include "support/fake_midi_devices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vantrel {
namespace {

using Match = CRecentSends::Match;

struct RecentCase {
  const char* what;
  CRecentSends::Kind kind; // what was noted
  int64_t arrivesAt;       // microseconds after it was noted
  uint8_t data2;           // the value that arrives (the note is value 0x40)
  Match expected;
};

TEST(RecentSends, EachSendComesBackOnceWithinItsOwnWindowAndNeverBeforeItWasSent) {
  using Kind = CRecentSends::Kind;
  const RecentCase cases[] = {
      {"own send at once", Kind::Own, 0, 0x40, Match::Sent},
      {"own send late on a busy machine", Kind::Own, 150'000, 0x40, Match::Sent},
      {"own send at the end of its window", Kind::Own, CRecentSends::kOwnWindowMicros, 0x40,
       Match::Sent},
      {"own send past its window", Kind::Own, CRecentSends::kOwnWindowMicros + 1, 0x40,
       Match::None},
      {"echo copy at the end of its window", Kind::Echo, CRecentSends::kWindowMicros, 0x40,
       Match::Sent},
      {"echo copy past its window", Kind::Echo, CRecentSends::kWindowMicros + 1, 0x40,
       Match::None},
      {"fresh thru copy at once", Kind::FreshThru, 0, 0x40, Match::FreshThru},
      {"fresh thru copy at the end of its window", Kind::FreshThru,
       CRecentSends::kFreshThruWindowMicros, 0x40, Match::FreshThru},
      {"fresh thru copy past its window", Kind::FreshThru,
       CRecentSends::kFreshThruWindowMicros + 1, 0x40, Match::None},
      {"before it was sent", Kind::Own, -1, 0x40, Match::None},
      {"another value", Kind::Own, 10, 0x41, Match::None},
  };
  constexpr int64_t kNoted = 1'000'000;
  for (const RecentCase& c : cases) {
    CRecentSends recent;
    recent.Note({0, 0xB0, 0x07, 0x40}, kNoted, c.kind);
    EXPECT_EQ(recent.Take({0, 0xB0, 0x07, c.data2}, kNoted + c.arrivesAt), c.expected) << c.what;
    if (c.expected != Match::None) {
      EXPECT_EQ(recent.Take({0, 0xB0, 0x07, c.data2}, kNoted + c.arrivesAt), Match::None)
          << c.what << ", taken a second time";
    }
  }
}

class LoopWatch : public ::testing::Test {
protected:
  void SetUp() override {
    m_devices->inputs = {"controller"};
    m_devices->outputs = {"synth"};
    m_input.SetThruPort(&m_output);
    m_input.SetControllerQueue(&m_queue);
    ASSERT_EQ(m_output.Open(0), 0);
    ASSERT_EQ(m_input.Open(0), 0);
    ASSERT_EQ(m_input.Start(), 0);
  }

  // As the MIDI system's thread would deliver it.
  void Deliver(const CMidiMessage& message) { m_devices->receiver->Receive(message); }

  std::size_t Queued() {
    std::size_t count = 0;
    for (ControllerChange change; m_queue.Pop(change);) {
      ++count;
    }
    return count;
  }

  std::shared_ptr<test::FakeMidiDevices> m_devices = std::make_shared<test::FakeMidiDevices>();
  std::mutex m_receiveLock;
  CControllerQueue m_queue;
  CMidiOutPort m_output{test::MakeFakeOutBackend(m_devices)};
  CBridgeMidiIn m_input{m_receiveLock, test::MakeFakeInBackend(m_devices)};
};

// Two steps arriving together look like a copy coming back; the steps after
// them, 10 ms apart (an encoder at 100 steps a second), must not inherit
// that and grow into a loop.
TEST_F(LoopWatch, AnEncoderWhoseStepsOnceArriveTogetherIsNoLoop) {
  constexpr CMidiMessage kStep{0, 0xB0, 0x10, 0x01};
  constexpr std::size_t kSteps = 2 * CBridgeMidiIn::kLoopRun;
  Deliver(kStep);
  Deliver(kStep);
  for (std::size_t i = 2; i < kSteps; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Deliver(kStep);
  }
  EXPECT_FALSE(m_input.LoopFound());
  EXPECT_EQ(m_input.LoopEchoesDropped(), 0u);
  EXPECT_EQ(m_input.ThruDroppedCount(), 0u);
  EXPECT_EQ(Queued(), kSteps);
}

// A loop of thru alone: each copy comes straight back, as through ALSA's
// Midi Through, and is copied again.
TEST_F(LoopWatch, AMessageCirculatingThroughThruAloneIsFoundAndThenDropped) {
  constexpr CMidiMessage kPlayed{0, 0xB0, 0x07, 0x40};
  std::size_t delivered = 0;
  while (!m_input.LoopFound() && delivered < 10 * CBridgeMidiIn::kLoopRun) {
    Deliver(kPlayed);
    ++delivered;
  }
  EXPECT_TRUE(m_input.LoopFound());
  EXPECT_GE(delivered, CBridgeMidiIn::kLoopRun + 1);
  Deliver(kPlayed);
  EXPECT_GE(m_input.LoopEchoesDropped(), 1u);
}

} // namespace
} // namespace vantrel
