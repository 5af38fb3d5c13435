// The aux side on a real sound server, measured as sound: a sine played
// into a strip's capture source reaches its bus through a send at the send
// level, nothing does at 0, the buses exist once however often the service
// restarts and go when it stops.

#include "sound_backend_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <thread>
#include <vector>

namespace vantrel::test {
namespace {

constexpr int kRate = 48000;
constexpr double kSineAmplitude = 0.5;

// Analog 1 takes the monitor of the sink the test plays its sine into (its
// name on PulseAudio, its node's name on PipeWire).
constexpr const char* kToneMapping = "[Analog 1]\nsource = node.name ~ ^vantrel_tone\n";

int CountBusSinks() {
  const std::string sinks = Pactl({"list", "short", "sinks"});
  int count = 0;
  for (std::size_t at = sinks.find("vantrel_aux"); at != std::string::npos;
       at = sinks.find("vantrel_aux", at + 1)) {
    ++count;
  }
  return count;
}

// RMS (full scale 1) of the last `seconds` recorded from `source`, the
// first quarter second left out while the graph settles. parec takes well
// over a second to start recording on PulseAudio here, so it gets longer.
double RecordedRms(const std::string& source, double seconds) {
  const bool pipeWire = std::string(std::getenv("VANTREL_TEST_SOUND_SERVER")) == "pipewire";
  const double startup = pipeWire ? 0.25 : 2.5;
  const CommandResult result = RunCommand(
      {"/usr/bin/timeout", std::to_string(seconds + startup), "/usr/bin/parec", "--latency-msec=20",
       "--raw", "--format=s16le", "--rate=48000", "--channels=2", "--device=" + source});
  const std::string& data = result.out;
  const auto wanted = static_cast<std::size_t>(seconds * kRate) * 4;
  const std::size_t settle = kRate / 4 * 4;
  const std::size_t skip = std::max(settle, data.size() > wanted ? data.size() - wanted : 0);
  // The median of 20 ms windows: a dropout of a loaded machine (every
  // sound falls silent for a moment) moves no level measured here.
  constexpr std::size_t kWindowBytes = kRate / 50 * 4;
  std::vector<double> windows;
  for (std::size_t start = skip; start + kWindowBytes <= data.size(); start += kWindowBytes) {
    double sum = 0;
    for (std::size_t at = start; at < start + kWindowBytes; at += 2) {
      int16_t sample = 0;
      std::memcpy(&sample, data.data() + at, 2);
      sum += (sample / 32768.0) * (sample / 32768.0);
    }
    windows.push_back(std::sqrt(sum / (kWindowBytes / 2)));
  }
  if (windows.empty()) {
    return 0;
  }
  std::nth_element(windows.begin(), windows.begin() + windows.size() / 2, windows.end());
  return windows[windows.size() / 2];
}

double Db(double ratio) {
  return 20 * std::log10(std::max(ratio, 1e-9));
}

class AuxBusTest : public SoundBackendTest {
protected:
  void SetUp() override {
    SoundBackendTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    m_tone = Pactl({"load-module", "module-null-sink", "sink_name=vantrel_tone"});
    ASSERT_TRUE(Eventually([] { return !SinkVolume("vantrel_tone").empty(); }));
  }
  void TearDown() override {
    if (m_player > 0) {
      EndProgram(m_player);
    }
    m_server.reset();
    if (!m_tone.empty()) {
      Pactl({"unload-module", m_tone.substr(0, m_tone.find('\n'))});
    }
  }
  static bool OnPipeWire() {
    return std::string(std::getenv("VANTREL_TEST_SOUND_SERVER")) == "pipewire";
  }
  // Effects and sends from streams are built on PipeWire only.
  void SkipUnlessPipeWire() {
    if (!OnPipeWire()) {
      GTEST_SKIP() << "effects and sends from streams are built on PipeWire";
    }
  }
  // Into the sink whose monitor Analog 1 takes, or into the default sink,
  // where the Wave strip takes the player's stream.
  void PlaySine(const std::string& sink = "vantrel_tone") {
    const std::string sine = m_dir.File("sine.raw");
    WriteSine(sine, 30, kSineAmplitude);
    m_player = StartProgram({"/usr/bin/pacat", "--playback", "--raw", "--device=" + sink,
                             "--property=application.name=Sine", sine});
    ASSERT_GT(m_player, 0);
  }

  std::string m_tone;
  pid_t m_player = 0;
};

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
  PlaySine("vantrel_out");
  const double before = RecordedRms("vantrel_out.monitor", 0.75);
  ASSERT_GT(before, 0.1 * kSineAmplitude);
  Start("pulse", "");
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  EXPECT_NEAR(Db(RecordedRms("vantrel_out.monitor", 0.75) / before), 0, 0.5);
  // Aux 1 plays nowhere, so the default sink carries only the dry path.
  Set({"BusRouted", "0", "0"});
  Set({"BusLevel", "0", "65535"});

  // The send takes the stream after its volume, as the default sink hears it.
  Set({"SendLevel", "2", "0", "0", "32768"});
  const double sent = RecordedRms("vantrel_aux1.monitor", 1.0);
  EXPECT_NEAR(Db(sent / before), Db(AmplitudeOf(32768)), 1.0) << sent << " of " << before;
  EXPECT_NEAR(Db(RecordedRms("vantrel_out.monitor", 0.75) / before), 0, 0.5);
  const std::string targets = Ctl({"targets"}).out;
  EXPECT_NE(targets.find("send from Wave = 32768 (stream Sine"), std::string::npos) << targets;

  // The player's next stream is sent as well (at the Wave strip's level,
  // which a stream that starts later takes).
  EndProgram(m_player);
  PlaySine("vantrel_out");
  const double again = RecordedRms("vantrel_out.monitor", 0.75);
  EXPECT_NEAR(Db(again / (kSineAmplitude / std::sqrt(2))),
              Db(AmplitudeOf(Get({"SourceVolume", "2", "0"}))), 1.0);
  EXPECT_NEAR(Db(RecordedRms("vantrel_aux1.monitor", 1.0) / again), Db(AmplitudeOf(32768)), 1.0);

  Set({"SendLevel", "2", "0", "0", "0"});
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Pactl({"list", "short", "modules"}).find("sink=vantrel_aux1"), std::string::npos);
  EXPECT_LT(RecordedRms("vantrel_aux1.monitor", 0.5), 1e-4);
  EXPECT_NEAR(Db(RecordedRms("vantrel_out.monitor", 0.75) / again), 0, 0.5);
}

TEST_F(AuxBusTest, AReverbBusLeavesSoundAfterTheSineStops) {
  SkipUnlessPipeWire();
  if (IsSkipped()) {
    return;
  }
  Start("pulse", kToneMapping);
  ASSERT_TRUE(Eventually([] { return CountBusSinks() == 4; }));
  Set({"SourceVolume", "0", "0", "65535"});
  Set({"BusLevel", "0", "65535"});
  Set({"SendLevel", "0", "0", "0", "65535"});
  PlaySine();
  std::this_thread::sleep_for(1500ms);
  EndProgram(m_player);
  // The tail of a 2.5 s reverb is still there half a second later, on the
  // default sink where the effect plays.
  std::this_thread::sleep_for(200ms);
  EXPECT_GT(RecordedRms("vantrel_out.monitor", 0.5), 1e-3);
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
