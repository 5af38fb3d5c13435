// The mapping file, the binding rules and the conversions between strips
// and the objects they drive, without a sound server.

#include "echo_filter.h"
#include "mixer_config.h"
#include "mixer_strips.h"
#include "pulse_effects.h"
#include "pulse_volume.h"

#include "support/problem_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace vantrel::mixerd {
namespace {

using namespace std::chrono_literals;

TargetProperties Target(std::vector<std::pair<std::string, std::string>> properties,
                        bool isDefault = false, bool isMonitor = false) {
  TargetProperties target;
  target.properties = std::move(properties);
  target.isDefault = isDefault;
  target.isMonitor = isMonitor;
  return target;
}

const int kWave = SourceStrip(kSourceWave, 0);
const int kMidi = SourceStrip(kSourceMidi, 0);
const int kAnalog1 = SourceStrip(kSourceAnalog, 0);
const int kAnalog2 = SourceStrip(kSourceAnalog, 1);
const int kUser1 = SourceStrip(kSourceUser, 0);

TEST(MixerConfig, DefaultsBindMasterRecordSynthesisersWaveAndCaptureSourcesInOrder) {
  const MixerConfig config = DefaultMixerConfig();
  const std::vector<TargetProperties> sinks = {Target({{"node.name", "hdmi"}}),
                                               Target({{"node.name", "speakers"}}, true)};
  EXPECT_EQ(BindTargets(config, TargetKind::Sink, sinks), (std::vector<int>{-1, kMasterStrip}));

  const std::vector<TargetProperties> sources = {
      Target({{"node.name", "speakers.monitor"}}, false, true), Target({{"node.name", "usb"}}),
      Target({{"node.name", "webcam"}}, true), Target({{"node.name", "line"}})};
  EXPECT_EQ(BindTargets(config, TargetKind::Source, sources),
            (std::vector<int>{-1, kAnalog1, kRecordStrip, kAnalog2}));

  const std::vector<TargetProperties> streams = {
      Target({{"application.process.binary", "fluidsynth"}}),
      Target({{"application.name", "Firefox"}}), Target({})};
  EXPECT_EQ(BindTargets(config, TargetKind::Stream, streams),
            (std::vector<int>{kMidi, kWave, kWave}));
}

TEST(MixerConfig, DigitalStripsTakeTwoDigitalInputsByNameThenByDescription) {
  const int digital1 = SourceStrip(kSourceDigital, 0);
  const int digital2 = SourceStrip(kSourceDigital, 1);
  const std::vector<TargetProperties> sources = {
      Target({{"node.name", "alsa_output.pci.hdmi-stereo"}}, false, true), // a monitor
      Target({{"node.name", "usb_mic"}}), Target({{"node.name", "alsa_input.pci.iec958-stereo"}}),
      Target({{"node.name", "capture_card"}, {"device.description", "Capture S/PDIF In"}}),
      Target({{"node.name", "alsa_input.hdmi-in"}})};
  EXPECT_EQ(BindTargets(DefaultMixerConfig(), TargetKind::Source, sources),
            (std::vector<int>{-1, kAnalog1, digital1, kAnalog2, digital2}));
  // A description alone names a digital input too, when no name does.
  const std::vector<TargetProperties> described = {
      Target({{"node.name", "usb_mic"}}),
      Target({{"node.name", "capture_card"}, {"device.description", "Capture S/PDIF In"}})};
  EXPECT_EQ(BindTargets(DefaultMixerConfig(), TargetKind::Source, described),
            (std::vector<int>{kAnalog1, digital1}));
}

TEST(MixerConfig, FileRulesComeFirstReplaceTheirStripsDefaultsAndCatchAllsComeLast) {
  std::ostringstream errors;
  const MixerConfig config = ParseMixerConfig("[Mixer]\nbackend = alsa\ncard = hw:1\n"
                                              "taper = Amplitude\n"
                                              "[User 1]\nstream = *\n"
                                              "[Wave]\nstream = application.name = Firefox\n"
                                              "[MIDI]\nstream = media.role ~ ^mus\n"
                                              "[Master]\nsink = node.name = hdmi\n",
                                              "m.ini", errors);
  EXPECT_EQ(errors.str(), "");
  EXPECT_EQ(config.backend, "alsa");
  EXPECT_EQ(config.card, "hw:1");
  EXPECT_EQ(config.taper, VolumeTaper::Amplitude);
  EXPECT_EQ(DefaultMixerConfig().taper, VolumeTaper::Desktop);
  const std::vector<TargetProperties> streams = {
      Target({{"application.name", "Firefox"}, {"media.role", "music"}}),
      Target({{"media.role", "music"}}), Target({{"application.process.binary", "fluidsynth"}}),
      Target({})};
  // The synthesiser default went with the [MIDI] section; Wave's catch-all
  // went with [Wave]; User 1's "*" takes what is left.
  EXPECT_EQ(BindTargets(config, TargetKind::Stream, streams),
            (std::vector<int>{kWave, kMidi, kUser1, kUser1}));
  const std::vector<TargetProperties> sinks = {Target({{"node.name", "speakers"}}, true),
                                               Target({{"node.name", "hdmi"}})};
  EXPECT_EQ(BindTargets(config, TargetKind::Sink, sinks), (std::vector<int>{-1, kMasterStrip}));
}

TEST(MixerConfig, EachFaultIsOneLineNamingFileAndLineAndTheRestStillApplies) {
  std::ostringstream errors;
  const MixerConfig config = ParseMixerConfig("early = 1\n"
                                              "[Nowhere]\nsink = *\n"
                                              "[Wave]\nstream = media.role ~ (\n"
                                              "stream = colour = red\n"
                                              "stream = default\n"
                                              "stream = nonsense\n"
                                              "source = #0\n"
                                              "speaker = x\n"
                                              "garbage\n"
                                              "[Mixer]\nbackend = oss\nvolume = 3\n"
                                              "[MIDI]\nstream = media.name = Song\n"
                                              "[Mixer]\ntaper = log\n",
                                              "mixer.ini", errors);
  test::ExpectReport(
      errors.str(),
      {"mixer.ini:1: \"early\" stands outside any section",
       "mixer.ini:2: unknown section [Nowhere]", "mixer.ini:5: bad regular expression \"(\"",
       "mixer.ini:6: unknown property \"colour\"",
       "mixer.ini:7: \"default\" names the default sink or source",
       "mixer.ini:8: \"nonsense\" is not a rule", "mixer.ini:9: \"#0\": a position",
       "mixer.ini:10: unknown key \"speaker\"", "mixer.ini:11: \"garbage\" is neither",
       "mixer.ini:13: unknown back end \"oss\"", "mixer.ini:14: unknown key \"volume\"",
       "mixer.ini:18: unknown taper \"log\" (desktop or amplitude)"},
      12);
  EXPECT_EQ(config.taper, VolumeTaper::Desktop);
  const std::vector<TargetProperties> streams = {Target({{"media.name", "Song"}})};
  EXPECT_EQ(BindTargets(config, TargetKind::Stream, streams), (std::vector<int>{kMidi}));
}

TEST(MixerConfig, AMissingFileGivesTheDefaultsSilently) {
  std::ostringstream errors;
  const MixerConfig config = LoadMixerConfig("/nonexistent/vantrel/mixer.ini", errors);
  EXPECT_EQ(errors.str(), "");
  EXPECT_EQ(config.rules.size(), DefaultMixerConfig().rules.size());
}

TEST(MixerConfig, AnApplicationNumberBindsAfterPropertyRulesAndBeforeCatchAlls) {
  std::ostringstream errors;
  const MixerConfig config = ParseMixerConfig("[User 1]\nstream = app #1\n"
                                              "[User 2]\nstream = app  # 3\n"
                                              "[MIDI]\nstream = application.name = Synth\n"
                                              "[User 3]\nstream = app #0\nsource = app #1\n",
                                              "m.ini", errors);
  const std::string text = errors.str();
  EXPECT_NE(text.find("m.ini:8: \"app #0\": an application is app # and a number from 1"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("m.ini:9: \"app #1\""), std::string::npos) << text;
  EXPECT_EQ(HighestAppNumber(config), 3);
  EXPECT_EQ(HighestAppNumber(DefaultMixerConfig()), 0);
  TargetProperties first = Target({{"application.name", "Player"}});
  first.appNumber = 1;
  TargetProperties third = Target({{"application.name", "Browser"}});
  third.appNumber = 3;
  TargetProperties synth = Target({{"application.name", "Synth"}});
  synth.appNumber = 1; // a number it could only have had before the rule existed
  const TargetProperties none = Target({{"application.name", "Other"}});
  EXPECT_EQ(BindTargets(config, TargetKind::Stream, std::vector{first, third, synth, none}),
            (std::vector<int>{kUser1, kUser1 + 1, kMidi, kWave}));
  EXPECT_TRUE(ClaimedByProperty(config, TargetKind::Stream, synth));
  EXPECT_FALSE(ClaimedByProperty(config, TargetKind::Stream, none));
}

TEST(MixerConfig, EffectsReplaceTheirDefaultsOneByOneAndRefuseWhatAModuleCannotCarry) {
  std::ostringstream errors;
  const MixerConfig config =
      ParseMixerConfig("[Effects]\nreverb = tap_echo tap_stereo_echo 100,40,100,40,0,0,-70,0,0,0\n"
                       "ParamEQ4 = dj_eq_1901 dj_eq\n"
                       "Chorus = tap_chorus tap x=1\n"
                       "Flanger = flanger_1191 flanger 1 2\n"
                       "Flanger = only_a_plugin\n"
                       "Wah = svf_1214 svf\n",
                       "m.ini", errors);
  EXPECT_EQ(config.effects[0],
            (EffectSetting{"tap_echo", "tap_stereo_echo", "100,40,100,40,0,0,-70,0,0,0"}));
  EXPECT_EQ(config.effects[15], (EffectSetting{"dj_eq_1901", "dj_eq", ""}));
  const std::array<EffectSetting, kEffectCount> defaults = DefaultEffectSettings();
  for (std::size_t type = 1; type < 15; ++type) {
    EXPECT_EQ(config.effects[type], defaults[type]) << type;
  }
  test::ExpectReport(errors.str(),
                     {"m.ini:4: \"tap_chorus tap x=1\" is not PLUGIN LABEL",
                      "m.ini:5: \"flanger_1191 flanger 1 2\" is not",
                      "m.ini:6: \"only_a_plugin\" is not", "m.ini:7: unknown effect \"Wah\""},
                     4);
}

TEST(MixerConfig, OutputPairsNameTheirSinksAndOnlyA12PlaysByDefault) {
  const MixerConfig defaults = DefaultMixerConfig();
  EXPECT_EQ(defaults.analogPairs, (std::array<std::string, 5>{"default", "", "", "", ""}));
  EXPECT_EQ(defaults.digitalPairs, (std::array<std::string, 3>{}));

  std::ostringstream errors;
  const MixerConfig config = ParseMixerConfig(
      "[Outputs]\na3+4 = phones\nA1+2 = speakers\nD2 = spdif_out\nA9+10 = nowhere\n", "m.ini",
      errors);
  EXPECT_EQ(config.analogPairs, (std::array<std::string, 5>{"speakers", "phones", "", "", ""}));
  EXPECT_EQ(config.digitalPairs, (std::array<std::string, 3>{"", "", "spdif_out"}));
  EXPECT_EQ(errors.str(), "vantrel-mixerd: m.ini:5: unknown output pair \"A9+10\" (A1+2, A3+4, "
                          "A5+6, A5+8, A7+8, D1, D or D2); ignored.\n");
}

TEST(EffectPlugins, EveryEffectTypeHasAPluginAndTheDefaultsAreInstalledHere) {
  const auto& plugins = EffectPlugins();
  EXPECT_EQ(plugins[0].effect, "Reverb");
  EXPECT_EQ(plugins[15].effect, "ParamEQ4");
  for (const EffectPlugin& plugin : plugins) {
    EXPECT_FALSE(plugin.plugin.empty()) << plugin.effect;
    EXPECT_FALSE(plugin.label.empty()) << plugin.effect;
    // The test machine has tap-plugins and swh-plugins: a misspelt file
    // name would leave that effect dry everywhere.
    EXPECT_TRUE(EffectPluginInstalled(plugin.plugin)) << plugin.plugin;
  }
  EXPECT_FALSE(EffectPluginInstalled("no_such_plugin_anywhere"));
}

TEST(MixerStrips, LevelsRoundTripThroughTheModelForEveryKindOfStrip) {
  MixerState state = DefaultMixerState();
  struct Case {
    int strip;
    SideLevels levels;
  };
  const Case cases[] = {
      {kMasterStrip, {0.25, 1.0}}, {kRecordStrip, {0.5, 0.5}}, {kWave, {1.0, 0.5}},
      {kWave, {0.2, 0.8}},         {kWave, {0.0, 0.0}},        {kMidi, {0.7, 0.7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strip);
    StoreStripLevels(state, c.strip, c.levels);
    const SideLevels back = LevelsOfStrip(state, c.strip);
    EXPECT_NEAR(back.left, c.levels.left, 1e-4);
    EXPECT_NEAR(back.right, c.levels.right, 1e-4);
  }
  // Centre pan is exact, a silent source keeps its pan, and storing the
  // same levels again changes nothing.
  state.sources[SourceStrip(kSourceUser, 2) - kFirstSourceStrip].pan = 32768;
  EXPECT_EQ(LevelsOfStrip(state, SourceStrip(kSourceUser, 2)).left,
            LevelsOfStrip(state, SourceStrip(kSourceUser, 2)).right);
  state.sources[kWave - kFirstSourceStrip] = {5000, 1000, {}};
  EXPECT_TRUE(StoreStripLevels(state, kWave, {0, 0}));
  EXPECT_EQ(state.sources[kWave - kFirstSourceStrip].pan, 1000);
  EXPECT_FALSE(StoreStripLevels(state, kWave, {0, 0}));
}

TEST(PulseVolume, TravelIsTheDesktopsVolumeScaleOrWithAmplitudeTaperLinearAmplitude) {
  // Mixer value, the server volume each taper gives it, and what pactl and
  // the desktop's volume control show for it.
  struct Case {
    int32_t value;
    pa_volume_t desktop;
    pa_volume_t amplitude;
    const char* shown;
  };
  for (const Case& c :
       {Case{0, PA_VOLUME_MUTED, PA_VOLUME_MUTED, "0%"}, Case{6554, 6554, 30420, "10%"},
        Case{32768, 32769, 52016, "50%"}, Case{49152, 49153, 59544, "75%"},
        Case{65535, PA_VOLUME_NORM, PA_VOLUME_NORM, "100%"}}) {
    const double level = c.value / 65535.0;
    EXPECT_EQ(ServerVolume(level, VolumeTaper::Desktop), c.desktop) << c.value;
    EXPECT_EQ(ServerVolume(level, VolumeTaper::Amplitude), c.amplitude) << c.value;
    char shown[PA_VOLUME_SNPRINT_MAX];
    const std::string text = pa_volume_snprint(shown, sizeof shown, c.desktop);
    EXPECT_EQ(text.substr(text.find_first_not_of(' ')), c.shown) << c.value;
    // The cubic scale is coarse near the top: amplitude comes back within a step.
    EXPECT_NEAR(LevelOfServerVolume(c.amplitude, VolumeTaper::Amplitude) * 65535, c.value, 1.5);
  }
  // The desktop taper gives every mixer value back exactly, so a fader
  // never drifts from what it sent.
  for (int32_t value = 0; value <= 65535; ++value) {
    const pa_volume_t volume = ServerVolume(value / 65535.0, VolumeTaper::Desktop);
    ASSERT_EQ(std::lround(LevelOfServerVolume(volume, VolumeTaper::Desktop) * 65535), value);
  }
  // A volume above the server's 100 % is the fader at the top.
  EXPECT_EQ(ServerVolume(1.5, VolumeTaper::Desktop), PA_VOLUME_NORM);
}

TEST(PulseVolume, SidesMapToChannels) {
  pa_channel_map stereo;
  pa_channel_map_init_stereo(&stereo);
  const pa_cvolume volume = VolumeOfLevels(stereo, {0.5, 1.0}, VolumeTaper::Amplitude);
  EXPECT_EQ(VolumeValues(volume), (std::vector<int64_t>{52016, PA_VOLUME_NORM}));
  const SideLevels back = LevelsOfVolume(stereo, volume, VolumeTaper::Amplitude);
  EXPECT_NEAR(back.left, 0.5, 1e-4);
  EXPECT_NEAR(back.right, 1.0, 1e-9);

  // A mono object takes the louder side and reports it on both.
  pa_channel_map mono;
  pa_channel_map_init_mono(&mono);
  const pa_cvolume one = VolumeOfLevels(mono, {0.125, 0.5}, VolumeTaper::Desktop);
  EXPECT_EQ(VolumeValues(one), (std::vector<int64_t>{32768}));
  EXPECT_NEAR(LevelsOfVolume(mono, one, VolumeTaper::Desktop).right, 0.5, 1e-9);

  // Surround: centre and LFE follow the louder side, rear channels their side.
  pa_channel_map surround;
  pa_channel_map_init_auto(&surround, 6, PA_CHANNEL_MAP_ALSA);
  const pa_cvolume six = VolumeOfLevels(surround, {0.0, 1.0}, VolumeTaper::Desktop);
  for (unsigned i = 0; i < 6; ++i) {
    const bool left = surround.map[i] == PA_CHANNEL_POSITION_FRONT_LEFT ||
                      surround.map[i] == PA_CHANNEL_POSITION_REAR_LEFT;
    EXPECT_EQ(six.values[i], left ? PA_VOLUME_MUTED : PA_VOLUME_NORM) << i;
  }
}

TEST(EchoFilter, AReportIsAnEchoOnlyOfASetNotYetSeenBack) {
  using Report = EchoFilter::Report;
  const auto t0 = EchoFilter::Clock::now();
  EchoFilter filter;
  EXPECT_EQ(filter.Classify({100, 100}, 2, t0), Report::Outside);
  filter.Sent({100, 200}, {50, 50}, 2, t0);
  filter.Sent({300, 300}, {50, 50}, 2, t0);
  EXPECT_EQ(filter.Classify({100}, 2, t0), Report::Outside);  // another channel count
  EXPECT_EQ(filter.Classify({50, 51}, 2, t0), Report::Stale); // before the sets landed
  EXPECT_EQ(filter.Classify({102, 198}, 2, t0), Report::Echo);
  // Seen back once, a value is someone else's the next time.
  EXPECT_EQ(filter.Classify({100, 200}, 2, t0), Report::Outside);
  // The later echo settles everything sent before it.
  filter.Sent({400, 400}, {300, 300}, 2, t0);
  EXPECT_EQ(filter.Classify({400, 400}, 0, t0), Report::Echo);
  EXPECT_EQ(filter.Classify({300, 300}, 0, t0), Report::Outside);
  EXPECT_EQ(filter.Classify({50, 50}, 0, t0), Report::Outside);
}

TEST(EchoFilter, SetsThatNeverComeBackAreForgotten) {
  using Report = EchoFilter::Report;
  const auto t0 = EchoFilter::Clock::now();
  EchoFilter filter;
  // A set of the volume the object has is never reported.
  filter.Sent({100, 100}, {101, 99}, 2, t0);
  EXPECT_EQ(filter.Classify({100, 100}, 2, t0), Report::Outside);
  filter.Sent({200, 200}, {100, 100}, 2, t0);
  EXPECT_EQ(filter.Classify({100, 100}, 2, t0 + EchoFilter::kForgetAfter + 1ms), Report::Outside);
  filter.Sent({200, 200}, {100, 100}, 2, t0);
  filter.Settled();
  EXPECT_EQ(filter.Classify({200, 200}, 2, t0), Report::Outside);
  for (std::size_t i = 0; i <= EchoFilter::kMostWaiting; ++i) {
    filter.Sent({static_cast<int64_t>(1000 + i * 10)}, {0}, 2, t0);
  }
  EXPECT_EQ(filter.Classify({1000}, 2, t0), Report::Outside);
  EXPECT_EQ(filter.Classify({1010}, 2, t0), Report::Echo);
}

} // namespace
} // namespace vantrel::mixerd
