// Devices by name and devices that come and go, over a MIDI system in
// memory whose lists the tests change.

#include "app/bridge_session.h"

#include "midi/controller_queue.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/fake_midi_devices.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vantrel {
namespace {

using Lines = std::vector<std::string>;

class FollowingSession : public ::testing::Test {
protected:
  test::TempDir dir;
  std::filesystem::path profile = dir.Path() / "vantrel.INI";
  CSettings settings{profile};
  std::shared_ptr<test::FakeMidiDevices> devices = std::make_shared<test::FakeMidiDevices>();
  std::mutex receiveLock;
  CMidiOutPort output{test::MakeFakeOutBackend(devices)};
  CBridgeMidiIn input{receiveLock, test::MakeFakeInBackend(devices)};
  CControllerQueue queue;
  test::ScopedEnv noBus{"DBUS_SESSION_BUS_ADDRESS", test::kNoBusAddress};
  CMixerLink link;
  test::CountingDeviceWatch watch;
  std::unique_ptr<CBridgeSession> session;

  void SetUp() override {
    devices->inputs = {"Keys:out", "Pads:out", "Ctl:out"};
    devices->outputs = {"Synth:in", "Ctl:in"};
  }

  // Starts as the program does with this profile; the log then starts empty.
  void Start(const std::string& profileText) {
    std::ofstream(profile) << profileText;
    session = std::make_unique<CBridgeSession>(&settings, input, output, queue, link);
    session->Devices().SetWatch(&watch);
    session->LoadMainSettings();
    session->Devices().OpenSaved();
    devices->log.clear();
  }
  std::string Finish() {
    session->Shutdown();
    std::ifstream in(profile);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  const AppState& State() const { return session->State(); }
};

TEST_F(FollowingSession, ASavedNameWinsOverTheIndexAndTheIndexFollowsIt) {
  devices->inputs = {"Keys:out", "Pads:out", "Ctl:out"};
  std::ofstream(profile) << "[Midi Options]\nDefaultMidiIn=0\nDefaultMidiOut=0\n"
                            "DefaultMidiInName=Ctl:out\nDefaultMidiOutName=Ctl:in\n";
  session = std::make_unique<CBridgeSession>(&settings, input, output, queue, link);
  session->LoadMainSettings();
  session->Devices().OpenSaved();
  EXPECT_EQ(devices->log, (Lines{"out open 1", "in open 2", "in start"}));
  EXPECT_EQ(State().inputDevice, 2);
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).selected, 3);
  Finish();
  EXPECT_EQ(settings.Read(kDefaultMidiInKey), "2");
  EXPECT_EQ(settings.Read(kDefaultMidiOutKey), "1");
  EXPECT_EQ(settings.Read(kDefaultMidiInNameKey), "Ctl:out");
}

TEST_F(FollowingSession, NamesMatchWithoutTheSequencerAddressAndUnknownNamesLeaveTheIndex) {
  devices->inputs = {"Keys:Keys MIDI 1 20:0", "Ctl:Ctl MIDI 1 24:0"};
  devices->outputs = {"Synth:in"};
  Start("[Midi Options]\nDefaultMidiIn=0\nDefaultMidiInName=Ctl:Ctl MIDI 1 28:0\n"
        "DefaultMidiOut=0\nDefaultMidiOutName=Gone:in\n");
  EXPECT_EQ(State().inputDevice, 1);
  EXPECT_EQ(State().outputDevice, 0);
  // The index opened the device at it, and that device's name is kept.
  EXPECT_EQ(session->Devices().Name(MidiDirection::Output), "Synth:in");
}

TEST_F(FollowingSession, AProfileWithoutNamesGetsNoneUntilADeviceIsChosen) {
  Start("[Midi Options]\nDefaultMidiIn=-1\nDefaultMidiOut=-1\n");
  EXPECT_TRUE(devices->log.empty());
  const std::string untouched = Finish();
  EXPECT_EQ(untouched.find("Name"), std::string::npos) << untouched;

  Start("[Midi Options]\nDefaultMidiIn=1\nDefaultMidiOut=-1\n");
  const std::string chosen = Finish();
  EXPECT_NE(chosen.find("DefaultMidiInName=Pads:out\n"), std::string::npos) << chosen;
  EXPECT_EQ(chosen.find("DefaultMidiOutName"), std::string::npos) << chosen;
}

TEST_F(FollowingSession, AVanishedDeviceIsClosedSaidOnceAndReopenedByNameWhereverItReturns) {
  Start("[Midi Options]\nDefaultMidiIn=2\nDefaultMidiOut=1\n");
  devices->inputs = {"Keys:out", "Pads:out"};
  devices->outputs = {"Synth:in"};
  DeviceFollowResult gone = session->Devices().Follow();
  EXPECT_EQ(
      gone.lines,
      (Lines{"MIDI input: device \"Ctl:out\" is gone; it is opened again when it comes back",
             "MIDI output: device \"Ctl:in\" is gone; it is opened again when it comes back"}));
  EXPECT_TRUE(gone.changed);
  EXPECT_EQ(devices->log, (Lines{"in stop", "in close 2", "out close 1"}));
  EXPECT_EQ(watch.follows, 2);
  const DeviceChooser chooser = session->Devices().Chooser(MidiDirection::Input);
  EXPECT_EQ(chooser.items, (Lines{"None", "Keys:out", "Pads:out", "Ctl:out (gone)"}));
  EXPECT_EQ(chooser.selected, 3);
  EXPECT_EQ(chooser.goneItem, 3);
  EXPECT_TRUE(session->Devices().Follow().lines.empty());

  devices->log.clear();
  devices->inputs = {"Ctl:out", "Keys:out", "Pads:out"};
  devices->outputs = {"Synth:in", "Other:in", "Ctl:in"};
  const DeviceFollowResult back = session->Devices().Follow();
  EXPECT_EQ(back.lines, (Lines{"MIDI input: reopened device 0 (Ctl:out)",
                               "MIDI output: reopened device 2 (Ctl:in)"}));
  EXPECT_EQ(devices->log, (Lines{"in open 0", "in start", "out open 2"}));
  EXPECT_EQ(State().inputDevice, 0);
  EXPECT_EQ(State().outputDevice, 2);
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).goneItem, -1);
  EXPECT_TRUE(output.IsOpen());
  // Gone at exit: the last index and the name are saved. The reopened input
  // was started, so going stops it before it closes.
  devices->log.clear();
  devices->inputs.clear();
  session->Devices().Follow();
  EXPECT_EQ(devices->log, (Lines{"in stop", "in close 0"}));
  Finish();
  EXPECT_EQ(settings.Read(kDefaultMidiInKey), "0");
  EXPECT_EQ(settings.Read(kDefaultMidiInNameKey), "Ctl:out");
}

TEST_F(FollowingSession, AnOpenDeviceThatMovesInTheListStaysOpenAndSelected) {
  Start("[Midi Options]\nDefaultMidiIn=1\n");
  devices->inputs.insert(devices->inputs.begin(), "New:out");
  const DeviceFollowResult moved = session->Devices().Follow();
  EXPECT_TRUE(moved.changed);
  EXPECT_TRUE(moved.lines.empty());
  EXPECT_TRUE(devices->log.empty());
  EXPECT_EQ(State().inputDevice, 2);
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).selected, 3);
}

TEST_F(FollowingSession, AReturningDeviceThatCannotOpenIsSaidOnceAndTriedAtTheNextChange) {
  Start("[Midi Options]\nDefaultMidiOut=1\n");
  devices->outputs = {"Synth:in"};
  session->Devices().Follow();
  devices->outputs = {"Synth:in", "Ctl:in"};
  devices->failOpen = true;
  EXPECT_EQ(session->Devices().Follow().lines,
            (Lines{"MIDI output: device \"Ctl:in\" is back but cannot be opened: The device is "
                   "busy."}));
  EXPECT_TRUE(session->Devices().Follow().lines.empty());
  devices->failOpen = false;
  EXPECT_EQ(session->Devices().Follow().lines, (Lines{"MIDI output: reopened device 1 (Ctl:in)"}));
}

TEST_F(FollowingSession, AChosenDeviceMissingAtStartIsWaitedForWhenItsNameIsKnown) {
  devices->inputs = {"Keys:out"};
  Start("[Midi Options]\nDefaultMidiIn=2\nDefaultMidiInName=Ctl:out\n");
  EXPECT_TRUE(session->Devices().IsAwaited(MidiDirection::Input));
  EXPECT_EQ(session->Devices().DescribeSaved({false, true})[1],
            "MIDI input: cannot open device 2; \"Ctl:out\" is opened when it appears");
  devices->inputs = {"Keys:out", "Ctl:out"};
  EXPECT_EQ(session->Devices().Follow().lines, (Lines{"MIDI input: reopened device 1 (Ctl:out)"}));
}

TEST_F(FollowingSession, ChoosingWhileADeviceIsGoneOpensTheChoiceAndNoneForgetsTheName) {
  Start("[Midi Options]\nDefaultMidiIn=1\nDefaultMidiInName=Pads:out\n");
  devices->inputs = {"Keys:out", "Ctl:out"};
  session->Devices().Follow();
  devices->log.clear();
  // The gone device's index now names another device: choosing it opens it.
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 2), DeviceChange::Opened);
  EXPECT_EQ(devices->log, (Lines{"in open 1", "in start"}));
  EXPECT_EQ(session->Devices().Chooser(MidiDirection::Input).goneItem, -1);
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 0), DeviceChange::Closed);
  Finish();
  EXPECT_EQ(settings.Read(kDefaultMidiInKey), "-1");
  EXPECT_EQ(settings.Read(kDefaultMidiInNameKey), "");
}

// An input that opens but cannot start must not count as open: chosen or
// saved, it is closed again and its reason kept for the message box.
TEST_F(FollowingSession, AnInputThatCannotStartIsClosedAndReportedAsAFailedOpen) {
  Start("");
  devices->failStart = true;
  EXPECT_EQ(session->Devices().Choose(MidiDirection::Input, 2), DeviceChange::OpenFailed);
  EXPECT_EQ(devices->log, (Lines{"in open 1", "in start", "in close 1"}));
  EXPECT_EQ(session->Devices().Error(MidiDirection::Input), "The device stopped answering.");
  Finish();

  std::ofstream(profile) << "[Midi Options]\nDefaultMidiIn=0\n";
  session = std::make_unique<CBridgeSession>(&settings, input, output, queue, link);
  session->LoadMainSettings();
  const SavedDevicesResult saved = session->Devices().OpenSaved();
  EXPECT_TRUE(saved.inputFailed);
  EXPECT_EQ(session->Devices().DescribeSaved(saved)[1],
            "MIDI input: cannot open device 0. The device stopped answering.");
  Finish();
}

} // namespace
} // namespace vantrel
