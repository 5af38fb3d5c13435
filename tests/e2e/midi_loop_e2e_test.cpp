// The program's MIDI output wired back to its input, with controller
// feedback on: the circulating messages are found as a loop and stop, the
// program says so once, and an outside change to the mixer stays.

#include "e2e_fixture.h"

#include "support/sound_server.h"

#include <jack/jack.h>

#include <utility>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

class MidiLoopTest : public EndToEndTest {};

TEST_P(MidiLoopTest, WithFeedbackALoopIsFoundStopsAndLeavesOutsideChangesAlone) {
  WriteProfile({{"Aux1CC", 20}, {"U3PanCC", 21}, {"A1VolCC", 7}});
  CSettings(m_profilePath).WriteInt(kFeedbackKey, 1);
  StartBridge();
  // The program connects its ports to the peer's once it runs; the window
  // may still be doing so when it reports itself started.
  std::vector<std::string> in;
  std::vector<std::string> out;
  ASSERT_TRUE(Eventually([&] {
    in = m_peer->ConnectionsOf(m_peer->OutputName(0));
    out = m_peer->ConnectionsOf(m_peer->InputName(0));
    return in.size() == 1 && out.size() == 1;
  })) << in.size()
      << " connections in, " << out.size() << " out";
  jack_client_t* wire =
      jack_client_open(("vt-wire-" + std::to_string(getpid())).c_str(), JackNoStartServer, nullptr);
  ASSERT_NE(wire, nullptr);
  ASSERT_EQ(jack_connect(wire, out[0].c_str(), in[0].c_str()), 0);
  ASSERT_TRUE(Eventually([&] { return m_peer->ConnectionsOf(out[0]).size() == 2; }));

  // An outside change goes out as feedback and comes back, round and round,
  // until the program sees the loop.
  const std::size_t aux1 = RowOfKey("Aux1CC");
  SetParameter(*m_link->Server(), kCatalogue[aux1], 40 * 516);
  ASSERT_TRUE(
      Eventually([&] { return m_bridge->Errors().find("MIDI loop") != std::string::npos; }, 20s))
      << m_bridge->Errors();
  // Quiet: the peer hears nothing more.
  std::size_t heard = 0;
  const auto fallsQuiet = [&] {
    return Eventually(
        [&] {
          const std::size_t now = m_peer->ReceivedAfterQuiet().size();
          return std::exchange(heard, now) == now;
        },
        10s);
  };
  ASSERT_TRUE(fallsQuiet());

  // A later outside change is sent and stays: nothing old comes round to
  // undo it.
  const std::size_t before = heard;
  SetParameter(*m_link->Server(), kCatalogue[aux1], 90 * 516);
  EXPECT_EQ(WaitForValue(aux1, 90 * 516), 90 * 516);
  ASSERT_TRUE(Eventually([&] { return m_peer->ReceivedAfterQuiet().size() > before; }));
  ASSERT_TRUE(fallsQuiet());
  EXPECT_EQ(Read(aux1), 90 * 516);

  EXPECT_EQ(StopBridge(), 0);
  const std::string errors = m_bridge->Errors();
  EXPECT_EQ(errors.find("MIDI loop"), errors.rfind("MIDI loop")) << errors;
  EXPECT_NE(m_bridge->Output().find("dropped as come back through a MIDI loop: "),
            std::string::npos)
      << m_bridge->Output();
  jack_client_close(wire);
}

INSTANTIATE_TEST_SUITE_P(Modes, MidiLoopTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "Window" : "Headless";
                         });

} // namespace
} // namespace vantrel::test
