#include "e2e_fixture.h"

#include "mixer/mute_targets.h"
#include "mixer/scales.h"
#include "state/controller_modes.h"
#include "support/file_text.h"
#include "support/slow_mixer.h"

#include <set>
#include <sstream>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

Message Cc(uint8_t channel, uint8_t controller, uint8_t value) {
  return {static_cast<uint8_t>(0xB0 | channel), controller, value};
}

// The lines of a dump that differ between two dumps.
std::set<std::string> Changed(const std::string& before, const std::string& after) {
  auto lines = [](const std::string& text) {
    std::set<std::string> set;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      set.insert(line);
    }
    return set;
  };
  const auto a = lines(before);
  std::set<std::string> changed;
  for (const std::string& line : lines(after)) {
    if (a.count(line) == 0) {
      changed.insert(line);
    }
  }
  return changed;
}

// The value a row's controller test sends: distinct per row, never the
// server's default, and never 0 (which many defaults are).
uint8_t ValueForRow(std::size_t row) {
  return static_cast<uint8_t>(1 + (row * 37) % 120);
}

// JACK drops a period's MIDI when a client misses its deadline (an xrun),
// which a loaded machine sees now and then whatever the clients do. A single
// message that did not arrive within a few seconds is therefore played again,
// up to twice; what it must do is checked exactly either way.
constexpr int kAttempts = 3;

TEST_P(EndToEndTest, EveryRowSetsExactlyItsOwnParameterOrSendsItsFilterSequence) {
  std::map<std::string, int> controllers;
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    controllers[std::string(kCatalogue[row].key)] = static_cast<int>(row);
  }
  WriteProfile(controllers, 3);
  StartBridge();
  std::string before = Dump();
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    const uint8_t v = ValueForRow(row);
    const Message cc = Cc(static_cast<uint8_t>(row % 16), static_cast<uint8_t>(row), v);
    if (p.kind == ParameterKind::Filter) {
      const bool cutoff = p.op == SetOperation::FilterCutoff;
      const int data = cutoff ? 8192 - 20 * v : 8192 + 8 * v;
      const std::vector<Message> expected = {cc, Cc(2, 99, 120), Cc(2, 98, cutoff ? 8 : 9),
                                             Cc(2, 38, static_cast<uint8_t>(data % 128)),
                                             Cc(2, 6, static_cast<uint8_t>(data / 128))};
      std::vector<PeerMessage> got;
      std::size_t heard = 0;
      for (int attempt = 0; attempt < kAttempts && got.size() < heard + 5; ++attempt) {
        heard = m_peer->ReceivedAfterQuiet().size();
        Play({cc});
        got = m_peer->WaitForReceived(heard + 5, 3s);
      }
      ASSERT_EQ(got.size(), heard + 5) << p.strip;
      for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[heard + i].bytes, expected[i]) << p.strip << " message " << i;
      }
      EXPECT_TRUE(Changed(before, Dump()).empty()) << p.strip;
      continue;
    }
    const int32_t expected = MixerValueFromController(p, v);
    for (int attempt = 0; attempt < kAttempts && Read(row) != expected; ++attempt) {
      Play({cc});
      WaitForValue(row, expected, 3s);
    }
    EXPECT_EQ(Read(row), expected) << p.strip;
    const std::string after = Dump();
    EXPECT_EQ(Changed(before, after).size(), 1u) << p.strip << "\n" << after;
    before = after;
  }
  EXPECT_EQ(StopBridge(), 0);
}

TEST_P(EndToEndTest, ASharedControllerSetsBothParametersAndUnmappedOnesOnlyPassThrough) {
  WriteProfile({{"A1VolCC", 20}, {"U3PanCC", 20}});
  StartBridge();
  const std::string before = Dump();
  Play({Cc(0, 21, 90), Cc(0, 20, 100)});
  EXPECT_EQ(WaitForValue(RowOfKey("U3PanCC"), 100 * 512), 100 * 512);
  EXPECT_EQ(Read(RowOfKey("A1VolCC")), GainFromValue(100));
  EXPECT_EQ(Changed(before, Dump()).size(), 2u);
  const auto got = m_peer->WaitForReceived(2, 5s);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].bytes, Cc(0, 21, 90));
  EXPECT_EQ(got[1].bytes, Cc(0, 20, 100));
}

TEST_P(EndToEndTest, TheSameControllerOnChannelsOneAndTenActsTheSame) {
  WriteProfile({{"Aux2CC", 7}});
  StartBridge();
  const std::size_t row = RowOfKey("Aux2CC");
  // A message JACK lost in an overrun is played again; the checks stay exact.
  for (const Message& cc : {Cc(0, 7, 33), Cc(9, 7, 66)}) {
    const int32_t expected = cc[2] * 512;
    for (int attempt = 0; attempt < kAttempts && Read(row) != expected; ++attempt) {
      Play({cc});
      WaitForValue(row, expected, 3s);
    }
    EXPECT_EQ(Read(row), expected);
  }
  const auto got = m_peer->ReceivedAfterQuiet();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got.back().bytes, Cc(9, 7, 66)); // thru keeps the incoming channel
}

TEST_P(EndToEndTest, AFullSpeedSweepAppliesEveryValueInOrderAndTheLastWins) {
  WriteProfile({{"WaveVolCC", 1}, {"RecGainCC", 1}});
  StartBridge();
  std::vector<Message> sweep;
  for (int v = 0; v <= 127; ++v) {
    sweep.push_back(Cc(0, 1, static_cast<uint8_t>(v)));
  }
  // A sweep during which JACK reported an xrun may have lost messages in
  // JACK itself; it is played again from the start.
  std::vector<PeerMessage> got;
  std::size_t heard = 0;
  int played = 0;
  for (bool clean = false; !clean && played < kAttempts; ++played) {
    Play({Cc(0, 1, 0)});
    WaitForValue(RowOfKey("RecGainCC"), 0, 3s);
    heard = m_peer->ReceivedAfterQuiet().size();
    const uint64_t xruns = m_peer->XrunCount();
    Play(sweep);
    WaitForValue(RowOfKey("RecGainCC"), 127 * 512, 5s);
    got = m_peer->WaitForReceived(heard + 128, 5s);
    clean = m_peer->XrunCount() == xruns;
  }
  EXPECT_EQ(Read(RowOfKey("RecGainCC")), 127 * 512);
  EXPECT_EQ(Read(RowOfKey("WaveVolCC")), 65535);
  ASSERT_EQ(got.size(), heard + 128);
  for (std::size_t v = 0; v <= 127; ++v) {
    EXPECT_EQ(got[heard + v].bytes, sweep[v]);
  }
  EXPECT_EQ(StopBridge(), 0);
  if (!Windowed()) {
    // Each attempt applied its reset and its 128 values, none dropped.
    const std::string counts =
        "Controller changes applied: " + std::to_string(played * 129) + ", dropped: 0";
    EXPECT_NE(m_bridge->Output().find(counts), std::string::npos) << m_bridge->Output();
  }
}

// One controller on every row sends 59 setters per message: far more than
// the socket to the server holds at once. The last value must still land
// without any later call to push it out.
TEST_P(EndToEndTest, ABurstOnAControllerMappedToEveryRowEndsOnItsLastValue) {
  std::vector<std::string> keys;
  for (const Parameter& p : kCatalogue) {
    keys.emplace_back(p.key);
  }
  Play(StartWithOneControllerOn(keys), 8);
  for (const char* key : {"Aux1CC", "U4PanCC", "U5PanCC"}) {
    EXPECT_EQ(WaitForValue(RowOfKey(key), 127 * 512), 127 * 512) << key;
  }
  EXPECT_EQ(StopBridge(), 0);
}

} // namespace

std::vector<Message> EndToEndTest::StartWithOneControllerOn(const std::vector<std::string>& keys) {
  std::map<std::string, int> controllers;
  for (const std::string& key : keys) {
    controllers[key] = 5;
  }
  WriteProfile(controllers);
  StartBridge();
  std::vector<Message> sweep;
  for (int i = 0; i < 1000; ++i) {
    sweep.push_back(Cc(0, 5, static_cast<uint8_t>(i % 100)));
  }
  sweep.push_back(Cc(0, 5, 127));
  return sweep;
}

// A sweep played while the bus daemon is stopped: the program's setters
// pile up behind a full socket. Once the bus goes on, the program alone
// writes them all out; nothing played later pushes them.
void EndToEndTest::SweepThroughAStoppedBus(const std::vector<std::string>& keys) {
  const std::vector<Message> sweep = StartWithOneControllerOn(keys);
  // JACK may lose a period's MIDI under load (an xrun): such a sweep did not
  // reach the program whole and is played again.
  bool clean = false;
  for (int attempt = 0; attempt < kAttempts && !clean; ++attempt) {
    const std::size_t heard = m_peer->ReceivedAfterQuiet().size();
    const uint64_t xruns = m_peer->XrunCount();
    {
      BusPause pause;
      if (!pause.Paused()) {
        GTEST_SKIP() << "the test command names no bus daemon to stop";
      }
      const auto resume = std::chrono::steady_clock::now() + 3s;
      Play(sweep, 8);
      m_peer->WaitForReceived(heard + sweep.size(), 20s);
      std::this_thread::sleep_until(resume);
    }
    clean =
        m_peer->XrunCount() == xruns && m_peer->ReceivedAfterQuiet().size() == heard + sweep.size();
  }
  for (const std::string& key : keys) {
    const std::size_t row = RowOfKey(key);
    const int32_t expected = MixerValueFromController(kCatalogue[row], 127);
    EXPECT_EQ(WaitForValue(row, expected, 60s), expected) << key;
  }
  EXPECT_EQ(StopBridge(), 0);
}

namespace {

TEST_P(EndToEndTest, ASweepOnEveryRowThroughAStoppedBusEndsOnItsLastValue) {
  std::vector<std::string> keys;
  for (const Parameter& p : kCatalogue) {
    if (p.kind != ParameterKind::Filter) {
      keys.emplace_back(p.key);
    }
  }
  SweepThroughAStoppedBus(keys);
}

TEST_P(EndToEndTest, ASweepOnOneRowThroughAStoppedBusEndsOnItsLastValue) {
  SweepThroughAStoppedBus({"U5VolCC"});
}

// Feedback: the send-all when the output opens, one Control Change for a
// change made by another client, and nothing back for the controller's own.
TEST_P(EndToEndTest, WithFeedbackTheControllerFollowsOutsideChangesButHearsNothingOfItsOwn) {
  WriteProfile({{"Aux1CC", 20}, {"U3PanCC", 21}}, 3);
  CSettings(m_profilePath).WriteInt(kFeedbackKey, 1);
  const std::size_t aux1 = RowOfKey("Aux1CC");
  const std::size_t pan = RowOfKey("U3PanCC");
  SetParameter(*m_link->Server(), kCatalogue[aux1], 40 * 516);
  SetParameter(*m_link->Server(), kCatalogue[pan], 90 * 516);
  ASSERT_EQ(WaitForValue(pan, 90 * 516), 90 * 516);
  std::vector<PeerMessage> got;
  for (int attempt = 0; attempt < kAttempts && got.size() < 2; ++attempt) {
    if (attempt > 0) {
      StopBridge(); // an xrun lost the send-all: open the output again
    }
    const uint64_t xruns = m_peer->XrunCount();
    m_peer->ClearReceived();
    StartBridge();
    got = m_peer->WaitForReceived(2, 10s);
    if (m_peer->XrunCount() == xruns) {
      break;
    }
  }
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].bytes, Cc(2, 20, 40));
  EXPECT_EQ(got[1].bytes, Cc(2, 21, 90));

  for (int attempt = 0; attempt < kAttempts && got.size() < 3; ++attempt) {
    SetParameter(*m_link->Server(), kCatalogue[aux1], (100 + attempt) * 516);
    got = m_peer->WaitForReceived(3, 5s);
  }
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2].bytes[0], 0xB2);
  EXPECT_EQ(got[2].bytes[1], 20);

  Play({Cc(0, 21, 10)});
  EXPECT_EQ(WaitForValue(pan, 10 * 512), 10 * 512);
  std::this_thread::sleep_for(300ms); // time for an echo, if there were one
  got = m_peer->ReceivedAfterQuiet();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[3].bytes, Cc(0, 21, 10)); // the thru copy only
}

TEST_P(EndToEndTest, WithSoftTakeoverAFarValueIsIgnoredAndANearOneTakesOver) {
  WriteProfile({{"Aux1CC", 20}});
  CSettings(m_profilePath).WriteInt(kSoftTakeoverKey, 1);
  const std::size_t row = RowOfKey("Aux1CC");
  SetParameter(*m_link->Server(), kCatalogue[row], 64 * 516);
  ASSERT_EQ(WaitForValue(row, 64 * 516), 64 * 516);
  StartBridge();
  Play({Cc(0, 20, 10)});
  const auto thru = m_peer->WaitForReceived(1, 5s);
  ASSERT_EQ(thru.size(), 1u); // thru is unchanged
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Read(row), 64 * 516);
  for (int attempt = 0; attempt < kAttempts && Read(row) != 63 * 512; ++attempt) {
    Play({Cc(0, 20, 63)});
    WaitForValue(row, 63 * 512, 3s);
  }
  EXPECT_EQ(Read(row), 63 * 512);
}

TEST_P(EndToEndTest, EncodersStepInEveryModeAndClampAndAFourteenBitPairLandsItsValue) {
  struct Encoder {
    std::string key;
    uint8_t controller;
    ControllerMode mode;
    uint8_t up3, down5, downFar; // +3, -5 and -63 in the mode's encoding
  };
  const std::vector<Encoder> encoders = {
      {"Aux1CC", 16, ControllerMode::RelativeTwos, 3, 123, 65},
      {"Aux2CC", 17, ControllerMode::RelativeSigned, 3, 69, 127},
      {"Aux3CC", 18, ControllerMode::RelativeOffset, 67, 59, 1},
  };
  std::map<std::string, int> controllers = {{"VolLCC", 7}};
  for (const Encoder& e : encoders) {
    controllers[e.key] = e.controller;
  }
  WriteProfile(controllers);
  CSettings settings(m_profilePath);
  for (const Encoder& e : encoders) {
    settings.Write(ControllerModeKey(e.controller), ControllerModeName(e.mode));
  }
  settings.Write(ControllerModeKey(7), "14BIT");
  for (const Encoder& e : encoders) {
    SetParameter(*m_link->Server(), kCatalogue[RowOfKey(e.key)], 64 * 512);
  }
  StartBridge();
  // Played one by one: a step applied twice or lost shows in the value.
  auto step = [this](uint8_t controller, uint8_t value) {
    const std::size_t heard = m_peer->ReceivedAfterQuiet().size();
    Play({Cc(0, controller, value)});
    m_peer->WaitForReceived(heard + 1, 5s);
  };
  for (const Encoder& e : encoders) {
    const std::size_t row = RowOfKey(e.key);
    step(e.controller, e.up3);
    EXPECT_EQ(WaitForValue(row, 67 * 512), 67 * 512) << e.key;
    step(e.controller, e.down5);
    EXPECT_EQ(WaitForValue(row, 62 * 512), 62 * 512) << e.key;
    step(e.controller, e.downFar);
    EXPECT_EQ(WaitForValue(row, 0), 0) << e.key;
    step(e.controller, e.downFar);
    step(e.controller, e.up3);
    EXPECT_EQ(WaitForValue(row, 3 * 512), 3 * 512) << e.key << ": clamped at 0";
  }
  const std::size_t record = RowOfKey("VolLCC");
  step(7, 100);
  step(39, 77);
  const int32_t fine = GainFromFineValue((100 << 7) | 77);
  EXPECT_EQ(WaitForValue(record, fine), fine);
  step(7, 50); // a 7-bit sender on the same number
  EXPECT_EQ(WaitForValue(record, GainFromValue(50)), GainFromValue(50));
}

TEST_P(EndToEndTest, MuteButtonsToggleOnPressLatchFollowsAndEveryMuteChangeLightsItsButton) {
  WriteProfile({}, 2);
  CSettings settings(m_profilePath);
  settings.Write(ButtonMappingKey("WaveMute"), "Note 36");
  settings.Write(ButtonMappingKey("VolMute"), "cc 20");
  settings.Write(ButtonMappingKey("Aux1Mute"), "CC 21 latch");
  StartBridge();
  // Opening the output lights every mapped button once, in table order.
  std::vector<PeerMessage> got = m_peer->WaitForReceived(3, 10s);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].bytes, Cc(1, 20, 0));
  EXPECT_EQ(got[1].bytes, Cc(1, 21, 0));
  EXPECT_EQ(got[2].bytes, (Message{0x91, 36, 0}));
  std::size_t heard = got.size();
  // Plays one message; what came back after it: its thru copy, then the
  // light when a mute changed. Nothing may follow.
  auto play = [&](const Message& message, std::size_t back) {
    Play({message});
    m_peer->WaitForReceived(heard + back, 5s);
    std::this_thread::sleep_for(200ms); // time for a light that must not come
    got = m_peer->ReceivedAfterQuiet();
    std::vector<Message> after;
    for (std::size_t i = heard; i < got.size(); ++i) {
      after.push_back(got[i].bytes);
    }
    heard = got.size();
    return after;
  };
  auto waitMute = [&](std::size_t mute, int32_t expected) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    int32_t muted = -1;
    do {
      m_link->ProcessEvents();
      ReadMute(*m_link->Server(), kMutes[mute], muted);
    } while (muted != expected && std::chrono::steady_clock::now() < end &&
             (std::this_thread::sleep_for(5ms), true));
    return muted;
  };
  constexpr std::size_t kVol = 0;
  constexpr std::size_t kAux1 = 1;
  constexpr std::size_t kWave = 12;
  const Message noteOn{0x90, 36, 100};
  const Message noteOff{0x80, 36, 64};
  EXPECT_EQ(play(noteOn, 2), (std::vector<Message>{noteOn, {0x91, 36, 127}}));
  EXPECT_EQ(waitMute(kWave, 1), 1);
  EXPECT_EQ(play(noteOff, 1), std::vector<Message>{noteOff});
  EXPECT_EQ(waitMute(kWave, 1), 1);
  EXPECT_EQ(play(noteOn, 2), (std::vector<Message>{noteOn, {0x91, 36, 0}}));
  EXPECT_EQ(waitMute(kWave, 0), 0);

  EXPECT_EQ(play(Cc(5, 20, 127), 2), (std::vector<Message>{Cc(5, 20, 127), Cc(1, 20, 127)}));
  EXPECT_EQ(waitMute(kVol, 1), 1);
  EXPECT_EQ(play(Cc(5, 20, 0), 1), std::vector<Message>{Cc(5, 20, 0)});
  EXPECT_EQ(waitMute(kVol, 1), 1);

  EXPECT_EQ(play(Cc(0, 21, 100), 2), (std::vector<Message>{Cc(0, 21, 100), Cc(1, 21, 127)}));
  EXPECT_EQ(waitMute(kAux1, 1), 1);
  EXPECT_EQ(play(Cc(0, 21, 10), 2), (std::vector<Message>{Cc(0, 21, 10), Cc(1, 21, 0)}));
  EXPECT_EQ(waitMute(kAux1, 0), 0);

  // A mute changed elsewhere lights its button too.
  EXPECT_EQ(RunCommand({MixerctlProgram(), "set", "SourceMute", "2", "0", "1"}).exitCode, 0);
  got = m_peer->WaitForReceived(heard + 1, 10s);
  ASSERT_EQ(got.size(), heard + 1);
  EXPECT_EQ(got[heard].bytes, (Message{0x91, 36, 127}));
}

// A profile of before buttons and controller modes: no light goes out, a
// button's press and release are plain positions of the level it is mapped
// to, small values are no relative steps, the high number of a 14-bit pair
// is a controller of its own, and nothing new is written into the file.
TEST_P(EndToEndTest, AProfileWithoutButtonsOrModesReadsEveryControllerAsBefore) {
  WriteProfile({{"VolLCC", 20}, {"VolRCC", 39}});
  StartBridge();
  EXPECT_TRUE(m_peer->ReceivedAfterQuiet().empty());
  const std::size_t volL = RowOfKey("VolLCC");
  const std::size_t volR = RowOfKey("VolRCC");
  for (const uint8_t value : {127, 0, 1, 65, 1}) {
    Play({Cc(0, 20, value)});
    EXPECT_EQ(WaitForValue(volL, GainFromValue(value)), GainFromValue(value)) << int{value};
  }
  Play({Cc(0, 7, 100), Cc(0, 39, 77)});
  EXPECT_EQ(WaitForValue(volR, GainFromValue(77)), GainFromValue(77));
  int32_t muted = -1;
  m_link->ProcessEvents();
  ReadMute(*m_link->Server(), kMutes[0], muted);
  EXPECT_EQ(muted, 0);
  // Only the thru copies came back, no light.
  m_peer->WaitForReceived(m_received, 5s);
  EXPECT_EQ(m_peer->ReceivedAfterQuiet().size(), m_received);
  EXPECT_EQ(StopBridge(), 0);
  const std::string saved = ReadTextFile(m_profilePath);
  EXPECT_EQ(saved.find("[Button Mapping]"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("[Controller Modes]"), std::string::npos) << saved;
}

INSTANTIATE_TEST_SUITE_P(Modes, EndToEndTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "Window" : "Headless";
                         });

} // namespace
} // namespace vantrel::test
