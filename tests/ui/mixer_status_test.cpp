// The window over the real vantrel-mixerd on the test bus, whose mapping
// file has a mistake: the window reports the service's back end and tells
// of the mistake, which would otherwise reach only the service's stderr.

#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/mixerd_fixture.h"
#include "support/mixerd_server.h"
#include "support/server_session.h"
#include "support/temp_dir.h"
#include "ui/app/bridge_dlg.h"
#include "ui_fixture.h"

#include <QTest>

#include <fstream>

using namespace vantrel;
using namespace vantrel::test;

class MixerStatusTest : public QObject {
  Q_OBJECT
private slots:
  void aMistakeInTheMappingFileIsShownInTheWindow();
};

void MixerStatusTest::aMistakeInTheMappingFileIsShownInTheWindow() {
  QVERIFY(StopMixerNameOwner());
  TempDir stateDir;
  MixerdProcess server(stateDir.File("mixer.state"),
                       BackendWithMapping(stateDir, "[Wave]\nstream = no.such.property = x\n"));
  QVERIFY(server.Start());

  ServerSession program;
  MessageCatcher catcher;
  std::vector<std::string> lines;
  {
    ui::CBridgeDlg window(
        program.session, program.midi.controllers.WakeFd(),
        ui::WindowOptions{true, [&lines](const std::string& line) { lines.push_back(line); },
                          [&program] { return program.link.BackendStatus(); }});
    window.OnInitDialog();
    window.close();
  }
  const std::string mistake =
      stateDir.File("mixer.ini") + ":2: unknown property \"no.such.property\"";
  const auto mixerLine = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("Mixer: connected, back end virtual: ", 0) == 0;
  });
  QVERIFY(mixerLine != lines.end());
  QVERIFY2(mixerLine->find(mistake) != std::string::npos, mixerLine->c_str());
  QCOMPARE(catcher.messages.size(), 1);
  QVERIFY(catcher.messages.front().contains(QStringLiteral("mapping file")));
  QVERIFY(catcher.details.front().contains(QString::fromStdString(mistake)));
  QCOMPARE(server.Stop(), 0);
}

QTEST_MAIN(MixerStatusTest)
#include "mixer_status_test.moc"
