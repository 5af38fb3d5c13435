// The window with a JACK peer playing into the program's input on the
// private JACK server. MIDI learn: the context menu of a CC field offers
// Learn, the next Control Change fills the field and commits the page
// without reaching the mixer, and Esc or Learn again cancels; a fader's menu
// learns a mute button the same way, from a note too, and the strip shows
// the mute the mixer server reports. The activity light:
// lit while messages arrive, with the counters in its tooltip, and a
// control surface that does not answer named there.

#include "midi/device_watch.h"
#include "midi/midi_backend.h"
#include "support/jack_peer.h"
#include "ui/app/bridge_dlg.h"
#include "ui/dialog/activity_light.h"
#include "ui/dialog/controls.h"
#include "ui/pages/mixer_page.h"
#include "ui/res/control_ids.h"
#include "window_run.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <algorithm>
#include <memory>
#include <unistd.h>

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

// The strip that tells the user it waits for a control or a button (its
// field or its read-out says so), or none.
std::optional<std::size_t> LearningStrip(ui::CMixerPage& page) {
  const auto waits = [](const QWidget* widget) {
    return widget != nullptr && widget->toolTip().startsWith(QStringLiteral("Waiting for a"));
  };
  for (std::size_t strip = 0; strip < page.Model().Def().strips.size(); ++strip) {
    if (waits(FieldOf(page, strip)) || waits(ReadoutOf(page, strip))) {
      return strip;
    }
  }
  return std::nullopt;
}

// Whether the light shows lit, read from what it draws.
bool LooksLit(ui::CActivityLight& light) {
  const QImage image = light.grab().toImage();
  return image.pixelColor(image.width() / 2, image.height() / 2) == QColor(60, 200, 70);
}

} // namespace

class WindowJackTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void theNextControlChangeFillsTheFieldCommitsAndIsNotApplied();
  void escapeOrASecondClickCancelsAndChangesAreAppliedAgain();
  void theActivityLightShowsArrivingMessagesAndTheirCounts();
  void aDeviceThatGoesIsShownAsGoneAndOpenedAgainWhenItReturns();
  void aLearnedNoteBecomesTheMuteButtonAndTheStripShowsItsMute();
  void aSurfaceThatDoesNotAnswerIsNamedInTheLightsTooltipUntilItAnswers();

private:
  void Play(std::vector<uint8_t> bytes) { QVERIFY(m_peer->Send(0, std::move(bytes))); }
  // JACK loses a period's MIDI when a client misses its deadline, which a
  // busy machine sees now and then: a message whose effect does not show
  // within two seconds is played again, up to three times.
  template <typename Done> bool PlayUntil(const std::vector<uint8_t>& bytes, Done done) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (!m_peer->Send(0, bytes)) {
        return false;
      }
      if (QTest::qWaitFor(done, 2000)) {
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<JackPeer> m_peer;
  std::unique_ptr<IDeviceWatch> m_watch;
  std::unique_ptr<Run> m_run;
  ui::CMixerPage* m_page = nullptr;
};

void WindowJackTest::init() {
  QCOMPARE(QString::fromStdString(JackTestServerProblem()), QString());
  m_peer = std::make_unique<JackPeer>();
  QCOMPARE(QString::fromStdString(m_peer->Error()), QString());
  QCOMPARE(SelectMidiApi(MidiApi::Jack), MidiApi::Jack);
  const std::vector<std::string> inputs = MidiInputNames();
  const auto found = std::find(inputs.begin(), inputs.end(), m_peer->OutputName(0));
  QVERIFY(found != inputs.end());
  // No mixer server until a test starts one.
  QVERIFY(StopMixerNameOwner());
  m_run = std::make_unique<Run>(
      "[Midi Options]\nDefaultMidiIn=" + std::to_string(found - inputs.begin()) + "\n",
      RunParts{.testBus = true, .systemOutput = true});
  m_watch = MakeSystemDeviceWatch();
  QVERIFY(m_watch != nullptr);
  m_run->session->Devices().SetWatch(m_watch.get());
  m_run->Start();
  // The input is started: what the peer plays arrives.
  QVERIFY(PlayUntil({0xF8}, [&] { return m_run->midi.input.ReceivedCount() > 0; }));
  m_page = m_run->window->PageOfTemplate(kMasterPageTemplate);
  QVERIFY(m_page != nullptr);
}

void WindowJackTest::cleanup() {
  m_run.reset();
  m_watch.reset();
  m_peer.reset();
}

void WindowJackTest::theNextControlChangeFillsTheFieldCommitsAndIsNotApplied() {
  QVERIFY(ClickLearn(*m_page, 0));
  QCOMPARE(LearningStrip(*m_page), std::optional<std::size_t>(0));
  {
    std::unique_ptr<QMenu> menu(m_page->FieldMenu(0));
    QVERIFY(LearnAction(*menu)->isChecked());
  }
  QVERIFY(PlayUntil({0xB5, 21, 99}, [&] { return FieldOf(*m_page, 0)->text() == "21"; }));
  QCOMPARE(m_page->Model().Controller(0), 21);
  QCOMPARE(LearningStrip(*m_page), std::nullopt);
  // Learned, not applied: the read-out kept its value, nothing was counted.
  QCOMPARE(ReadoutOf(*m_page, 0)->text(), QStringLiteral("0"));
  QCOMPARE(m_run->session->Stats().controllersApplied, uint64_t{0});

  QVERIFY(PlayUntil({0xB0, 21, 64}, [&] { return ReadoutOf(*m_page, 0)->text() == "64"; }));
  // Saved as a commit by Enter is: when the page leaves the screen.
  m_run->window->SelectPage(kAnalog12PageTemplate);
  QVERIFY(ReadTextFile(m_run->profile).find("Aux1CC=21\n") != std::string::npos);
}

void WindowJackTest::escapeOrASecondClickCancelsAndChangesAreAppliedAgain() {
  FieldOf(*m_page, 0)->setText(QStringLiteral("7"));
  m_page->UpdateData(true);
  QVERIFY(ClickLearn(*m_page, 0));
  QTest::keyClick(FieldOf(*m_page, 0), Qt::Key_Escape);
  QCOMPARE(LearningStrip(*m_page), std::nullopt);
  QVERIFY(ClickLearn(*m_page, 0));
  QVERIFY(ClickLearn(*m_page, 0));
  QCOMPARE(LearningStrip(*m_page), std::nullopt);
  QVERIFY(!m_run->session->Learn().Target());
  QVERIFY(PlayUntil({0xB0, 7, 33}, [&] { return ReadoutOf(*m_page, 0)->text() == "33"; }));
  QCOMPARE(FieldOf(*m_page, 0)->text(), QStringLiteral("7"));
}

void WindowJackTest::theActivityLightShowsArrivingMessagesAndTheirCounts() {
  auto* light = m_run->window->findChild<ui::CActivityLight*>();
  QVERIFY(light != nullptr);
  // Dark while nothing arrives.
  QTRY_VERIFY(!LooksLit(*light));
  // The light is on for one sample after a message; messages keep coming
  // until a look finds it on.
  for (int sent = 0; sent < 300 && !LooksLit(*light); ++sent) {
    Play({0xF8});
    QTest::qWait(10);
  }
  QVERIFY(LooksLit(*light));
  QVERIFY(PlayUntil({0xB0, 3, 4}, [&] { return m_run->session->Stats().controllersApplied == 1; }));
  // The tooltip follows the counters.
  QTRY_VERIFY(light->toolTip().contains(
      QStringLiteral("MIDI messages received: %1\nController changes applied: 1")
          .arg(m_run->midi.input.ReceivedCount())));
  QVERIFY(m_run->midi.input.ReceivedCount() > 1);
  // Dark again once nothing arrives.
  QTRY_VERIFY(!LooksLit(*light));
}

void WindowJackTest::aDeviceThatGoesIsShownAsGoneAndOpenedAgainWhenItReturns() {
  auto* chooser = m_run->Control<QComboBox>(ui::kMidiInChooserId);
  const QString name = QString::fromStdString(m_peer->OutputName(0));
  QCOMPARE(chooser->currentText(), name);
  m_peer.reset();
  QTRY_COMPARE(chooser->currentText(), name + QStringLiteral(" (gone)"));
  QCOMPARE(m_run->midi.input.Start(), kMidiFailed); // closed
  // Picking the gone device's item is picking the current one: nothing.
  m_run->Choose(ui::kMidiInChooserId, chooser->currentIndex());
  QCOMPARE(m_run->midi.input.Start(), kMidiFailed); // closed
  QCOMPARE(chooser->currentText(), name + QStringLiteral(" (gone)"));

  m_peer = std::make_unique<JackPeer>();
  QTRY_COMPARE(chooser->currentText(), name);
  QTRY_VERIFY(!m_peer->ConnectionsOf(m_peer->OutputName(0)).empty());
  QVERIFY(PlayUntil({0xB0, 9, 1}, [&] { return m_run->session->Stats().controllersApplied > 0; }));

  // A list that opens is current before any notice is served, and keeps
  // the chosen device selected.
  JackPeer other("vt-other-" + std::to_string(getpid()));
  chooser->showPopup();
  QVERIFY(chooser->findText(QString::fromStdString(other.OutputName(0))) >= 0);
  QCOMPARE(chooser->currentText(), name);
  chooser->hidePopup();
}

void WindowJackTest::aLearnedNoteBecomesTheMuteButtonAndTheStripShowsItsMute() {
  auto actionOf = [](QMenu& menu, const QString& text) -> QAction* {
    for (QAction* action : menu.actions()) {
      if (action->text() == text) {
        return action;
      }
    }
    return nullptr;
  };
  {
    std::unique_ptr<QMenu> menu(m_page->MuteMenu(0)); // Aux 1
    QVERIFY(menu != nullptr);
    actionOf(*menu, QStringLiteral("Learn mute button"))->trigger();
  }
  QCOMPARE(LearningStrip(*m_page), std::optional<std::size_t>(0));
  QVERIFY(PlayUntil({0x93, 40, 100}, [&] {
    return ReadTextFile(m_run->profile).find("Aux1Mute=Note 40\n") != std::string::npos;
  }));
  QCOMPARE(LearningStrip(*m_page), std::nullopt);
  // A mixer server comes; the session finds it at an activation (it looks
  // about once a second) and shows Aux 1's level.
  TempDir state;
  MixerdProcess server(state.File("mixer.state"));
  QVERIFY2(server.Start(), server.Errors().c_str());
  OtherClient other;
  QVERIFY(other.Connected());
  other.Set(m_page->Model().ParameterOfStrip(0), 50);
  QVERIFY(QTest::qWaitFor(
      [&] {
        m_run->window->OnActivateApp(true);
        return FaderOf(*m_page, 0)->value() == 50;
      },
      10000));
  QVERIFY(!ReadoutOf(*m_page, 0)->font().strikeOut());
  // Muted elsewhere: the strip shows it.
  QVERIFY(ServerSets({"BusMute", "0", "1"}));
  QTRY_VERIFY_WITH_TIMEOUT(ReadoutOf(*m_page, 0)->font().strikeOut(), 10000);
  QCOMPARE(FaderOf(*m_page, 0)->value(), 50); // the level stays as it was
  {
    std::unique_ptr<QMenu> menu(m_page->MuteMenu(0));
    QAction* mute = actionOf(*menu, QStringLiteral("Mute"));
    QVERIFY(mute->isChecked());
    mute->trigger();
  }
  QTRY_COMPARE_WITH_TIMEOUT(ServerReads({"BusMute", "0"}), 0, 10000);
}

void WindowJackTest::aSurfaceThatDoesNotAnswerIsNamedInTheLightsTooltipUntilItAnswers() {
  auto* light = m_run->window->findChild<ui::CActivityLight*>();
  QVERIFY(light != nullptr);
  auto* outputs = m_run->Control<QComboBox>(ui::kMidiOutChooserId);
  const int item = outputs->findText(QString::fromStdString(m_peer->InputName(0)));
  QVERIFY(item >= 0);
  m_run->Choose(ui::kMidiOutChooserId, item);
  QVERIFY(m_run->midi.output.IsOpen());
  m_run->session->SetSurface(SurfaceProtocol::Mackie, false);
  const QString silent = QStringLiteral("The control surface does not answer");
  QTRY_VERIFY_WITH_TIMEOUT(light->toolTip().contains(silent), 15000);
  // Switched on only now, the surface sends its connection query.
  const std::vector<uint8_t> query = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x01, 'A', 'B', '1',
                                      '2',  '3',  '4',  '5',  1,    2,    3,   4,   0xF7};
  QVERIFY(PlayUntil(query, [&] { return !light->toolTip().contains(silent); }));
  QVERIFY(!m_run->session->Stats().surfaceSilent);
}

QTEST_MAIN(WindowJackTest)
#include "window_jack_test.moc"
