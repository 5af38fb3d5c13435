// The window follows the mixer: a change made by another client of the real
// vantrel-mixerd on the test bus shows on the page on screen, without any
// Control Change and without writing the mixer back, and a fader the user
// holds stays where the user holds it.

#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "strip_ids.h"
#include "support/mixerd_fixture.h"
#include "support/mixerd_server.h"
#include "support/server_session.h"
#include "support/slow_mixer.h"
#include "support/temp_dir.h"
#include "ui/app/bridge_dlg.h"
#include "ui/dialog/controls.h"
#include "ui/pages/mixer_page.h"
#include "ui/res/control_ids.h"
#include "window_run.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSlider>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::size_t Row(std::string_view key) {
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    if (kCatalogue[row].key == key) {
      return row;
    }
  }
  return 0;
}

// The window with the mixer link and MIDI objects it runs on.
struct Window : ServerSession {
  ui::CBridgeDlg window{session, midi.controllers.WakeFd()};

  Window() {
    window.OnInitDialog();
    window.show();
  }
  ~Window() { window.close(); }
  ui::CMixerPage* Page(int number) {
    return window.PageOfTemplate(PageByNumber(number)->templateId);
  }
  template <typename T> T* Control(int number, int id) {
    return Page(number)->findChild<T*>(QString::number(id));
  }
};

} // namespace

class LiveSyncTest : public QObject {
  Q_OBJECT
private slots:
  void aChangeMadeElsewhereMovesTheFaderOnScreenAndNothingElse();
  void changesElsewhereNeverClobberWhatTheUserDoes();
  void aSlowServersValuesShowWithoutAnyGetterCall();
};

void LiveSyncTest::aChangeMadeElsewhereMovesTheFaderOnScreenAndNothingElse() {
  QVERIFY(StopMixerNameOwner());
  TempDir stateDir;
  MixerdProcess server(stateDir.File("mixer.state"));
  QVERIFY(server.Start());
  CMixerLink other(ExistingServerOnly());
  other.Startup();
  QCOMPARE(other.Create(), kMixerOk);

  ServerSession program;
  {
    ui::CBridgeDlg window(program.session, program.midi.controllers.WakeFd());
    window.OnInitDialog();
    window.show();
    ChooseRecordingOutput(window, *program.recorded);
    ui::CMixerPage* master = window.PageOfTemplate(PageByNumber(1)->templateId);
    QVERIFY(master != nullptr);
    const std::size_t aux1 = Row("Aux1CC");
    const std::size_t aux2 = Row("Aux2CC");
    QSlider* aux1Fader = FaderOf(*master, *master->Model().StripOfRow(aux1));
    QSlider* aux2Fader = FaderOf(*master, *master->Model().StripOfRow(aux2));

    SetParameter(*other.Server(), kCatalogue[aux1], 100 * 516);
    QTRY_COMPARE_WITH_TIMEOUT(aux1Fader->value(), 100, 10000);
    QCOMPARE(ReadoutOf(*master, *master->Model().StripOfRow(aux1))->text(), QStringLiteral("100"));

    // The user holds Aux 2 while another change arrives.
    aux2Fader->setSliderDown(true);
    const int held = aux2Fader->value();
    SetParameter(*other.Server(), kCatalogue[aux2], 33 * 516);
    SetParameter(*other.Server(), kCatalogue[aux1], 20 * 516);
    QTRY_COMPARE_WITH_TIMEOUT(aux1Fader->value(), 20, 10000);
    QCOMPARE(aux2Fader->value(), held);
    aux2Fader->setSliderDown(false);

    QVERIFY(program.recorded->sent.empty());            // nothing to the controller
    QCOMPARE(ServerReads({"BusLevel", "0"}), 20 * 516); // read, never written back
    window.close();
  }
  other.Shutdown();
}

// Values changed elsewhere touch only what they name: not text typed and
// not committed, not a read-out an incoming controller just set, not a gain
// the user just set.
void LiveSyncTest::changesElsewhereNeverClobberWhatTheUserDoes() {
  QVERIFY(StopMixerNameOwner());
  TempDir stateDir;
  MixerdProcess server(stateDir.File("mixer.state"));
  QVERIFY(server.Start());
  Window w;
  ui::CMixerPage* master = w.Page(1);
  QVERIFY(master != nullptr);
  QSlider* aux3 = w.Control<QSlider>(1, kMasterAux3.fader);
  const auto setElsewhere = [&](int32_t bus, int32_t level) {
    QCOMPARE(RunCommand(
                 {MixerctlProgram(), "set", "BusLevel", std::to_string(bus), std::to_string(level)})
                 .exitCode,
             0);
  };

  // Text typed into a CC field and not committed stays.
  ui::CNumberEdit* aux2Field = w.Control<ui::CNumberEdit>(1, kMasterAux2.edit);
  aux2Field->setFocus();
  aux2Field->selectAll();
  QTest::keyClicks(aux2Field, "55");
  setElsewhere(2, 1000);
  QTRY_COMPARE_WITH_TIMEOUT(aux3->value(), 1, 10000);
  QCOMPARE(aux2Field->text(), QStringLiteral("55"));

  // The read-out of an incoming controller keeps the incoming value after
  // the server answers (a read-back would say 126).
  ui::CNumberEdit* aux1Field = w.Control<ui::CNumberEdit>(1, kMasterAux1.edit);
  aux1Field->setText("20");
  QTest::keyClick(aux1Field, Qt::Key_Return);
  QLabel* aux1Readout = w.Control<QLabel>(1, kMasterAux1.readout);
  w.midi.controllers.Push({20, 127, 0});
  QTRY_COMPARE_WITH_TIMEOUT(aux1Readout->text(), QStringLiteral("127"), 10000);
  QTRY_COMPARE_WITH_TIMEOUT(ServerReads({"BusLevel", "0"}), 127 * 512, 10000);
  setElsewhere(2, 2000);
  QTRY_COMPARE_WITH_TIMEOUT(aux3->value(), 3, 10000);
  QCOMPARE(aux1Readout->text(), QStringLiteral("127"));

  // A gain set on screen stays where the user put it.
  QSlider* volL = w.Control<QSlider>(1, kMasterVolL.fader);
  volL->setValue(5);
  setElsewhere(2, 3000);
  QTRY_COMPARE_WITH_TIMEOUT(aux3->value(), 5, 10000);
  QCOMPARE(volL->value(), 5);
  QCOMPARE(w.Control<QLabel>(1, kMasterVolL.readout)->text(), QStringLiteral("5"));
}

// A server that takes 0.9 s for every answer: the page shows its values
// once its one state answer arrives, without a single per-value getter,
// page switches never wait for it, and a change it reports moves its fader.
void LiveSyncTest::aSlowServersValuesShowWithoutAnyGetterCall() {
  QVERIFY(StopMixerNameOwner());
  SlowMixer slow(std::chrono::milliseconds(900));
  QVERIFY(slow.Running());
  Window w;
  QSlider* volL = w.Control<QSlider>(1, kMasterVolL.fader);
  QSlider* aux1 = w.Control<QSlider>(1, kMasterAux1.fader);
  const int level = FaderValueFromReading(kCatalogue[Row("Aux1CC")], SlowMixer::kStateLevel);
  QTRY_COMPARE_WITH_TIMEOUT(aux1->value(), level, 5000);
  QVERIFY(volL->value() != 0);

  auto* chooser = w.window.findChild<QComboBox*>(QString::number(ui::kPageChooserId));
  QElapsedTimer timer;
  for (int index : {1, 5, 0}) {
    timer.start();
    if (chooser != nullptr) {
      chooser->setCurrentIndex(index);
      QCoreApplication::processEvents();
    }
    // Each per-value getter would cost 0.9 s.
    QVERIFY2(timer.elapsed() < 800, qPrintable(QString::number(timer.elapsed())));
  }

  slow.EmitChange(mixer_dbus::Method::GetBusLevel, {0}, {10 * 516});
  QTRY_COMPARE_WITH_TIMEOUT(aux1->value(), 10, 5000);
  QCOMPARE(slow.GetterCalls(), 0);
}

QTEST_MAIN(LiveSyncTest)
#include "live_sync_test.moc"
