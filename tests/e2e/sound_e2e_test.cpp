// The whole road onto a real sound server: a JACK peer turns knobs on the
// program, vantrel-mixerd (--backend pulse) moves a playing stream and the
// default sink, and a change made with pactl comes back to the mixer. CTest
// runs these once under scripts/with-sound-server.sh pulseaudio and once
// under ... pipewire; elsewhere they skip.

#include "e2e_fixture.h"
#include "mixer/scales.h"
#include "support/sound_server.h"
#include "surface_peer.h"

#include <pulse/volume.h>

#include <cmath>

namespace vantrel::test {
namespace {

class SoundEndToEndTest : public EndToEndTest {
protected:
  SoundEndToEndTest() { m_server.SetArguments({"--backend", "pulse"}); }

  void SetUp() override {
    if (std::getenv("VANTREL_TEST_SOUND_SERVER") == nullptr) {
      GTEST_SKIP() << "needs a private sound server: run through scripts/with-sound-server.sh";
    }
    Pactl({"set-sink-volume", "vantrel_out", "100%"});
    EndToEndTest::SetUp();
  }
};

// The default taper: a mixer value is the same fraction of the server's own
// volume scale (65536 is 100 %).
long ServerVolume(int32_t mixerValue) {
  return std::lround(mixerValue / 65535.0 * PA_VOLUME_NORM);
}

TEST_P(SoundEndToEndTest, KnobsMoveAPlayingStreamAndTheSinkAndPactlComesBack) {
  const Player player("End To End Player");
  WriteProfile({{"VolLCC", 20}, {"VolRCC", 20}, {"WaveVolCC", 21}});
  StartBridge();
  Play({{0xB0, 20, 100}, {0xB0, 21, 64}});
  const long sink = ServerVolume(GainFromValue(100));
  const long stream = ServerVolume(GainFromValue(64));
  EXPECT_TRUE(Eventually([&] {
    return Near(SinkVolume("vantrel_out"), {sink, sink});
  })) << Join(SinkVolume("vantrel_out"));
  EXPECT_TRUE(Eventually([&] {
    return Near(StreamVolume("End To End Player"), {stream, stream});
  })) << Join(StreamVolume("End To End Player"));

  // 20 % on the desktop is 20 % of the mixer's range.
  Pactl({"set-sink-volume", "vantrel_out", "20%"});
  EXPECT_EQ(WaitForValue(RowOfKey("VolLCC"), 13107), 13107);
  EXPECT_EQ(Read(RowOfKey("VolRCC")), 13107);
}

// A Mackie surface on the peer: the Wave strip (the surface's seventh)
// drives the playing stream, so its display names the application, the
// unbound strips keep their own names, and its Mute button mutes the
// stream on the sound server and lights.
TEST_P(SoundEndToEndTest, ASurfaceNamesTheBoundApplicationAndMutesItsStream) {
  const Player player("Sine Box");
  SurfaceWatch surface(*m_peer);
  WriteProfile({});
  StartBridge({"--surface", "mackie"});
  EXPECT_TRUE(surface.WaitForText(0, "Analog1"));
  EXPECT_TRUE(surface.WaitForText(6 * 7, "Sine Bo"));
  ASSERT_FALSE(StreamMuted("Sine Box"));
  Play({{0x90, 16 + 6, 0x7F}, {0x90, 16 + 6, 0x00}});
  EXPECT_TRUE(Eventually([] { return StreamMuted("Sine Box"); }));
  EXPECT_TRUE(surface.WaitForBytes({0x90, 16 + 6, 0x7F}));
}

// A sine of half full scale (-6.02 dB) on Wave at unity: the surface's
// seventh strip gets meter level 10 (-10 to -5 dB) as channel pressure.
TEST_P(SoundEndToEndTest, ASurfaceGetsTheMetersOfAPlayingSine) {
  const std::string sine = m_dir.File("sine.raw");
  WriteSine(sine, 30, 0.5);
  pid_t player = StartProgram(
      {"/usr/bin/pacat", "--playback", "--raw", "--property=application.name=vantrel_sine", sine});
  ASSERT_TRUE(Eventually([] { return !StreamVolume("vantrel_sine").empty(); }));
  ASSERT_EQ(RunCommand({MixerctlProgram(), "set", "SourceVolume", "2", "0", "65535"}).exitCode, 0);
  SurfaceWatch surface(*m_peer);
  WriteProfile({});
  StartBridge({"--surface", "mackie"});
  EXPECT_TRUE(surface.WaitForBytes({0xD0, (6 << 4) | 10}));
  EndProgram(player);
}

INSTANTIATE_TEST_SUITE_P(Headless, SoundEndToEndTest, ::testing::Values(false));

} // namespace
} // namespace vantrel::test
