#include "app/bridge_session.h"

#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/mixerd_server.h"
#include "support/scoped_env.h"
#include "support/server_session.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vantrel {
namespace {

// A session with no MIDI system chosen (so no devices) and a mixer link on
// a bus that cannot be reached, over a profile in a temporary folder.
class SessionTest : public ::testing::Test {
protected:
  test::TempDir m_dir;
  std::filesystem::path m_profile = m_dir.Path() / "vantrel.INI";
  CSettings m_settings{m_profile};
  MidiProcessObjects m_midi;
  test::ScopedEnv m_noBus{"DBUS_SESSION_BUS_ADDRESS", test::kNoBusAddress};
  CMixerLink m_link;

  // The headless bridge's store reads the same file and writes nothing.
  CSettings m_readOnly{m_profile, ProfileAccess::ReadOnly};

  std::unique_ptr<CBridgeSession> Make(bool writesProfile = true) {
    return std::make_unique<CBridgeSession>(writesProfile ? &m_settings : &m_readOnly, m_midi.input,
                                            m_midi.output, m_midi.controllers, m_link);
  }
  std::string ProfileText() const {
    std::ifstream in(m_profile);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(SessionTest, AFirstRunStartsOnMasterWithNoDevicesAndChannelOne) {
  auto session = Make();
  session->LoadMainSettings();
  const AppState& state = session->State();
  EXPECT_EQ(state.currentPage, 1);
  EXPECT_EQ(state.inputDevice, -1);
  EXPECT_EQ(state.outputDevice, -1);
  EXPECT_EQ(state.outputChannel, 0);
  EXPECT_EQ(session->ChannelMember(), 1);
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).items,
            std::vector<std::string>{"None"});
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).selected, 0);
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Output).selected, 0);
}

TEST_F(SessionTest, SavedValuesAreTakenUncheckedByAtoi) {
  m_settings.Write(kActivePageKey, "x");
  m_settings.Write(kDefaultMidiInKey, "3");
  m_settings.Write(kDefaultMidiOutKey, "");
  m_settings.Write(kDefaultMidiOutChannelKey, "0");
  auto session = Make();
  session->LoadMainSettings();
  const AppState& state = session->State();
  EXPECT_EQ(state.currentPage, 0);
  EXPECT_EQ(state.inputDevice, 3);
  EXPECT_EQ(state.outputDevice, -1);
  EXPECT_EQ(state.outputChannel, -1);
  EXPECT_EQ(state.ControlChangeStatus(), 0xBF);
  // beyond the list: no selection
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).selected, -1);
}

TEST_F(SessionTest, ShutdownWritesTheFourMainKeysThenThePagesWriteTheirs) {
  {
    auto session = Make();
    session->LoadMainSettings();
    session->InitPages();
    session->SetChannelMember(16);
    session->Shutdown();
    for (const PageDef& page : kPages) {
      session->Page(page.number).OnPageHide();
    }
  }
  const std::string text = ProfileText();
  // Sections appear in the order their first key was written.
  const auto midiSection = text.find("[Midi Options]");
  const auto program = text.find("[Program Options]");
  const auto mapping = text.find("[CC Mapping]");
  ASSERT_NE(midiSection, std::string::npos);
  EXPECT_LT(midiSection, program);
  EXPECT_LT(program, mapping);
  EXPECT_EQ(m_settings.Read(kActivePageKey), "1");
  EXPECT_EQ(m_settings.Read(kDefaultMidiInKey), "-1");
  EXPECT_EQ(m_settings.Read(kDefaultMidiOutKey), "-1");
  EXPECT_EQ(m_settings.Read(kDefaultMidiOutChannelKey), "16");
  EXPECT_LT(text.find("Aux1CC=-1"), text.find("A1Aux1CC=-1"));
  EXPECT_LT(text.find("WaveAux1CC"), text.find("U5Aux1CC"));
  EXPECT_LT(text.find("NRPN Res=-1"), text.find("U1Aux1CC"));
  EXPECT_NE(text.find("U4PanCC=-1"), std::string::npos);
}

TEST_F(SessionTest, ChoosingTheCurrentItemDoesNothingAndAFailedOpenKeepsTheIndex) {
  auto session = Make();
  session->LoadMainSettings();
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 0), DeviceChange::Unchanged);
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Output, 0), DeviceChange::Unchanged);
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 2), DeviceChange::OpenFailed);
  EXPECT_EQ(session->State().inputDevice, 1);
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 2), DeviceChange::Unchanged);
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Output, 1), DeviceChange::OpenFailed);
  EXPECT_EQ(session->State().outputDevice, 0);
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 0), DeviceChange::Closed);
  EXPECT_EQ(session->State().inputDevice, -1);
  const SavedDevicesResult saved = session->Devices().OpenSaved();
  EXPECT_TRUE(saved.outputFailed);
  EXPECT_FALSE(saved.inputFailed);
  // The reason reaches the device lines.
  EXPECT_EQ(session->Devices().Error(MidiDirection::Output), "There is no MIDI output device 0.");
  EXPECT_EQ(session->Devices().DescribeSaved(saved),
            (std::vector<std::string>{
                "MIDI output: cannot open device 0. There is no MIDI output device 0.",
                "MIDI input: none"}));
}

TEST_F(SessionTest, NoMixerMeansNoMixerCallsAndNothingReachesPagesBeforeTheyExist) {
  auto session = Make();
  session->LoadMainSettings();
  EXPECT_FALSE(session->Mixer().Connect());
  session->OnActivate(); // no page slot filled yet
  session->InitPages();
  session->OnActivate();
  EXPECT_EQ(session->Page(1).Readout(0), "0");
}

// Beside the real server: a change drained before shut-down reaches it, one
// queued at shut-down never does and leaves the queue empty.
TEST(SessionBesideServerTest, ControllersQueuedAtShutdownAreDropped) {
  test::TempDir state;
  test::MixerdProcess server(state.File("mixer.state"));
  ASSERT_TRUE(server.Start()) << server.Errors();
  test::ServerSession program;
  CBridgeSession& session = program.session;
  session.LoadMainSettings();
  session.InitPages();
  ASSERT_TRUE(session.Mixer().Connect());
  session.Page(1).Commit(std::vector<std::string>{"7", "-1", "-1", "-1", "-1", "-1", "-1"});
  // Everything the server holds, as vantrel-mixerctl prints it.
  const auto dump = [] { return test::RunCommand({test::MixerctlProgram(), "dump"}).out; };
  const std::string initial = dump();
  ASSERT_TRUE(program.midi.controllers.Push({7, 100}));
  session.DrainControllers();
  ASSERT_TRUE(test::PumpLinkUntil(
      program.link, [&] { return dump() != initial; }, std::chrono::seconds(10)));
  const std::string applied = dump();

  ASSERT_TRUE(program.midi.controllers.Push({7, 64}));
  session.Shutdown();
  session.DrainControllers();
  session.OnActivate();
  test::PumpLinkUntil(
      program.link, [] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(dump(), applied);
  ControllerChange left;
  EXPECT_FALSE(program.midi.controllers.Pop(left));
}

TEST_F(SessionTest, LearningTakesTheNextChangeInsteadOfApplyingItAndOnlyThatOne) {
  auto session = Make();
  session->LoadMainSettings();
  session->InitPages();
  session->Page(1).Commit(std::vector<std::string>{"7", "-1", "-1", "-1", "-1", "-1", "-1"});
  std::vector<std::pair<LearnTarget, int>> heard;
  session->Learn().Arm({1, 2}, [&](LearnTarget target, const ControllerChange& change) {
    heard.emplace_back(target, change.controller);
  });
  // A note makes no controller number: it passes by a fader's learn.
  ASSERT_TRUE(m_midi.controllers.Push({36, 100, 0, true}));
  ASSERT_TRUE(m_midi.controllers.Push({7, 90}));
  ASSERT_TRUE(m_midi.controllers.Push({7, 91}));
  session->DrainControllers();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].first, (LearnTarget{1, 2}));
  EXPECT_EQ(heard[0].second, 7);
  EXPECT_FALSE(session->Learn().Target());
  EXPECT_EQ(session->Stats().controllersApplied, 1u);
  EXPECT_EQ(session->Page(1).Readout(0), "91");
}

TEST_F(SessionTest, TheHeadlessBridgeNeverWritesTheProfile) {
  m_settings.Write(CcMappingKey("A1VolCC"), "7");
  const std::string before = ProfileText();
  {
    auto session = Make(false);
    session->LoadMainSettings();
    session->InitPages();
    EXPECT_EQ(session->Page(2).Controller(2), 7);
    session->Shutdown();
    session->Page(2).OnPageHide();
  }
  EXPECT_EQ(ProfileText(), before);
}

} // namespace
} // namespace vantrel
