// vantrel-mixerd's pulse and alsa back ends against a real sound server
// (PulseAudio, or PipeWire through pipewire-pulse), read back with pactl.
// Run through scripts/with-sound-server.sh, which provides the null sink
// vantrel_out (default) and the null sources vantrel_in_a (default) and
// vantrel_in_b.

#include "sound_backend_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

#include <fstream>
#include <thread>

namespace vantrel::test {
namespace {

TEST_F(SoundBackendTest, MasterTakesTheDefaultSinkAndMovesItBothWays) {
  Pactl({"set-sink-volume", "vantrel_out", "40%"});
  Start("pulse", "");
  // The fader stands where the desktop's volume control shows the sink.
  EXPECT_NEAR(Get({"MasterVolume", "0"}), std::lround(0.4 * 65535), 2);
  EXPECT_NE(Ctl({"dump"}).out.find("backend pulse: "), std::string::npos);

  Set({"MasterVolume", "0", "32768"});
  Set({"MasterVolume", "1", "65535"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {kHalfVolume, 65536}));
  const std::string shown = Pactl({"get-sink-volume", "vantrel_out"});
  EXPECT_NE(shown.find("/  50% /"), std::string::npos) << shown;

  Pactl({"set-sink-volume", "vantrel_out", "20%"});
  EXPECT_TRUE(Eventually([] {
    return Get({"MasterVolume", "1"}) == 13107;
  })) << Get({"MasterVolume", "1"});
  EXPECT_EQ(Get({"MasterVolume", "0"}), 13107);

  // With the amplitude taper, 20 % on the desktop is 0.2 cubed in
  // amplitude, and half travel half amplitude.
  m_server.reset();
  Start("pulse", "[Mixer]\ntaper = amplitude\n");
  EXPECT_EQ(Get({"MasterVolume", "0"}), 524);
  Set({"MasterVolume", "0", "32768"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {52016, 13107}));
}

TEST_F(SoundBackendTest, MasterMovesWithTheDefaultSink) {
  Start("pulse", "");
  const std::string module = Pactl({"load-module", "module-null-sink", "sink_name=vantrel_other"});
  ASSERT_TRUE(Eventually([] { return !SinkVolume("vantrel_other").empty(); }));
  Pactl({"set-sink-volume", "vantrel_other", "30%"});
  Pactl({"set-default-sink", "vantrel_other"});
  // The faders show the new device's volume; the old device keeps its own.
  EXPECT_TRUE(Eventually([] {
    return Get({"MasterVolume", "0"}) == 19660;
  })) << Get({"MasterVolume", "0"})
      << "\n"
      << Pactl({"info"}) << m_server->Errors();
  Set({"MasterVolume", "1", "32768"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_other"); }, {19661, kHalfVolume}));
  EXPECT_TRUE(Near(SinkVolume("vantrel_out"), {65536, 65536})) << Join(SinkVolume("vantrel_out"));
  Pactl({"set-default-sink", "vantrel_out"});
  Pactl({"unload-module", module.substr(0, module.find('\n'))});
}

TEST_F(SoundBackendTest, AServerThatGoesAndComesBackGetsTheLastValue) {
  OwnPulseServer server(m_dir.Path());
  const ScopedPulseServer scope(server.Address());
  ASSERT_TRUE(server.Start());
  Start("pulse", "");
  Set({"MasterVolume", "0", "32768"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {kHalfVolume, 65536}));

  server.Stop();
  // Meanwhile the model answers, at once.
  Set({"MasterVolume", "0", "16384"});
  EXPECT_EQ(Get({"MasterVolume", "0"}), 16384);
  EXPECT_NE(Ctl({"dump"}).out.find("backend pulse: waiting"), std::string::npos);

  // A fresh server (its sink at 100 %) gets the value set while it was away.
  ASSERT_TRUE(server.Start());
  EXPECT_TRUE(
      VolumesBecome([] { return SinkVolume("vantrel_out"); }, {ServerVolumeOf(16384), 65536}));
  EXPECT_EQ(Get({"MasterVolume", "0"}), 16384);
  EXPECT_EQ(Get({"MasterVolume", "1"}), 65535);
}

// A PulseAudio of the test's own stands in for an ALSA card: its mixer, the
// pulse device's, is there only while that server runs.
TEST_F(SoundBackendTest,
       AnAlsaCardMissingAtStartIsWaitedForAndOneThatGoesAndComesBackGetsTheLastValue) {
  OwnPulseServer server(m_dir.Path());
  const ScopedPulseServer scope(server.Address());
  Start("alsa", "[Mixer]\ncard = pulse\n");
  EXPECT_NE(Ctl({"dump"}).out.find("backend alsa: waiting for the ALSA card \"pulse\""),
            std::string::npos);
  Set({"MasterVolume", "0", "32768"});

  // The card appears at 100 %: the strip set before drives it.
  ASSERT_TRUE(server.Start());
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {32768, 49152}))
      << m_server->Errors();
  // An outside change reaches the strip: the card is followed.
  Pactl({"set-sink-volume", "vantrel_out", "65536"});
  EXPECT_TRUE(Eventually([] {
    return Get({"MasterVolume", "1"}) == 65535;
  })) << Get({"MasterVolume", "1"});

  server.Stop();
  EXPECT_TRUE(Eventually([] {
    return Ctl({"dump"}).out.find("backend alsa: waiting for the ALSA card") != std::string::npos;
  }));
  Set({"MasterVolume", "0", "16384"});
  EXPECT_EQ(Get({"MasterVolume", "0"}), 16384);
  // Back at 100 %: the value set while it was away lands.
  ASSERT_TRUE(server.Start());
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {16384, 65536}))
      << m_server->Errors();
  const std::string errors = m_server->Errors();
  EXPECT_NE(errors.find("the ALSA card \"pulse\" is gone"), std::string::npos) << errors;
  EXPECT_NE(errors.find("the ALSA card \"pulse\" is there"), std::string::npos) << errors;
}

TEST_F(SoundBackendTest, RecordAndAnalogDriveTheCaptureSourcesInOrder) {
  Start("pulse", "");
  Set({"RecordLevel", "32768"});
  Set({"SourceVolume", "0", "0", "0"});
  EXPECT_TRUE(
      VolumesBecome([] { return SourceVolume("vantrel_in_a"); }, {kHalfVolume, kHalfVolume}));
  EXPECT_TRUE(VolumesBecome([] { return SourceVolume("vantrel_in_b"); }, {0, 0}));
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("source \"vantrel_in_a\" -> Record"), std::string::npos) << targets;
  EXPECT_NE(targets.find("source \"vantrel_in_b\" -> Analog 1"), std::string::npos) << targets;
  EXPECT_NE(targets.find("sink \"vantrel_out\" -> Master"), std::string::npos) << targets;
}

TEST_F(SoundBackendTest, StreamsFollowTheirStripsByRule) {
  {
    // The server remembers this stream's volume for its next appearance.
    Player synth("Test Synth");
    Pactl({"set-sink-input-volume", StreamIndex("Test Synth"), "30%"});
    Eventually([] { return Near(StreamVolume("Test Synth"), {19661, 19661}); });
  }
  Player early("Early Player");
  Start("pulse", "[MIDI]\nstream = application.name = Test Synth\n"
                 "[User 1]\nstream = application.name ~ ^Special\n");
  // Streams playing before the start keep their volume until a strip moves.
  EXPECT_TRUE(Near(StreamVolume("Early Player"), {65536, 65536}))
      << Join(StreamVolume("Early Player"));

  Set({"SourceVolume", "2", "0", "32768"});
  EXPECT_TRUE(
      VolumesBecome([] { return StreamVolume("Early Player"); }, {kHalfVolume, kHalfVolume}));

  // Streams that appear later take their strip's value at once, whatever
  // volume the server remembered for them.
  Set({"SourceVolume", "3", "0", "32768"});
  Set({"SourcePan", "3", "0", "0"});
  Player synth("Test Synth");
  Player special("Special Player");
  Player late("Late Player");
  EXPECT_TRUE(VolumesBecome([] { return StreamVolume("Test Synth"); }, {kHalfVolume, 0}))
      << m_server->Errors();
  const long userDefault = ServerVolumeOf(49152);
  EXPECT_TRUE(
      VolumesBecome([] { return StreamVolume("Special Player"); }, {userDefault, userDefault}))
      << m_server->Errors();
  EXPECT_TRUE(VolumesBecome([] { return StreamVolume("Late Player"); }, {kHalfVolume, kHalfVolume}))
      << m_server->Errors() << Pactl({"list", "sink-inputs"});

  // A change made elsewhere comes back to the strip, and only to it. (Just
  // after a stream appears, an outside change is taken for the server
  // restoring its old volume, and undone.)
  std::this_thread::sleep_for(600ms);
  Pactl({"set-sink-input-volume", StreamIndex("Late Player"), "20%"});
  EXPECT_TRUE(Eventually([] {
    return Get({"SourceVolume", "2", "0"}) == 13107;
  })) << Get({"SourceVolume", "2", "0"});
  EXPECT_TRUE(Near(StreamVolume("Early Player"), {kHalfVolume, kHalfVolume}));
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("\" -> MIDI"), std::string::npos) << targets;
  EXPECT_NE(targets.find("\" -> User 1"), std::string::npos) << targets;
}

TEST_F(SoundBackendTest, ASweepEndsOnItsLastValueWithoutEchoes) {
  Start("pulse", "");
  for (int value = 0; value <= 65535; value += 655) {
    Set({"MasterVolume", "0", std::to_string(value)});
  }
  Set({"MasterVolume", "0", "32768"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {kHalfVolume, 65536}));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Get({"MasterVolume", "0"}), 32768);
}

TEST_F(SoundBackendTest, ABadMappingLineIsReportedAndTheRestApplies) {
  Start("pulse", "[Master]\nsink = node.name = vantrel_out\n[Wave]\nstream = media.role ~ (\n"
                 "[Nowhere]\nsink = *\n");
  const std::string errors = m_server->Errors();
  EXPECT_NE(errors.find("mixer.ini:4: bad regular expression"), std::string::npos) << errors;
  EXPECT_NE(errors.find("mixer.ini:5: unknown section [Nowhere]"), std::string::npos) << errors;
  Set({"MasterVolume", "0", "32768"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {kHalfVolume, 65536}));
}

TEST_F(SoundBackendTest, AlsaBackendDrivesThePulseDeviceElements) {
  Pactl({"set-sink-volume", "vantrel_out", "50%"});
  Start("alsa", "[Mixer]\ncard = pulse\n");
  EXPECT_NE(Ctl({"dump"}).out.find("backend alsa: "), std::string::npos);
  // The pulse device's elements have no dB scale: their raw range is the
  // server's volume, so the strip is the raw fraction.
  EXPECT_NEAR(Get({"MasterVolume", "0"}), 32768, 2);
  Set({"MasterVolume", "0", "16384"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {16384, 32768}));
  Pactl({"set-sink-volume", "vantrel_out", "25%"});
  EXPECT_TRUE(Eventually([] {
    return Get({"MasterVolume", "1"}) == 16384;
  })) << Get({"MasterVolume", "1"});
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("element \"Master\" -> Master"), std::string::npos) << targets;
}

TEST_F(SoundBackendTest, AlsaBackendMutesThroughTheSwitchAndHearsAnOutsideMute) {
  Pactl({"set-sink-mute", "vantrel_out", "0"});
  Start("alsa", "[Mixer]\ncard = pulse\n");
  EXPECT_EQ(Get({"MasterMute"}), 0);
  Set({"MasterMute", "1"});
  EXPECT_TRUE(Eventually([] { return SinkMuted("vantrel_out"); }));
  // A volume change leaves the mute alone.
  Set({"MasterVolume", "0", "16384"});
  EXPECT_TRUE(Eventually([] { return SinkVolume("vantrel_out").front() == 16384; }));
  EXPECT_TRUE(SinkMuted("vantrel_out"));
  EXPECT_EQ(Get({"MasterMute"}), 1);
  Pactl({"set-sink-mute", "vantrel_out", "0"});
  EXPECT_TRUE(Eventually([] { return Get({"MasterMute"}) == 0; }));
  Pactl({"set-sink-mute", "vantrel_out", "1"});
  EXPECT_TRUE(Eventually([] { return Get({"MasterMute"}) == 1; }));
  Set({"MasterMute", "0"});
  EXPECT_TRUE(Eventually([] { return !SinkMuted("vantrel_out"); }));
}

TEST_F(SoundBackendTest, PulseBackendMutesSinksAndStreamsAndHearsAnOutsideMute) {
  Player early("Early Player");
  Start("pulse", "");
  EXPECT_EQ(Get({"MasterMute"}), 0);
  Set({"MasterMute", "1"});
  EXPECT_TRUE(Eventually([] { return SinkMuted("vantrel_out"); }));
  // A volume change leaves the mute alone.
  Set({"MasterVolume", "0", "32768"});
  EXPECT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {kHalfVolume, 65536}));
  EXPECT_TRUE(SinkMuted("vantrel_out"));
  std::this_thread::sleep_for(600ms); // past the time our own set may still be reported
  Pactl({"set-sink-mute", "vantrel_out", "0"});
  EXPECT_TRUE(Eventually([] { return Get({"MasterMute"}) == 0; }));

  // Wave drives the streams no rule names, those playing and those to come.
  Set({"SourceMute", "2", "0", "1"});
  EXPECT_TRUE(Eventually([] { return StreamMuted("Early Player"); }));
  Player late("Late Player");
  EXPECT_TRUE(Eventually([] { return StreamMuted("Late Player"); }));
  Set({"SourceVolume", "2", "0", "65535"});
  std::this_thread::sleep_for(600ms);
  EXPECT_TRUE(StreamMuted("Early Player"));
  Pactl({"set-sink-input-mute", StreamIndex("Early Player"), "0"});
  EXPECT_TRUE(Eventually([] { return Get({"SourceMute", "2", "0"}) == 0; }));
}

TEST_F(SoundBackendTest, HostileStreamTitlesNeitherCrashNorStallTheServer) {
  // Any program names its streams: a browser tab's title can be this long,
  // and a title can be made to defeat a backtracking engine.
  const std::string longTitle = "media.name=" + std::string(40000, 'x') + " - YouTube";
  const std::string trapTitle = "media.name=" + std::string(40, 'a') + "b";
  Player tab("Long Tab", {longTitle});
  Player trap("Trap", {trapTitle});
  Start("pulse", "[User 1]\nstream = media.name ~ .*YouTube\n"
                 "[User 2]\nstream = media.name ~ (a+)+$\n");
  Set({"SourceVolume", "4", "0", "32768"});
  Set({"SourceVolume", "2", "0", "0"});
  EXPECT_TRUE(VolumesBecome([] { return StreamVolume("Long Tab"); }, {kHalfVolume, kHalfVolume}));
  EXPECT_TRUE(VolumesBecome([] { return StreamVolume("Trap"); }, {0, 0}));
  // Streams that appear later are matched as they come.
  Player laterTab("Later Tab", {longTitle});
  Player laterTrap("Later Trap", {trapTitle});
  EXPECT_TRUE(VolumesBecome([] { return StreamVolume("Later Tab"); }, {kHalfVolume, kHalfVolume}));
  EXPECT_TRUE(VolumesBecome([] { return StreamVolume("Later Trap"); }, {0, 0}));
  EXPECT_TRUE(m_server->Running());
  EXPECT_EQ(Get({"SourceVolume", "4", "0"}), 32768);
}

} // namespace
} // namespace vantrel::test
