// The window follows the mixer: a change made by another client of the real
// vantrel-mixerd on the test bus shows on the page on screen, without any
// Control Change and without writing the mixer back, and a fader the user
// holds stays where the user holds it.

#include "app/bridge_dlg.h"
#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "pages/mixer_page.h"
#include "settings/settings.h"
#include "support/mixerd_server.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QSlider>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

MixerLinkOptions ExistingServerOnly() {
  MixerLinkOptions options;
  options.startServer = false;
  return options;
}

std::size_t Row(std::string_view key) {
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    if (kCatalogue[row].key == key) {
      return row;
    }
  }
  return 0;
}

} // namespace

class LiveSyncTest : public QObject {
  Q_OBJECT
private slots:
  void aChangeMadeElsewhereMovesTheFaderOnScreenAndNothingElse();
};

void LiveSyncTest::aChangeMadeElsewhereMovesTheFaderOnScreenAndNothingElse() {
  QVERIFY(StopMixerNameOwner());
  MixerdTempDir stateDir;
  MixerdProcess server(stateDir.Path() + "/mixer.state");
  QVERIFY(server.Start());
  CMixerLink other(ExistingServerOnly());
  other.Startup();
  QCOMPARE(other.Create(), kMixerOk);

  TempDir dir;
  MidiProcessObjects midi;
  CMixerLink link(ExistingServerOnly());
  CSettings settings(dir.Path() / "vantrel.INI");
  CBridgeSession session(&settings, true, midi.input, midi.output, midi.controllers, link);
  RecordingSink sink;
  {
    ui::CBridgeDlg window(session, midi.controllers.WakeFd());
    window.OnInitDialog();
    window.show();
    session.Context().midiOut = &sink;
    ui::CMixerPage* master = window.PageOfTemplate(PageByNumber(1)->templateId);
    QVERIFY(master != nullptr);
    const std::size_t aux1 = Row("Aux1CC");
    const std::size_t aux2 = Row("Aux2CC");
    QSlider* aux1Fader = master->Fader(*master->Model().StripOfRow(aux1));
    QSlider* aux2Fader = master->Fader(*master->Model().StripOfRow(aux2));

    SetParameter(*other.Server(), kCatalogue[aux1], 100 * 516);
    QTRY_COMPARE_WITH_TIMEOUT(aux1Fader->value(), 100, 10000);
    QCOMPARE(master->Readout(*master->Model().StripOfRow(aux1))->text(), QStringLiteral("100"));

    // The user holds Aux 2 while another change arrives.
    aux2Fader->setSliderDown(true);
    const int held = aux2Fader->value();
    SetParameter(*other.Server(), kCatalogue[aux2], 33 * 516);
    SetParameter(*other.Server(), kCatalogue[aux1], 20 * 516);
    QTRY_COMPARE_WITH_TIMEOUT(aux1Fader->value(), 20, 10000);
    QCOMPARE(aux2Fader->value(), held);
    aux2Fader->setSliderDown(false);

    QVERIFY(sink.sent.empty());
    int32_t level = 0;
    QCOMPARE(other.Server()->GetBusLevel(0, level), kMixerOk);
    QCOMPARE(level, 20 * 516); // read, never written back
    window.close();
  }
  other.Shutdown();
}

QTEST_MAIN(LiveSyncTest)
#include "live_sync_test.moc"
