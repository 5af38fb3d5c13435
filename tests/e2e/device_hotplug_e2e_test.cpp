// Devices found by name and followed while they come and go: a JACK peer
// closed and made again under its name stands for a controller unplugged
// and plugged in again.

#include "e2e_fixture.h"

#include "midi/midi_backend.h"
#include "mixer/scales.h"
#include "support/sound_server.h"

#include <algorithm>
#include <csignal>
#include <regex>
#include <thread>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

int IndexIn(const std::vector<std::string>& names, const std::string& name) {
  const auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

class DeviceHotplugTest : public EndToEndTest {};

TEST_P(DeviceHotplugTest, TheSavedNameOpensItsDeviceWhereTheSavedIndexNamesAnother) {
  JackPeer other("vt-other-" + std::to_string(getpid()));
  ASSERT_EQ(other.Error(), "");
  WriteProfile({{"A1VolCC", 7}});
  const int otherIndex = IndexIn(MidiInputNames(), other.OutputName(0));
  ASSERT_GE(otherIndex, 0);
  CSettings settings(m_profilePath);
  settings.WriteInt(kDefaultMidiInKey, otherIndex);
  settings.Write(kDefaultMidiInNameKey, m_peer->OutputName(0));
  StartBridge();
  EXPECT_NE(m_bridge->Output().find("(" + m_peer->OutputName(0) + ")"), std::string::npos)
      << m_bridge->Output();
  Play({{0xB0, 7, 50}});
  EXPECT_EQ(WaitForValue(RowOfKey("A1VolCC"), GainFromValue(50)), GainFromValue(50));
  EXPECT_EQ(StopBridge(), 0);
  if (Windowed()) {
    EXPECT_EQ(CSettings(m_profilePath).ReadInt(kDefaultMidiInKey, -2),
              IndexIn(MidiInputNames(), m_peer->OutputName(0)));
  }
}

TEST_P(DeviceHotplugTest, ASavedNameWithABlankAtEitherEndOpensThatDevice) {
  // The saved index names the fixture's peer; the saved name, the device
  // that must open, starts with a space.
  JackPeer spaced(" vt-spaced-" + std::to_string(getpid()));
  ASSERT_EQ(spaced.Error(), "");
  WriteProfile({{"A1VolCC", 7}});
  CSettings(m_profilePath).Write(kDefaultMidiInNameKey, spaced.OutputName(0));
  ASSERT_EQ(CSettings(m_profilePath).Read(kDefaultMidiInNameKey), spaced.OutputName(0));
  StartBridge();
  EXPECT_NE(m_bridge->Output().find("(" + spaced.OutputName(0) + ")"), std::string::npos)
      << m_bridge->Output();
  // The device's wire to the program runs a period or more after it was
  // made, later on a loaded machine; what the device plays before is lost.
  ASSERT_TRUE(Eventually([&] { return spaced.ConnectionsOf(spaced.OutputName(0)).size() == 1; }));
  ASSERT_TRUE(spaced.Send(0, {0xB0, 7, 60}));
  EXPECT_EQ(WaitForValue(RowOfKey("A1VolCC"), GainFromValue(60)), GainFromValue(60));
  EXPECT_EQ(StopBridge(), 0);
  EXPECT_EQ(CSettings(m_profilePath).Read(kDefaultMidiInNameKey), spaced.OutputName(0));
}

TEST_P(DeviceHotplugTest, APeerThatClosesDuringAStreamIsReopenedByNameAndTheBridgeGoesOn) {
  WriteProfile({{"A1VolCC", 7}});
  StartBridge();
  // A stream at one message per period; the peer goes away in its middle.
  constexpr int kStream = 400;
  m_peer->SetPacing(1);
  for (int i = 0; i < kStream; ++i) {
    ASSERT_TRUE(m_peer->Send(0, {0xB0, 7, static_cast<uint8_t>(i % 100)}));
  }
  m_peer->WaitForReceived(50, 10s);
  m_peer.reset();
  const std::string gone = "\" is gone";
  ASSERT_TRUE(m_bridge->WaitForOutput("MIDI input: device \"")) << m_bridge->Output();
  ASSERT_TRUE(m_bridge->WaitForOutput("MIDI output: device \"")) << m_bridge->Output();
  EXPECT_NE(m_bridge->Output().find(gone), std::string::npos);

  m_peer = std::make_unique<JackPeer>();
  ASSERT_EQ(m_peer->Error(), "");
  ASSERT_TRUE(m_bridge->WaitForOutput("MIDI input: reopened")) << m_bridge->Output();
  ASSERT_TRUE(m_bridge->WaitForOutput("MIDI output: reopened")) << m_bridge->Output();
  // Thru and dispatch resume; a message lost to a missed period is played again.
  for (int attempt = 0; attempt < 3 && Read(RowOfKey("A1VolCC")) != 65535; ++attempt) {
    Play({{0xB0, 7, 127}});
    WaitForValue(RowOfKey("A1VolCC"), 65535, 3s);
  }
  EXPECT_EQ(Read(RowOfKey("A1VolCC")), 65535);
  const auto back = m_peer->WaitForReceived(1, 5s);
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(back.back().bytes, (Message{0xB0, 7, 127}));
  if (!Windowed()) {
    // SIGUSR1 prints the counters and the bridge runs on.
    ASSERT_EQ(kill(m_bridge->Pid(), SIGUSR1), 0);
    EXPECT_TRUE(m_bridge->WaitForOutput("MIDI messages received: ")) << m_bridge->Output();
  }
  EXPECT_EQ(StopBridge(), 0);
  if (!Windowed()) {
    const std::string output = m_bridge->Output();
    EXPECT_LT(output.find("MIDI messages received: "), output.find("Stopping on signal"));
  }
  // Each device line once: gone once, back once.
  const std::string output = m_bridge->Output();
  for (const char* line : {"MIDI input: reopened", "MIDI output: reopened"}) {
    EXPECT_EQ(output.find(line), output.rfind(line)) << output;
  }
  // Whatever reached the bridge was applied or counted as dropped; nothing
  // more than was sent.
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(
      output, counts, std::regex("Controller changes applied: ([0-9]+), dropped: ([0-9]+)")))
      << output;
  const long applied = std::stol(counts[1]);
  const long dropped = std::stol(counts[2]);
  EXPECT_GE(applied, 51);
  EXPECT_LE(applied + dropped, kStream + 3);
}

TEST(ListMidi, PrintsEveryPeerPortWithTheIndexAndNameAProfileHolds) {
  JackPeer peer;
  ASSERT_EQ(peer.Error(), "");
  const CommandResult result = RunCommand({BridgeProgram(), "--list-midi", "--midi-api", "jack"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  SelectMidiApi(MidiApi::Jack);
  const int in = IndexIn(MidiInputNames(), peer.OutputName(0));
  const int out = IndexIn(MidiOutputNames(), peer.InputName(0));
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  const std::string inputs = result.out.substr(0, result.out.find("MIDI outputs"));
  const std::string outputs = result.out.substr(result.out.find("MIDI outputs"));
  EXPECT_NE(inputs.find("  " + std::to_string(in) + "  " + peer.OutputName(0) + "\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(outputs.find("  " + std::to_string(out) + "  " + peer.InputName(0) + "\n"),
            std::string::npos)
      << result.out;
}

INSTANTIATE_TEST_SUITE_P(Modes, DeviceHotplugTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "Window" : "Headless";
                         });

} // namespace
} // namespace vantrel::test
