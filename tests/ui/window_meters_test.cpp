// The window's level meters on a real sound server (run through
// scripts/with-sound-server.sh): a sine of known peak played into a stream
// bound to Wave shows on the meter beside Wave's volume fader within 1 dB,
// and the server measures nothing once "Show meters" is off.

#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "pages/page_table.h"
#include "settings/settings.h"
#include "support/mixerd_fixture.h"
#include "support/mixerd_server.h"
#include "support/sound_server.h"
#include "support/temp_dir.h"
#include "ui/app/bridge_dlg.h"
#include "ui/pages/level_meter.h"
#include "ui/pages/mixer_page.h"
#include "ui/res/control_ids.h"
#include "window_run.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <fstream>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr double kSineAmplitude = 0.5;

} // namespace

class WindowMetersTest : public QObject {
  Q_OBJECT
private slots:
  void aSineOnWaveShowsBesideItsFaderAndOffMeasuresNothing();
};

void WindowMetersTest::aSineOnWaveShowsBesideItsFaderAndOffMeasuresNothing() {
  if (qEnvironmentVariableIsEmpty("VANTREL_TEST_SOUND_SERVER")) {
    QSKIP("needs a private sound server: run through scripts/with-sound-server.sh");
  }
  TempDir dir;
  WriteSine(dir.File("sine.raw"), 30, kSineAmplitude);
  MixerdProcess server(
      dir.File("mixer.state"),
      BackendWithMapping(dir, "[Wave]\nstream = application.name ~ ^vantrel_sine$\n", "pulse"));
  QVERIFY2(server.Start(), server.Errors().c_str());
  // Unity on Wave, so the stream's level is the sine's.
  QCOMPARE(RunCommand({MixerctlProgram(), "set", "SourceVolume", "2", "0", "65535"}).exitCode, 0);
  pid_t player = StartProgram({"/usr/bin/pacat", "--playback", "--raw",
                               "--property=application.name=vantrel_sine", dir.File("sine.raw")});
  QVERIFY(Eventually([] { return !StreamVolume("vantrel_sine").empty(); }));

  std::ofstream(dir.File("vantrel.INI")) << "[Program Options]\nShowMeters=1\n";
  MidiProcessObjects midi;
  CMixerLink link{ExistingServerOnly()};
  CSettings settings{dir.Path() / "vantrel.INI"};
  CBridgeSession session{&settings, midi.input, midi.output, midi.controllers, link};
  ui::CBridgeDlg window{session, midi.controllers.WakeFd()};
  window.OnInitDialog();
  window.show();
  auto* chooser = window.findChild<QComboBox*>(QString::number(ui::kPageChooserId));
  const int item = chooser->findText(QStringLiteral("Wave & Midi"));
  QVERIFY(item >= 0);
  chooser->setCurrentIndex(item);
  emit chooser->activated(item);

  const std::array<int32_t, 2> wave{kSourceWave, 0};
  const std::size_t waveSlot = *mixer_dbus::ValueSlot(mixer_dbus::Method::GetSourceVolume, wave);
  ui::CMixerPage* page = window.PageOfNumber(session.State().currentPage);
  QVERIFY(page != nullptr);
  ui::CLevelMeter* meter = nullptr;
  for (std::size_t strip = 0; strip < page->Model().StripCount(); ++strip) {
    if (ValueSlotOf(page->Model().ParameterOfStrip(strip)) == waveSlot) {
      meter = MeterOf(*page, strip);
    }
  }
  QVERIFY(meter != nullptr && meter->isVisible());
  const double sineDb = 20 * std::log10(kSineAmplitude);
  // Several updates in a row at the sine's level, as the event loop runs.
  int steady = 0;
  QElapsedTimer waited;
  waited.start();
  while (steady < 5 && waited.elapsed() < 15000) {
    QTest::qWait(40);
    const bool near = ShownLevel(*meter) && std::abs(*ShownLevel(*meter) - sineDb) <= 1.0;
    steady = near ? steady + 1 : 0;
  }
  QVERIFY2(steady >= 5, qPrintable(meter->toolTip()));

  QAction* show = nullptr;
  for (QAction* action : window.actions()) {
    if (action->text() == QStringLiteral("Show &meters")) {
      show = action;
    }
  }
  QVERIFY(show != nullptr && show->isChecked());
  show->trigger();
  QVERIFY(meter->isHidden());
  QVERIFY(Eventually([] {
    return Pactl({"list", "source-outputs"}).find("Vantrel level meter") == std::string::npos;
  }));
  window.close();
  EndProgram(player);
}

QTEST_MAIN(WindowMetersTest)
#include "window_meters_test.moc"
