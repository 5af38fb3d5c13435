// The aux side on a real sound server, measured as sound: a sine played
// into a strip's capture source reaches its bus through a send at the send
// level, nothing does at 0, the buses exist once however often the service
// restarts and go when it stops.

#include "tone_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <signal.h>
#include <thread>

namespace vantrel::test {
namespace {

class AuxBusTest : public ToneTest {};

TEST_F(AuxBusTest, TheBusesExistOnceAcrossRestartsAndGoAtExit) {
  Start("pulse", "");
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; })) << CountBusSinks();
  EXPECT_NE(Pactl({"list", "sinks"}).find("Vantrel Aux 3"), std::string::npos);
  m_server->Kill();
  Start("pulse", "");
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(CountBusSinks(), 4);
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("to = effect Reverb"), std::string::npos) << targets;
  if (!OnPipeWire()) {
    EXPECT_NE(targets.find("effects are built on PipeWire only, so the bus plays dry"),
              std::string::npos)
        << targets;
  }
  EXPECT_EQ(m_server->Stop(), 0);
  EXPECT_TRUE(Eventually([] { return CountBusSinks() == 0; })) << CountBusSinks();
}

TEST_F(AuxBusTest, ASendFeedsItsBusAtItsLevelAndAtZeroNothing) {
  Start("pulse", kToneMapping);
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  Set({"BusLevel", "0", "65535"});
  Set({"SourceVolume", "0", "0", "65535"});
  PlaySine();
  // The sine as the strip's source carries it (the player's stream is at
  // the Wave strip's level).
  const double input = RecordedRms("vantrel_tone.monitor", 0.75);
  ASSERT_GT(input, 0.1 * kSineAmplitude);

  EXPECT_LT(RecordedRms("vantrel_aux1.monitor", 0.5), 1e-4);
  Set({"SendLevel", "0", "0", "0", "32768"});
  const double half = RecordedRms("vantrel_aux1.monitor", 1.0);
  EXPECT_NEAR(Db(half / input), Db(AmplitudeOf(32768)), 1.0) << half << " of " << input;
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("send from Analog 1 = 32768"), std::string::npos) << targets;

  Set({"SendLevel", "0", "0", "0", "0"});
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Pactl({"list", "short", "modules"}).find("source=vantrel_tone"), std::string::npos);
  EXPECT_LT(RecordedRms("vantrel_aux1.monitor", 0.5), 1e-4);
}

TEST_F(AuxBusTest, AStreamsSendFeedsItsBusWhileItsDryPathStaysAsItWas) {
  SkipUnlessPipeWire();
  if (IsSkipped()) {
    return;
  }
  // A name no earlier test played under: no volume the sound server
  // remembered for "Sine" moves the stream when the service binds it.
  constexpr const char* kPlayer = "Sine Send";
  PlaySine("vantrel_out", kPlayer);
  const double before = RecordedRms("vantrel_out.monitor", 0.75);
  ASSERT_GT(before, 0.1 * kSineAmplitude);
  Start("pulse", "");
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  // The dry path plays as before once the service has built everything.
  EXPECT_TRUE(Eventually([before] {
    return std::fabs(Db(RecordedRms("vantrel_out.monitor", 0.75) / before)) < kSteadyDriftDb;
  }, 20s)) << m_server->Errors();
  // Aux 1 plays nowhere, so the default sink carries only the dry path.
  Set({"BusRouted", "0", "0"});
  Set({"BusLevel", "0", "65535"});

  // The send takes the stream after its volume, as the default sink hears it.
  Set({"SendLevel", "2", "0", "0", "32768"});
  const double sent = RecordedRms("vantrel_aux1.monitor", 1.0);
  EXPECT_NEAR(Db(sent / before), Db(AmplitudeOf(32768)), 1.0) << sent << " of " << before;
  EXPECT_NEAR(Db(RecordedRms("vantrel_out.monitor", 0.75) / before), 0, kSteadyDriftDb) << Graph();
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("send from Wave = 32768 (stream Sine"), std::string::npos) << targets;

  // The player's next stream is sent as well (at the Wave strip's level,
  // which a stream that starts later takes).
  EndProgram(m_player);
  PlaySine("vantrel_out", kPlayer);
  const double sine = kSineAmplitude / std::sqrt(2);
  const double wave = Db(AmplitudeOf(Get({"SourceVolume", "2", "0"})));
  // What the stream and the strip are at, for a failure's message.
  const auto levels = [kPlayer] {
    const std::vector<long> stream = StreamVolume(kPlayer);
    return "stream at " + std::to_string(stream.empty() ? -1 : stream[0]) + ", Wave at " +
           std::to_string(Get({"SourceVolume", "2", "0"})) + "\n" + StreamPeaks();
  };
  const double again = RecordedRms("vantrel_out.monitor", 0.75);
  EXPECT_NEAR(Db(again / sine), wave, kSteadyDriftDb) << levels();
  EXPECT_NEAR(Db(RecordedRms("vantrel_aux1.monitor", 1.0) / sine), wave + Db(AmplitudeOf(32768)),
              1.0);

  Set({"SendLevel", "2", "0", "0", "0"});
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Pactl({"list", "short", "modules"}).find("sink=vantrel_aux1"), std::string::npos);
  EXPECT_LT(RecordedRms("vantrel_aux1.monitor", 0.5), 1e-4);
  EXPECT_NEAR(Db(RecordedRms("vantrel_out.monitor", 0.75) / sine), wave, kSteadyDriftDb)
      << levels() << Graph();
}

TEST_F(AuxBusTest, AReverbBusLeavesSoundAfterTheSineStops) {
  SkipUnlessPipeWire();
  if (IsSkipped()) {
    return;
  }
  Start("pulse", kToneMapping);
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  WaitForEffectWarmUp();
  Set({"SourceVolume", "0", "0", "65535"});
  Set({"BusLevel", "0", "65535"});
  Set({"SendLevel", "0", "0", "0", "65535"});
  PlaySine();
  std::this_thread::sleep_for(1500ms);
  EndProgram(m_player);
  // The tail of a 2.5 s reverb is still there half a second later, on the
  // default sink where the effect plays.
  std::this_thread::sleep_for(200ms);
  EXPECT_GT(RecordedRms("vantrel_out.monitor", 0.5), 1e-3)
      << m_server->Errors() << Pactl({"list", "sink-inputs"}) << Graph();
}

TEST_F(AuxBusTest, TheMappingFileChoosesWhatAnEffectLoads) {
  SkipUnlessPipeWire();
  if (IsSkipped()) {
    return;
  }
  Start("pulse", "[Effects]\nReverb = tap_echo tap_stereo_echo 100,40,100,40,0,0,-70,0,0,0\n"
                 "Chorus = no_such_chorus chorus\n");
  ASSERT_TRUE(Eventually([] {
    return Pactl({"list", "short", "modules"}).find("sink_name=vantrel_fx1") != std::string::npos;
  }));
  const std::string modules = Pactl({"list", "short", "modules"});
  EXPECT_NE(modules.find("plugin=tap_echo label=tap_stereo_echo control=100,40,100,40"),
            std::string::npos)
      << modules;
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("effect Chorus: plugin no_such_chorus.so is missing"), std::string::npos)
      << targets;
}

TEST_F(AuxBusTest, AMissingPluginLeavesItsBusDryAndSaysWhich) {
  SkipUnlessPipeWire();
  if (IsSkipped()) {
    return;
  }
  // The service looks for plugins where LADSPA_PATH says: an empty folder.
  const char* old = std::getenv("LADSPA_PATH");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("LADSPA_PATH", m_dir.Path().c_str(), 1);
  Start("pulse", kToneMapping);
  old != nullptr ? ::setenv("LADSPA_PATH", saved.c_str(), 1) : ::unsetenv("LADSPA_PATH");
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  EXPECT_NE(Ctl({"targets"}).out.find("plugin tap_reverb.so is missing"), std::string::npos);
  EXPECT_NE(m_server->Errors().find("tap_reverb.so for Reverb is not installed"), std::string::npos)
      << m_server->Errors();
  Set({"SourceVolume", "0", "0", "65535"});
  Set({"BusLevel", "0", "65535"});
  Set({"SendLevel", "0", "0", "0", "65535"});
  PlaySine();
  // Dry: the bus plays the sine into the default sink, with no tail.
  EXPECT_GT(RecordedRms("vantrel_out.monitor", 0.75), 0.1 * kSineAmplitude);
  EndProgram(m_player);
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(RecordedRms("vantrel_out.monitor", 0.5), 1e-4);
}

} // namespace
} // namespace vantrel::test
