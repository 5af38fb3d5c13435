// Mutes measured as sound: a muted Wave strip silences the stream it plays
// and an aux bus's mute silences what the bus carries, a level change never
// mutes or unmutes, and a mute made on the server comes back to the model.

#include "tone_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace vantrel::test {
namespace {

class MuteSoundTest : public ToneTest {};

constexpr double kSilence = 1e-4;

// Whether half a second recorded from the default sink's monitor is silent,
// or at least `floor` loud, once the server has applied what was set. Each
// recording takes seconds to start on PulseAudio, more under a sanitizer,
// so the wait allows several.
constexpr auto kSoundWait = std::chrono::seconds(40);
bool Silent() {
  return Eventually([] { return RecordedRms("vantrel_out.monitor", 0.5) < kSilence; }, kSoundWait);
}
bool Sounds(double floor) {
  return Eventually([floor] { return RecordedRms("vantrel_out.monitor", 0.5) > floor; },
                    kSoundWait);
}

TEST_F(MuteSoundTest, AMutedWaveStripSilencesItsStreamAndLevelsNeverMute) {
  Start("pulse", "");
  WaitForEffectWarmUp();
  Set({"SourceVolume", "2", "0", "65535"});
  PlaySine("vantrel_out");
  ASSERT_TRUE(VolumesBecome([] { return StreamVolume("Sine"); },
                            {ServerVolumeOf(65535), ServerVolumeOf(65535)}));
  ASSERT_TRUE(Sounds(0.1 * kSineAmplitude));
  const double loud = SteadyRms("vantrel_out.monitor", 0.5);

  // Silence by level is no mute: the level brings the sound back.
  Set({"SourceVolume", "2", "0", "0"});
  EXPECT_TRUE(Silent()) << Pactl({"list", "sink-inputs"}) << Graph();
  EXPECT_FALSE(StreamMuted("Sine"));
  Set({"SourceVolume", "2", "0", "65535"});
  EXPECT_TRUE(Sounds(0.5 * loud));
  EXPECT_EQ(Get({"SourceMute", "2", "0"}), 0);

  Set({"SourceMute", "2", "0", "1"});
  EXPECT_TRUE(Eventually([] { return StreamMuted("Sine"); }));
  EXPECT_TRUE(Silent());
  // Muted is muted whatever the level does; Master (the sink) is untouched.
  Set({"SourceVolume", "2", "0", "30000"});
  EXPECT_LT(RecordedRms("vantrel_out.monitor", 0.5), kSilence);
  EXPECT_FALSE(SinkMuted("vantrel_out"));

  Set({"SourceMute", "2", "0", "0"});
  EXPECT_TRUE(Sounds(0.5 * AmplitudeOf(30000) * loud));
  const double back = RecordedRms("vantrel_out.monitor", 0.5);
  EXPECT_NEAR(Db(back / loud), Db(AmplitudeOf(30000)), 1.0) << back << " of " << loud;
  EXPECT_EQ(Get({"SourceVolume", "2", "0"}), 30000);
}

TEST_F(MuteSoundTest, AnAuxBusFollowsItsMuteAndAnOutsideMuteComesBack) {
  Start("pulse", kToneMapping);
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  WaitForEffectWarmUp();
  // Analog 1 sends to Aux 3, which plays on output A1+2, the default sink.
  Set({"BusOutput", "2", "0", "0"});
  Set({"SourceVolume", "0", "0", "65535"});
  Set({"SendBus", "0", "0", "0", "2"});
  Set({"BusLevel", "2", "65535"});
  Set({"SendLevel", "0", "0", "0", "65535"});
  PlaySine();
  ASSERT_TRUE(Sounds(0.05 * kSineAmplitude))
      << Pactl({"list", "short", "modules"}) << Pactl({"list", "sink-inputs"})
      << Pactl({"list", "source-outputs"}) << Pactl({"list", "short", "sinks"})
      << Ctl({"targets"}).out << m_server->Errors();
  const double loud = SteadyRms("vantrel_out.monitor", 0.75);
  // No gain on the way is above unity: a louder reading is sound that did
  // not come through the bus.
  EXPECT_LT(loud, kSineAmplitude / std::sqrt(2.0)) << Graph();

  Set({"BusMute", "2", "1"});
  EXPECT_TRUE(Eventually([] { return SinkMuted("vantrel_aux3"); }));
  EXPECT_TRUE(Silent()) << Graph() << m_server->Errors();
  // A level change leaves the mute alone; the other buses were never muted.
  Set({"BusLevel", "2", "40000"});
  EXPECT_LT(RecordedRms("vantrel_out.monitor", 0.5), kSilence);
  EXPECT_TRUE(SinkMuted("vantrel_aux3"));
  EXPECT_FALSE(SinkMuted("vantrel_aux1"));

  // Unmuted on the server: the model follows and the sound is back.
  Pactl({"set-sink-mute", "vantrel_aux3", "0"});
  EXPECT_TRUE(Eventually([] { return Get({"BusMute", "2"}) == 0; }));
  EXPECT_TRUE(Sounds(0.5 * AmplitudeOf(40000) * loud));
  EXPECT_NEAR(Db(RecordedRms("vantrel_out.monitor", 0.5) / loud), Db(AmplitudeOf(40000)), 1.0);
  Pactl({"set-sink-mute", "vantrel_aux1", "1"});
  EXPECT_TRUE(Eventually([] { return Get({"BusMute", "0"}) == 1; }));
  EXPECT_EQ(Get({"BusMute", "2"}), 0);

  // The mute outlives the service: the next start builds the bus muted.
  Set({"BusMute", "2", "1"});
  EXPECT_TRUE(Eventually([] { return SinkMuted("vantrel_aux3"); }));
  EXPECT_EQ(m_server->Stop(), 0);
  EXPECT_TRUE(Eventually([] { return CountBusSinks() == 0; }))
      << Pactl({"list", "short", "modules"}) << m_server->Errors();
  Start("pulse", kToneMapping);
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  EXPECT_TRUE(Eventually([] { return SinkMuted("vantrel_aux3"); }));
  EXPECT_EQ(Get({"BusMute", "2"}), 1);
}

} // namespace
} // namespace vantrel::test
