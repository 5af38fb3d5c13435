// A JACK peer plays a Mackie Control surface into the real program, which
// drives the real vantrel-mixerd: faders, touch, buttons and what the
// surface is sent back (motor faders, LEDs, displays).
#include "e2e_fixture.h"
#include "surface_peer.h"

#include "mixer/mixer_server.h"
#include "mixer/mute_targets.h"

#include <csignal>
#include <thread>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

Message Bend(uint8_t strip, int value) {
  return {static_cast<uint8_t>(0xE0 | strip), static_cast<uint8_t>(value & 0x7F),
          static_cast<uint8_t>(value >> 7)};
}

Message Note(uint8_t note, bool on) {
  return {0x90, note, static_cast<uint8_t>(on ? 0x7F : 0x00)};
}

class SurfaceTest : public EndToEndTest {
protected:
  void StartSurface() {
    m_watch = std::make_unique<SurfaceWatch>(*m_peer);
    WriteProfile({});
    StartBridge({"--surface", "mackie"});
    // The surface is set up once the first strip's name reaches it.
    ASSERT_TRUE(m_watch->WaitForText(0, "Analog1"));
  }

  bool WaitForBytes(const Message& bytes) { return m_watch->WaitForBytes(bytes); }

  void SetOutside(const std::vector<std::string>& setter) {
    std::vector<std::string> args = {MixerctlProgram(), "set"};
    args.insert(args.end(), setter.begin(), setter.end());
    const CommandResult result = RunCommand(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  std::unique_ptr<SurfaceWatch> m_watch;
};

TEST_P(SurfaceTest, FaderSetsTheMixerAndOutsideChangesMoveTheMotorUnlessTouched) {
  StartSurface();
  const std::size_t a1 = RowOfKey("A1VolCC");
  const std::size_t a2 = RowOfKey("A2VolCC");
  const std::size_t aux1 = RowOfKey("Aux1CC");
  // Gain and level rows take the 14 bits through their own scales.
  Play({Bend(0, 12345)});
  EXPECT_EQ(WaitForValue(a1, MixerValueFromFineController(kCatalogue[a1], 12345)),
            MixerValueFromFineController(kCatalogue[a1], 12345));
  Play({Note(47, true), Note(47, false), Bend(6, 4000)}); // bank right: strip 6 is Aux 1
  EXPECT_EQ(WaitForValue(aux1, 16000), 16000);
  Play({Note(46, true), Note(46, false)});

  SetOutside({"SetSourceVolume", "0", "0", "30000"});
  const int expected = FineControllerValueFromReading(kCatalogue[a1], 30000);
  EXPECT_TRUE(WaitForBytes(Bend(0, expected))) << "no motor move for a change made elsewhere";

  // A finger on the fader: the fader's own move proves the touch arrived.
  Play({Note(104, true), Bend(0, 8000)});
  WaitForValue(a1, MixerValueFromFineController(kCatalogue[a1], 8000));
  const std::size_t from = m_watch->Seen();
  SetOutside({"SetSourceVolume", "0", "0", "20000"});
  SetOutside({"SetSourceVolume", "0", "1", "20000"});
  // Strip 1's motor moves; strip 0's, touched, does not.
  ASSERT_TRUE(WaitForBytes(Bend(1, FineControllerValueFromReading(kCatalogue[a2], 20000))));
  const std::vector<PeerMessage> got = m_peer->WaitForReceived(0, 0ms);
  for (std::size_t i = from; i < m_watch->Seen(); ++i) {
    EXPECT_NE(got[i].bytes[0], 0xE0)
        << "a motor move while touched: " << ::testing::PrintToString(got[i]);
  }
  // The finger leaves: the motor goes to the mixer's value.
  Play({Note(104, false)});
  EXPECT_TRUE(WaitForBytes(Bend(0, FineControllerValueFromReading(kCatalogue[a1], 20000))));
}

TEST_P(SurfaceTest, BankMovesTheStripsAndRewritesTheDisplays) {
  StartSurface();
  SetOutside({"SetSourceVolume", "4", "0", "65535"}); // User 1 at full scale
  Play({Note(47, true), Note(47, false)});
  // Strip 0 now shows User 1: name, level and fader.
  EXPECT_TRUE(m_watch->WaitForText(0, "User 1 "));
  EXPECT_TRUE(m_watch->WaitForText(56, "0.0dB  "));
  Play({Note(49, true), Note(49, false)}); // one channel right: strip 0 is User 2
  EXPECT_TRUE(m_watch->WaitForText(0, "User 2 "));
  // The last bank ends on Aux 4 at strip 7; further moves stay there.
  Play({Note(47, true), Note(47, false), Note(47, true), Note(47, false)});
  EXPECT_TRUE(m_watch->WaitForText(49, "Aux 4  "));
}

// V-Pots step the pan, or with Send pressed the Aux 1 send (again: Aux 2),
// each from its own value, and the rings show what they move.
TEST_P(SurfaceTest, VPotsStepThePanOrASendAndTheRingsShowIt) {
  StartSurface();
  struct Case {
    std::vector<Message> before; // assignment buttons
    std::string key;             // the row the first V-Pot moves
    int ticks;                   // enough to move the ring to another position
    uint8_t mode;                // the ring's mode bits: a dot for a pan, a bar for a send
  };
  const Case cases[] = {
      {{}, "A1PanCC", 20, 0x00},
      {{Note(41, true), Note(41, false)}, "A1Aux1CC", 9, 0x20},
      {{Note(41, true), Note(41, false)}, "A1Aux2CC", 30, 0x20},
      {{Note(42, true), Note(42, false)}, "A1PanCC", -30, 0x00},
  };
  for (const Case& c : cases) {
    const Parameter& p = kCatalogue[RowOfKey(c.key)];
    const int32_t before = Read(RowOfKey(c.key));
    const int v = std::clamp(ControllerValueFromReading(p, before) + c.ticks, 0, 127);
    const int32_t expected = MixerValueFromController(p, v);
    std::vector<Message> play = c.before;
    play.push_back({0xB0, 16, static_cast<uint8_t>(c.ticks < 0 ? 0x40 - c.ticks : c.ticks)});
    Play(play);
    EXPECT_EQ(WaitForValue(RowOfKey(c.key), expected), expected) << c.key;
    const int position = 1 + expected * 10 / 65535;
    EXPECT_TRUE(WaitForBytes({0xB0, 48, static_cast<uint8_t>(c.mode | position)})) << c.key;
  }
}

TEST_P(SurfaceTest, MuteButtonMutesTheStripAndLightsItsLed) {
  StartSurface();
  Play({Note(16 + 2, true), Note(16 + 2, false)}); // Mute on strip 2: Analog 3
  const MuteTarget& analog3 = kMutes[8];
  ASSERT_EQ(analog3.strip, "Analog 3");
  auto muted = [&] {
    m_link->ProcessEvents();
    int32_t value = 0;
    ReadMute(*m_link->Server(), analog3, value);
    return value;
  };
  EXPECT_TRUE(PumpLinkUntil(
      *m_link, [&] { return muted() == 1; }, 10s));
  EXPECT_TRUE(WaitForBytes(Note(18, true)));
  // Unmuted elsewhere: the LED goes out.
  SetOutside({"SetSourceMute", "0", "2", "0"});
  EXPECT_TRUE(WaitForBytes(Note(18, false)));
  // The virtual back end measures nothing, and the program says why once.
  EXPECT_TRUE(m_bridge->WaitForOutput("Surface: No level meters: "));
}

bool WaitForErrors(const BridgeProcess& bridge, const std::string& text) {
  const auto end = std::chrono::steady_clock::now() + 15s;
  while (bridge.Errors().find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

const std::vector<uint8_t> kChallenge = {0x12, 0x34, 0x56, 0x78};
// The host's reply to kChallenge from an Extender, worked out by hand from
// the documented algorithm.
const Message kExtenderReply = {0xF0, 0x00, 0x00, 0x66, 0x15, 0x02, 'A',  'B',  '1',
                                '2',  '3',  '4',  '5',  0x58, 0x0F, 0x16, 0x4E, 0xF7};
constexpr const char* kSilent = "The control surface does not answer";
constexpr const char* kSilentInReport = "; the surface did not answer";

TEST_P(SurfaceTest, ASurfaceThatAnswersTheDeviceQueryGetsTheReplyAndIsReportedAnswering) {
  m_watch = std::make_unique<SurfaceWatch>(*m_peer);
  WriteProfile({});
  StartBridge({"--surface", "mackie"});
  ASSERT_TRUE(m_watch->WaitForDeviceQuery());
  EXPECT_EQ(m_watch->SendConnectionQuery(0x15, kChallenge), kExtenderReply);
  m_watch->Confirm(0x15);
  EXPECT_TRUE(
      m_bridge->WaitForOutput("Surface: answers (Mackie Control Extender, serial AB12345)."));
  // Driven as before.
  const std::size_t a1 = RowOfKey("A1VolCC");
  Play({Bend(0, 12345)});
  const int32_t expected = MixerValueFromFineController(kCatalogue[a1], 12345);
  EXPECT_EQ(WaitForValue(a1, expected), expected);
  ASSERT_EQ(StopBridge(), 0);
  EXPECT_EQ(m_bridge->Output().find(kSilentInReport), std::string::npos) << m_bridge->Output();
}

// A surface switched on only later sends its connection query on its own:
// the notice that it did not answer goes away.
TEST_P(SurfaceTest, ASilentSurfaceIsSaidSoOnceAndAnAnswerLaterClearsIt) {
  StartSurface();
  ASSERT_TRUE(WaitForErrors(*m_bridge, kSilent)) << m_bridge->Errors();
  if (!Windowed()) {
    kill(m_bridge->Pid(), SIGUSR1);
    EXPECT_TRUE(m_bridge->WaitForOutput(kSilentInReport));
  }
  // Still driven.
  SetOutside({"SetSourceVolume", "0", "0", "30000"});
  EXPECT_TRUE(WaitForBytes(
      Bend(0, FineControllerValueFromReading(kCatalogue[RowOfKey("A1VolCC")], 30000))));
  EXPECT_EQ(m_watch->SendConnectionQuery(0x15, kChallenge), kExtenderReply);
  EXPECT_TRUE(
      m_bridge->WaitForOutput("Surface: answers (Mackie Control Extender, serial AB12345)."));
  ASSERT_EQ(StopBridge(), 0);
  const std::string errors = m_bridge->Errors();
  EXPECT_EQ(errors.find(kSilent), errors.rfind(kSilent)) << "said more than once: " << errors;
  const std::string output = m_bridge->Output();
  EXPECT_NE(output.find("Controller changes applied"), std::string::npos) << output;
  EXPECT_EQ(output.find(kSilentInReport, output.find("Surface: answers")), std::string::npos)
      << output;
}

// Garbage on the surface's port: too long, broken, or well formed but no
// answer. The program counts what it drops, answers none of it, and goes on.
TEST_P(SurfaceTest, GarbageSystemExclusiveFromTheSurfaceIsDroppedWithoutHarm) {
  StartSurface();
  Message tooLong(100, 0x55);
  tooLong.front() = 0xF0;
  tooLong.back() = 0xF7;
  Play({tooLong,
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x01, 0xB0, 0xF7}, // a status byte inside
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x01},             // no end
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x01, 'A', 0xF7},  // a connection query cut short
        {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}});           // an identity request
  ASSERT_TRUE(WaitForErrors(*m_bridge, kSilent)) << "garbage taken for an answer";
  const std::size_t a1 = RowOfKey("A1VolCC");
  Play({Bend(0, 9000)});
  const int32_t expected = MixerValueFromFineController(kCatalogue[a1], 9000);
  EXPECT_EQ(WaitForValue(a1, expected), expected);
  ASSERT_EQ(StopBridge(), 0);
  EXPECT_NE(m_bridge->Output().find("; surface system exclusive dropped: 3"), std::string::npos)
      << m_bridge->Output();
  for (const PeerMessage& m : m_peer->WaitForReceived(0, 0ms)) {
    EXPECT_FALSE(m.bytes.size() > 5 && m.bytes[0] == 0xF0 && m.bytes[5] == 0x02)
        << "a reply to garbage: " << ::testing::PrintToString(m);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, SurfaceTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "Window" : "Headless";
                         });

} // namespace
} // namespace vantrel::test
