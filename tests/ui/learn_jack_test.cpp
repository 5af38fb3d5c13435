// MIDI learn in the window, with a JACK peer playing into the program's
// input on the private JACK server: the context menu of a CC field offers
// Learn, the next Control Change fills the field and commits the page
// without reaching the mixer, and Esc or Learn again cancels.

#include "app/bridge_dlg.h"
#include "dialog/controls.h"
#include "midi/midi_backend.h"
#include "pages/mixer_page.h"
#include "support/jack_peer.h"
#include "window_run.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace vantrel;
using namespace vantrel::test;

namespace {

QAction* LearnAction(QMenu& menu) {
  for (QAction* action : menu.actions()) {
    if (action->text() == QStringLiteral("Learn")) {
      return action;
    }
  }
  return nullptr;
}

// Chooses Learn from the field's context menu, as a click would.
bool ClickLearn(ui::CMixerPage& page, std::size_t strip) {
  std::unique_ptr<QMenu> menu(page.FieldMenu(strip));
  QAction* learn = LearnAction(*menu);
  if (learn == nullptr) {
    return false;
  }
  learn->trigger();
  return true;
}

} // namespace

class LearnJackTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void theNextControlChangeFillsTheFieldCommitsAndIsNotApplied();
  void escapeOrASecondClickCancelsAndChangesAreAppliedAgain();

private:
  void Play(std::vector<uint8_t> bytes) { QVERIFY(m_peer->Send(0, std::move(bytes))); }

  std::unique_ptr<JackPeer> m_peer;
  std::unique_ptr<Run> m_run;
  ui::CMixerPage* m_page = nullptr;
};

void LearnJackTest::init() {
  QCOMPARE(QString::fromStdString(JackTestServerProblem()), QString());
  m_peer = std::make_unique<JackPeer>();
  QCOMPARE(QString::fromStdString(m_peer->Error()), QString());
  QCOMPARE(SelectMidiApi(MidiApi::Jack), MidiApi::Jack);
  const std::vector<std::string> inputs = MidiInputNames();
  const auto found = std::find(inputs.begin(), inputs.end(), m_peer->OutputName(0));
  QVERIFY(found != inputs.end());
  m_run = std::make_unique<Run>(
      "[Midi Options]\nDefaultMidiIn=" + std::to_string(found - inputs.begin()) + "\n");
  m_run->Start();
  QVERIFY(m_run->midi.input.IsStarted());
  m_page = m_run->window->PageOfTemplate(kMasterPageTemplate);
  QVERIFY(m_page != nullptr);
}

void LearnJackTest::cleanup() {
  m_run.reset();
  m_peer.reset();
}

void LearnJackTest::theNextControlChangeFillsTheFieldCommitsAndIsNotApplied() {
  QVERIFY(ClickLearn(*m_page, 0));
  QCOMPARE(m_page->Learning(), std::optional<std::size_t>(0));
  {
    std::unique_ptr<QMenu> menu(m_page->FieldMenu(0));
    QVERIFY(LearnAction(*menu)->isChecked());
  }
  Play({0xB5, 21, 99});
  QTRY_COMPARE(m_page->Field(0)->text(), QStringLiteral("21"));
  QCOMPARE(m_page->Model().Controller(0), 21);
  QCOMPARE(m_page->Learning(), std::nullopt);
  // Learned, not applied: the read-out kept its value, nothing was counted.
  QCOMPARE(m_page->Readout(0)->text(), QStringLiteral("0"));
  QCOMPARE(m_run->session->Stats().controllersApplied, uint64_t{0});

  Play({0xB0, 21, 64});
  QTRY_COMPARE(m_page->Readout(0)->text(), QStringLiteral("64"));
  // Saved as a commit by Enter is: when the page leaves the screen.
  m_run->window->SelectPage(kAnalog12PageTemplate);
  QVERIFY(ReadFile(m_run->profile).find("Aux1CC=21\n") != std::string::npos);
}

void LearnJackTest::escapeOrASecondClickCancelsAndChangesAreAppliedAgain() {
  m_page->Field(0)->setText(QStringLiteral("7"));
  m_page->UpdateData(true);
  QVERIFY(ClickLearn(*m_page, 0));
  QTest::keyClick(m_page->Field(0), Qt::Key_Escape);
  QCOMPARE(m_page->Learning(), std::nullopt);
  QVERIFY(ClickLearn(*m_page, 0));
  QVERIFY(ClickLearn(*m_page, 0));
  QCOMPARE(m_page->Learning(), std::nullopt);
  QVERIFY(!m_run->session->Learn().Target());
  Play({0xB0, 7, 33});
  QTRY_COMPARE(m_page->Readout(0)->text(), QStringLiteral("33"));
  QCOMPARE(m_page->Field(0)->text(), QStringLiteral("7"));
}

QTEST_MAIN(LearnJackTest)
#include "learn_jack_test.moc"
