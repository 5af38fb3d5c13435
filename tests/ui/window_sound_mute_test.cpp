// A mute made on the sound server, end to end: the window runs over the
// real vantrel-mixerd (pulse back end, a private PipeWire) with its MIDI on
// a JACK peer; muting the default sink with pactl lights the master's mute
// button at the peer and strikes the master's read-outs through on screen,
// and unmuting turns both back; a mute set with vantrel-mixerctl does the
// same and mutes the sink. CTest runs it under
// scripts/with-sound-server.sh pipewire; elsewhere it skips.

#include "app/bridge_session.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "strip_ids.h"
#include "support/jack_peer.h"
#include "support/mixerd_fixture.h"
#include "support/mixerd_server.h"
#include "support/sound_server.h"
#include "support/temp_dir.h"
#include "ui/app/bridge_dlg.h"
#include "ui/pages/mixer_page.h"

#include <QLabel>
#include <QTest>

#include <algorithm>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kButton = 20;
constexpr int kOutChannel = 3; // as the profile writes it, 1-based

int IndexOf(const std::vector<std::string>& names, const std::string& name) {
  const auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

// The light of the master's mute button as the peer last received it: 127,
// 0, or -1 before any.
int LastLight(JackPeer& peer) {
  int light = -1;
  for (const PeerMessage& message : peer.ReceivedAfterQuiet()) {
    if (message.bytes.size() == 3 && message.bytes[0] == 0xB0 + kOutChannel - 1 &&
        message.bytes[1] == kButton) {
      light = message.bytes[2];
    }
  }
  return light;
}

} // namespace

class WindowSoundMuteTest : public QObject {
  Q_OBJECT
private slots:
  void aSinkMutedWithPactlLightsTheButtonAndShowsOnScreen();
};

void WindowSoundMuteTest::aSinkMutedWithPactlLightsTheButtonAndShowsOnScreen() {
  if (std::getenv("VANTREL_TEST_SOUND_SERVER") == nullptr) {
    QSKIP("needs a private sound server: run through scripts/with-sound-server.sh");
  }
  QCOMPARE(QString::fromStdString(JackTestServerProblem()), QString());
  Pactl({"set-sink-mute", "@DEFAULT_SINK@", "0"});
  QVERIFY(StopMixerNameOwner());
  TempDir stateDir;
  MixerdProcess server(stateDir.File("mixer.state"), {"--backend", "pulse"});
  QVERIFY(server.Start());

  JackPeer peer;
  QCOMPARE(QString::fromStdString(peer.Error()), QString());
  QCOMPARE(SelectMidiApi(MidiApi::Jack), MidiApi::Jack);
  TempDir dir;
  CSettings settings(dir.Path() / "vantrel.INI");
  const int in = IndexOf(MidiInputNames(), peer.OutputName(0));
  const int out = IndexOf(MidiOutputNames(), peer.InputName(0));
  QVERIFY(in >= 0 && out >= 0);
  settings.WriteInt(kDefaultMidiInKey, in);
  settings.WriteInt(kDefaultMidiOutKey, out);
  settings.WriteInt(kDefaultMidiOutChannelKey, kOutChannel);
  settings.Write(ButtonMappingKey("VolMute"), "CC " + std::to_string(kButton));

  MidiProcessObjects midi;
  CMixerLink link(ExistingServerOnly());
  CBridgeSession session(&settings, midi.input, midi.output, midi.controllers, link);
  ui::CBridgeDlg window(session, midi.controllers.WakeFd());
  window.OnInitDialog();
  window.show();
  ui::CMixerPage* master = window.PageOfTemplate(PageByNumber(1)->templateId);
  QVERIFY(master != nullptr);
  auto* left = master->findChild<QLabel*>(QString::number(kMasterVolL.readout));
  auto* right = master->findChild<QLabel*>(QString::number(kMasterVolR.readout));
  QVERIFY(left != nullptr && right != nullptr);

  // Opening the output lights the button as the mute is: off.
  QTRY_COMPARE_WITH_TIMEOUT(LastLight(peer), 0, 10000);
  QVERIFY(!left->font().strikeOut());

  Pactl({"set-sink-mute", "@DEFAULT_SINK@", "1"});
  QTRY_COMPARE_WITH_TIMEOUT(LastLight(peer), 127, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(left->font().strikeOut() && right->font().strikeOut(), 10000);
  QCOMPARE(left->toolTip(), QStringLiteral("Muted"));
  const CommandResult held = RunCommand({MixerctlProgram(), "get", "MasterMute"});
  QCOMPARE(QString::fromStdString(held.out).trimmed(), QStringLiteral("1"));

  Pactl({"set-sink-mute", "@DEFAULT_SINK@", "0"});
  QTRY_COMPARE_WITH_TIMEOUT(LastLight(peer), 0, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(!left->font().strikeOut() && !right->font().strikeOut(), 10000);

  // The same from another client of the mixer, which mutes the sink too.
  QCOMPARE(RunCommand({MixerctlProgram(), "set", "MasterMute", "1"}).exitCode, 0);
  QTRY_COMPARE_WITH_TIMEOUT(LastLight(peer), 127, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(left->font().strikeOut() && right->font().strikeOut(), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(SinkMuted("vantrel_out"), 10000);
  window.close();
}

QTEST_MAIN(WindowSoundMuteTest)
#include "window_sound_mute_test.moc"
