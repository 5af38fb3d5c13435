// The main window over a real session with its own profile, no MIDI system
// and no mixer server, or the real vantrel-mixerd on the test bus where a
// test needs a mixer (and a recording MIDI Out device where it needs what
// is sent): start-up, choosers, channel, page switches, keys, activation,
// signals and the orderly close.

#include "app/bridge_session.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "mixer/scales.h"
#include "strip_ids.h"
#include "ui/app/about_dlg.h"
#include "ui/app/bridge_dlg.h"
#include "ui/app/signal_watch.h"
#include "ui/dialog/controls.h"
#include "ui/res/control_ids.h"
#include "ui_fixture.h"
#include "window_run.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>

using namespace vantrel;
using namespace vantrel::test;

namespace {

struct ProfileLine {
  std::string section;
  std::string key;
  std::string value;
};

std::vector<ProfileLine> ReadProfile(const std::filesystem::path& path) {
  std::vector<ProfileLine> lines;
  std::ifstream in(path);
  std::string line;
  std::string section;
  while (std::getline(in, line)) {
    if (line.size() > 1 && line.front() == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else if (const auto eq = line.find('='); eq != std::string::npos) {
      lines.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
    }
  }
  return lines;
}

std::string Value(const std::vector<ProfileLine>& lines, std::string_view key) {
  for (const ProfileLine& l : lines) {
    if (l.key == key) {
      return l.value;
    }
  }
  return "(missing)";
}

// The strip of a page that shows the parameter with this key.
std::size_t StripOfKey(ui::CMixerPage& page, std::string_view key) {
  for (std::size_t strip = 0; strip < page.Model().StripCount(); ++strip) {
    if (page.Model().ParameterOfStrip(strip).key == key) {
      return strip;
    }
  }
  return 0;
}

// Calls back each time a widget is about to show.
class ShowWatch : public QObject {
public:
  ShowWatch(QWidget& widget, std::function<void()> shown) : m_shown(std::move(shown)) {
    widget.installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      m_shown();
    }
    return false;
  }

private:
  std::function<void()> m_shown;
};

} // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
private slots:
  void aFirstRunShowsMasterNoDevicesAndChannelOne();
  void theFirstCloseWritesAll65KeysMainKeysFirst();
  void thePageChooserListsPagesInItsOwnOrder();
  void typedTextInThePageChooserDoesNothing();
  void aSavedPageOutsideOneToEightShowsNoPage();
  void switchingPagesSavesTheLeavingPageBeforeTheNextRefreshes();
  void choosingThePageOnScreenShowsItAgain();
  void aFaderMoveSendsOnTheChannelOfTheSpin();
  void theChannelSpinStopsAtItsEndsAndASavedZeroSendsOnSixteen();
  void enterShowsTheChannelAgainAndEscDoesNothing();
  void leavingOutChnShowsTheChannelInEffect();
  void deviceChoosersOfferNoneAndReportAFailedOpen();
  void reChoosingTheCurrentDeviceDoesNothing();
  void withoutAMixerTheUserIsToldOnceAndPagesStillSend();
  void anIncomingControllerMovesTheFaderOfThePageOnScreen();
  void pagesOffScreenCatchUpAtTheirNextRefresh();
  void activationBeforeThePagesOrAfterCloseReachesNoPage();
  void aTerminationSignalClosesTheWindowInOrder();
  void theAboutBoxIsOnF1AndInTheContextMenu();
  void theWindowAndTheAboutBoxShowTheProgramIcon();
  void theMasterPageSpellsAuxiliary();
  void theDeviceRowSaysWhichMidiSystemsWereTriedAndWhy();
  void theOptionItemsStartOffAndAreRememberedInTheProfile();
};

void MainWindowTest::aFirstRunShowsMasterNoDevicesAndChannelOne() {
  Run run;
  run.Start();
  QCOMPARE(run.Control<QComboBox>(ui::kPageChooserId)->currentText(), QStringLiteral("Master"));
  QCOMPARE(run.Visible(), run.window->PageOfTemplate(kMasterPageTemplate));
  QCOMPARE(run.window->Entries().size(), std::size_t{8});
  for (const auto& entry : run.window->Entries()) {
    QVERIFY(entry->created);
    QVERIFY(entry->page->isEnabled());
  }
  QCOMPARE(run.Control<QComboBox>(ui::kMidiInChooserId)->currentText(), QStringLiteral("None"));
  QCOMPARE(run.Control<QComboBox>(ui::kMidiOutChooserId)->currentText(), QStringLiteral("None"));
  QCOMPARE(run.Control<QLineEdit>(ui::kChannelFieldId)->text(), QStringLiteral("1"));
  QCOMPARE(run.session->State().outputChannel, 0);
  QVERIFY(!run.Control<QWidget>(ui::kPageFrameId)->isVisible());

  // Every CC field shows -1 once its page has been shown.
  for (int item = 0; item < kPageCount; ++item) {
    run.Choose(ui::kPageChooserId, item);
    ui::CMixerPage* page = run.Visible();
    QVERIFY(page != nullptr);
    QCOMPARE(page->Model().Def().templateId, PageByNumber(PageOfChooserItem(item))->templateId);
    for (std::size_t s = 0; s < page->Model().StripCount(); ++s) {
      QCOMPARE(FieldOf(*page, s)->text(), QStringLiteral("-1"));
    }
    // Pages sit at the page frame's corner, at their template size.
    QCOMPARE(page->pos(), run.Control<QWidget>(ui::kPageFrameId)->pos());
  }
}

void MainWindowTest::theFirstCloseWritesAll65KeysMainKeysFirst() {
  Run run;
  run.Start();
  run.window->close();

  const std::vector<ProfileLine> lines = ReadProfile(run.profile);
  QCOMPARE(lines.size(), std::size_t{65});
  std::vector<std::string> head;
  for (std::size_t i = 0; i < 4; ++i) {
    head.push_back(lines[i].section + "/" + lines[i].key + "=" + lines[i].value);
  }
  QCOMPARE(head, (std::vector<std::string>{
                     "Midi Options/DefaultMidiOut=-1", "Midi Options/DefaultMidiIn=-1",
                     "Midi Options/DefaultMidiOutChannel=1", "Program Options/ActivePage=1"}));
  // The pages wrote their keys in the order they were created.
  std::vector<std::string> expected;
  for (int templateId : kTemplateOrder) {
    for (const StripDef& strip : PageByTemplate(templateId)->strips) {
      expected.emplace_back(ParameterOf(strip).key);
    }
  }
  std::vector<std::string> written;
  for (std::size_t i = 4; i < lines.size(); ++i) {
    QCOMPARE(lines[i].section, std::string("CC Mapping"));
    QCOMPARE(lines[i].value, std::string("-1"));
    written.push_back(lines[i].key);
  }
  QCOMPARE(written, expected);
  QVERIFY(run.window->Entries().empty());
}

void MainWindowTest::thePageChooserListsPagesInItsOwnOrder() {
  Run run("[Program Options]\nActivePage=6\n");
  run.Start();
  auto* chooser = run.Control<QComboBox>(ui::kPageChooserId);
  QStringList items;
  for (int i = 0; i < chooser->count(); ++i) {
    items << chooser->itemText(i);
  }
  QCOMPARE(items, (QStringList{"Master", "Analog 1 & 2", "Analog 3 & 4", "Digital 1 & 2",
                               "Wave & Midi", "User 1 & 2", "User 3 & 4", "User 5 & NRPN"}));
  QCOMPARE(chooser->currentIndex(), 7);
  QCOMPARE(run.Visible()->Model().Def().templateId, kUser5NrpnPageTemplate);

  const std::array<int, 8> pageOfItem = {1, 2, 3, 4, 5, 7, 8, 6};
  for (int item = 0; item < 8; ++item) {
    run.Choose(ui::kPageChooserId, item);
    QCOMPARE(run.session->State().currentPage, pageOfItem[static_cast<std::size_t>(item)]);
    QCOMPARE(chooser->currentIndex(), item);
  }
}

void MainWindowTest::typedTextInThePageChooserDoesNothing() {
  Run run;
  run.Start();
  auto* chooser = run.Control<QComboBox>(ui::kPageChooserId);
  for (const QString& typed : {QStringLiteral("Wav"), QStringLiteral("User 1 & 2")}) {
    chooser->lineEdit()->clear();
    QTest::keyClicks(chooser->lineEdit(), typed);
    QTest::keyClick(chooser->lineEdit(), Qt::Key_Return);
    emit chooser->lineEdit()->editingFinished(); // leaving the field
    QCOMPARE(run.session->State().currentPage, 1);
    QCOMPARE(chooser->currentIndex(), 0);
  }
}

void MainWindowTest::aSavedPageOutsideOneToEightShowsNoPage() {
  for (const char* saved : {"0", "9", "x"}) {
    Run run(std::string("[Program Options]\nActivePage=") + saved + "\n");
    run.Start();
    QCOMPARE(run.Visible(), nullptr);
    QCOMPARE(run.Control<QComboBox>(ui::kPageChooserId)->currentIndex(), -1);
    run.window->close();
    const std::string expected = std::string(saved) == "x" ? "0" : saved;
    QCOMPARE(Value(ReadProfile(run.profile), "ActivePage"), expected);
  }
}

void MainWindowTest::switchingPagesSavesTheLeavingPageBeforeTheNextRefreshes() {
  Run run({}, {.mixerServer = true});
  QVERIFY2(run.server->Running(), run.server->Errors().c_str());
  run.Start();
  run.Choose(ui::kPageChooserId, 1); // Analog 1 & 2
  ui::CMixerPage* analog12 = run.Visible();
  auto* field = run.Control<ui::CNumberEdit>(kAnalog1Vol.edit);
  field->setText(QStringLiteral("7"));
  QTest::keyClick(field, Qt::Key_Return);

  const std::size_t analog2 = StripOfKey(*analog12, "A2VolCC");
  // Meanwhile another client changes Analog 3's first value (off screen,
  // so not shown yet), then Analog 2's volume, which shows when both have
  // arrived.
  ui::CMixerPage* analog34 = run.window->PageOfTemplate(PageByNumber(3)->templateId);
  QVERIFY(analog34 != nullptr);
  OtherClient other;
  QVERIFY(other.Connected());
  other.Set(analog34->Model().ParameterOfStrip(0), 77);
  other.Set(analog12->Model().ParameterOfStrip(analog2), 33);
  QTRY_COMPARE_WITH_TIMEOUT(FaderOf(*analog12, analog2)->value(), 33, 10000);
  QVERIFY(FaderOf(*analog34, 0)->value() != 77);
  // Text typed and not committed, which a refresh would replace.
  FieldOf(*analog12, analog2)->setText(QStringLiteral("5"));

  // What the profile holds when Analog 3 & 4 shows, just before its refresh.
  std::string atShow;
  ShowWatch watch(*analog34, [&] { atShow = ReadTextFile(run.profile); });
  run.Choose(ui::kPageChooserId, 2); // Analog 3 & 4

  QVERIFY(atShow.find("A1VolCC=7") != std::string::npos);
  QCOMPARE(FaderOf(*analog34, 0)->value(), 77);                       // refreshed from the mixer
  QCOMPARE(FieldOf(*analog12, analog2)->text(), QStringLiteral("5")); // Analog 1 & 2 not refreshed
  QCOMPARE(run.session->State().currentPage, 3);
}

void MainWindowTest::choosingThePageOnScreenShowsItAgain() {
  Run run;
  run.Start();
  // A refresh puts the stored number back into a field with typed text.
  auto* field = run.Control<ui::CNumberEdit>(kMasterRec.edit);
  field->setText(QStringLiteral("12"));
  run.Choose(ui::kPageChooserId, 0);
  QCOMPARE(field->text(), QStringLiteral("-1"));
  QCOMPARE(run.Visible()->Model().Def().templateId, kMasterPageTemplate);
  QVERIFY(ReadTextFile(run.profile).find("RecGainCC=-1") != std::string::npos);
}

void MainWindowTest::aFaderMoveSendsOnTheChannelOfTheSpin() {
  Run run({}, {.mixerServer = true});
  QVERIFY2(run.server->Running(), run.server->Errors().c_str());
  run.Start();
  run.UseRecordingOutput();
  auto* spin = run.Control<ui::CSpinButtons>(ui::kChannelSpinId);
  spin->Step(1);
  spin->Step(1);
  QCOMPARE(run.Control<QLineEdit>(ui::kChannelFieldId)->text(), QStringLiteral("3"));
  auto* field = run.Control<ui::CNumberEdit>(kMasterAux1.edit);
  field->setText(QStringLiteral("7"));
  QTest::keyClick(field, Qt::Key_Return);
  run.Control<QSlider>(kMasterAux1.fader)->setValue(100);
  QTRY_COMPARE_WITH_TIMEOUT(ServerReads({"BusLevel", "0"}), 51600, 10000);
  QCOMPARE(run.Sent(), std::vector<std::string>{"B2 07 64"});
}

void MainWindowTest::theChannelSpinStopsAtItsEndsAndASavedZeroSendsOnSixteen() {
  {
    Run run("[Midi Options]\nDefaultMidiOutChannel=16\n");
    run.Start();
    run.Control<ui::CSpinButtons>(ui::kChannelSpinId)->Step(1);
    QCOMPARE(run.Control<QLineEdit>(ui::kChannelFieldId)->text(), QStringLiteral("16"));
    QCOMPARE(run.session->State().ControlChangeStatus(), 0xBF);
    run.window->close();
    QCOMPARE(Value(ReadProfile(run.profile), "DefaultMidiOutChannel"), std::string("16"));
  }
  {
    Run run;
    run.Start();
    run.Control<ui::CSpinButtons>(ui::kChannelSpinId)->Step(-1);
    QCOMPARE(run.Control<QLineEdit>(ui::kChannelFieldId)->text(), QStringLiteral("1"));
    QCOMPARE(run.session->State().outputChannel, 0);
  }
  {
    Run run("[Midi Options]\nDefaultMidiOutChannel=0\n");
    run.Start();
    QCOMPARE(run.Control<QLineEdit>(ui::kChannelFieldId)->text(), QStringLiteral("0"));
    QCOMPARE(run.session->State().outputChannel, -1);
    run.UseRecordingOutput();
    auto* field = run.Control<ui::CNumberEdit>(kMasterVolL.edit); // Vol L
    field->setText(QStringLiteral("7"));
    QTest::keyClick(field, Qt::Key_Return);
    run.Control<QSlider>(kMasterVolL.fader)->setValue(1);
    QCOMPARE(run.Sent(), std::vector<std::string>{"BF 07 01"});
    run.Control<ui::CSpinButtons>(ui::kChannelSpinId)->Step(1);
    QCOMPARE(run.Control<QLineEdit>(ui::kChannelFieldId)->text(), QStringLiteral("1"));
    QCOMPARE(run.session->State().outputChannel, 0);
  }
}

void MainWindowTest::enterShowsTheChannelAgainAndEscDoesNothing() {
  Run run;
  run.Start();
  auto* field = run.Control<ui::CNumberEdit>(ui::kChannelFieldId);
  field->setText(QStringLiteral("5"));
  QTest::keyClick(field, Qt::Key_Return);
  QCOMPARE(field->text(), QStringLiteral("1"));
  QCOMPARE(run.session->State().outputChannel, 0);
  QTest::keyClick(run.window.get(), Qt::Key_Escape);
  QTest::keyClick(field, Qt::Key_Escape);
  QVERIFY(run.window->isVisible());
  // Not shut down either: that would have written the main keys.
  QCOMPARE(Value(ReadProfile(run.profile), "DefaultMidiOutChannel"), std::string("(missing)"));
}

void MainWindowTest::leavingOutChnShowsTheChannelInEffect() {
  Run run;
  run.Start();
  run.UseRecordingOutput();
  run.window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(run.window.get()));
  auto* field = run.Control<ui::CNumberEdit>(ui::kChannelFieldId);
  field->setFocus();
  QVERIFY(field->hasFocus());
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("5"));
  QCOMPARE(field->text(), QStringLiteral("5"));
  QTest::keyClick(field, Qt::Key_Tab);
  QVERIFY(!field->hasFocus());
  QCOMPARE(field->text(), QStringLiteral("1"));
  // What the field shows is what a fader sends on.
  auto* cc = run.Control<ui::CNumberEdit>(kMasterAux1.edit);
  cc->setText(QStringLiteral("7"));
  QTest::keyClick(cc, Qt::Key_Return);
  run.Control<QSlider>(kMasterAux1.fader)->setValue(100);
  QCOMPARE(run.Sent(), std::vector<std::string>{"B0 07 64"});
  // Typed digits still reach the channel through the spin, which keeps the focus.
  field->setFocus();
  field->setText(QStringLiteral("5"));
  run.Control<ui::CSpinButtons>(ui::kChannelSpinId)->Step(1);
  QCOMPARE(field->text(), QStringLiteral("6"));
  QCOMPARE(run.session->State().outputChannel, 5);
}

void MainWindowTest::deviceChoosersOfferNoneAndReportAFailedOpen() {
  MessageCatcher catcher;
  Run run("[Midi Options]\nDefaultMidiIn=2\nDefaultMidiOut=3\n");
  run.Start();
  QCOMPARE(catcher.messages,
           (QStringList{"Error!: Cannot open Midi output!", "Error!: Cannot open Midi input!"}));
  QCOMPARE(catcher.details,
           (QStringList{"There is no MIDI output device 3.", "There is no MIDI input device 2."}));
  auto* input = run.Control<QComboBox>(ui::kMidiInChooserId);
  QCOMPARE(input->count(), 1);
  QCOMPARE(input->itemText(0), QStringLiteral("None"));
  QCOMPARE(input->currentIndex(), -1); // the saved device is not in the list
  QCOMPARE(run.Control<QComboBox>(ui::kMidiOutChooserId)->currentIndex(), -1);

  run.Choose(ui::kMidiOutChooserId, 0); // "None" for output
  QCOMPARE(run.session->State().outputDevice, -1);
  run.window->close();
  const auto lines = ReadProfile(run.profile);
  QCOMPARE(Value(lines, "DefaultMidiIn"), std::string("2"));
  QCOMPARE(Value(lines, "DefaultMidiOut"), std::string("-1"));
  QCOMPARE(catcher.messages.size(), 2);
}

void MainWindowTest::reChoosingTheCurrentDeviceDoesNothing() {
  MessageCatcher catcher;
  Run run;
  run.Start();
  run.Choose(ui::kMidiInChooserId, 0);
  run.Choose(ui::kMidiOutChooserId, 0);
  QCOMPARE(run.session->State().inputDevice, -1);
  QCOMPARE(run.session->State().outputDevice, -1);
  QVERIFY(catcher.messages.isEmpty());
}

void MainWindowTest::withoutAMixerTheUserIsToldOnceAndPagesStillSend() {
  MessageCatcher catcher;
  Run run({}, {.mixerWarning = true});
  run.Start();
  QCOMPARE(catcher.messages.size(), 1);
  QVERIFY(catcher.messages.front().contains(QStringLiteral("mixer server could not be reached")));
  QCOMPARE(catcher.details.front(),
           QStringLiteral("Cannot connect to the bus at unix:path=/nonexistent/vantrel-test-bus."));

  run.UseRecordingOutput();
  auto* field = run.Control<ui::CNumberEdit>(kMasterVolR.edit); // Vol R
  field->setText(QStringLiteral("8"));
  QTest::keyClick(field, Qt::Key_Return);
  run.Control<QSlider>(kMasterVolR.fader)->setValue(64);
  QCOMPARE(run.Sent(), std::vector<std::string>{"B0 08 40"});
  QCOMPARE(run.Control<QLabel>(kMasterVolR.readout)->text(), QStringLiteral("64"));
  run.window->OnActivateApp(true);
  QCOMPARE(catcher.messages.size(), 1);
}

void MainWindowTest::anIncomingControllerMovesTheFaderOfThePageOnScreen() {
  Run run("[CC Mapping]\nRecGainCC=20\n");
  run.Start();
  QVERIFY(run.midi.controllers.Push({20, 99}));
  QTRY_COMPARE(run.Control<QSlider>(kMasterRec.fader)->value(), 99);
  QCOMPARE(run.Control<QLabel>(kMasterRec.readout)->text(), QStringLiteral("99"));

  run.window->close();
  QVERIFY(run.midi.controllers.Push({20, 5}));
  QTest::qWait(50);
  QCOMPARE(run.session->Page(1).FaderValue(6), 99);
}

void MainWindowTest::pagesOffScreenCatchUpAtTheirNextRefresh() {
  Run run("[CC Mapping]\nA1VolCC=30\n", {.mixerServer = true});
  QVERIFY2(run.server->Running(), run.server->Errors().c_str());
  run.Start();
  auto* fader = run.Control<QSlider>(kAnalog1Vol.fader); // Analog 1 Vol, not on screen
  const int before = fader->value();
  QVERIFY(before != 64);
  const QString record = run.Control<QLabel>(kMasterRec.readout)->text();
  QVERIFY(run.midi.controllers.Push({30, 64}));
  QTRY_COMPARE(run.session->Stats().controllersApplied, uint64_t{1});
  QTRY_COMPARE_WITH_TIMEOUT(ServerReads({"SourceVolume", "0", "0"}), GainFromValue(64), 10000);
  QCOMPARE(fader->value(), before);
  QCOMPARE(run.Control<QLabel>(kMasterRec.readout)->text(), record); // Master untouched

  run.Choose(ui::kPageChooserId, 1);
  QCOMPARE(fader->value(), 64);
}

void MainWindowTest::activationBeforeThePagesOrAfterCloseReachesNoPage() {
  Run run({}, {.mixerServer = true});
  QVERIFY2(run.server->Running(), run.server->Errors().c_str());
  run.window->OnActivateApp(true); // no page exists yet
  QCOMPARE(run.Visible(), nullptr);
  run.Start();
  // A refresh puts the stored number back into a field with typed text.
  auto* field = run.Control<ui::CNumberEdit>(kMasterRec.edit);
  field->setText(QStringLiteral("12"));
  run.window->OnActivateApp(false);
  QCOMPARE(field->text(), QStringLiteral("12"));
  run.window->OnActivateApp(true);
  QCOMPARE(field->text(), QStringLiteral("-1"));
  // After close a value changed elsewhere reaches no page, activation or not.
  const std::size_t recordStrip = StripOfKey(*run.Visible(), "RecGainCC");
  const int record = run.session->Page(1).FaderValue(recordStrip);
  run.window->close();
  QVERIFY(ServerSets({"RecordLevel", "1234"}));
  run.window->OnActivateApp(true);
  QCOMPARE(run.session->Page(1).FaderValue(recordStrip), record);
}

void MainWindowTest::aTerminationSignalClosesTheWindowInOrder() {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    Run run;
    run.Start();
    ui::CSignalWatch watch;
    // The signal is caught, not left to end the process.
    struct sigaction caught {};
    QCOMPARE(::sigaction(number, nullptr, &caught), 0);
    QVERIFY(caught.sa_handler != SIG_DFL && caught.sa_handler != SIG_IGN);
    connect(&watch, &ui::CSignalWatch::Raised, run.window.get(), [&run] { run.window->close(); });
    QCOMPARE(Value(ReadProfile(run.profile), "DefaultMidiOutChannel"), std::string("(missing)"));
    std::raise(number);
    // The session shut down: the main keys are written.
    QTRY_COMPARE(Value(ReadProfile(run.profile), "DefaultMidiOutChannel"), std::string("1"));
    QVERIFY(!run.window->isVisible());
    QCOMPARE(ReadProfile(run.profile).size(), std::size_t{65});
  }
}

void MainWindowTest::theAboutBoxIsOnF1AndInTheContextMenu() {
  Run run;
  run.Start();
  QCOMPARE(run.window->contextMenuPolicy(), Qt::ActionsContextMenu);
  const QList<QAction*> actions = run.window->actions();
  QCOMPARE(actions.size(), 5); // then the four option items
  QCOMPARE(actions.front()->text(), QStringLiteral("&About Vantrel..."));
  QCOMPARE(actions.front()->shortcut(), QKeySequence(QKeySequence::HelpContents));

  ui::CAboutDlg about(run.window.get());
  QCOMPARE(about.windowTitle(), QStringLiteral("About Vantrel"));
  QStringList texts;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    texts << label->text();
  }
  QVERIFY(texts.contains(QStringLiteral("Vantrel Version 0.5a ALPHA")));
  QSignalSpy accepted(&about, &QDialog::accepted);
  about.show();
  QTest::mouseClick(about.findChild<QPushButton*>("1"), Qt::LeftButton);
  QCOMPARE(accepted.count(), 1);
}

void MainWindowTest::theWindowAndTheAboutBoxShowTheProgramIcon() {
  Run run;
  run.Start();
  for (const int size : {16, 32}) {
    QVERIFY2(!run.window->windowIcon().pixmap(size).isNull(), "the window has no icon");
  }
  ui::CAboutDlg about(run.window.get());
  QVERIFY(!about.windowIcon().pixmap(32).isNull());
  int pictures = 0;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    if (!label->pixmap().isNull()) {
      ++pictures;
      QCOMPARE(label->pixmap().size(), QSize(32, 32));
    }
  }
  QCOMPARE(pictures, 1);
}

void MainWindowTest::theMasterPageSpellsAuxiliary() {
  Run run("[Program Options]\nActivePage=1\n");
  run.Start();
  QStringList titles;
  for (QGroupBox* box : run.Visible()->findChildren<QGroupBox*>()) {
    titles << box->title();
  }
  titles.sort();
  QCOMPARE(titles, (QStringList{"Auxiliary Bus", "Master Volume", "Record Level"}));
}

void MainWindowTest::theDeviceRowSaysWhichMidiSystemsWereTriedAndWhy() {
  // ALSA forced: this machine may or may not have a sequencer; either way
  // the lines say so.
  SelectMidiApi(MidiApi::Alsa);
  const std::vector<std::string> lines = MidiSystemLines();
  QVERIFY(!lines.empty());
  QVERIFY(lines.back().rfind("MIDI system: ", 0) == 0);
  {
    Run run;
    run.Start();
    // Reported before the device lines, as the headless bridge prints them.
    QVERIFY(run.reported.size() >= lines.size());
    QCOMPARE(std::vector<std::string>(run.reported.begin(),
                                      run.reported.begin() + static_cast<long>(lines.size())),
             lines);
    for (const int id : {ui::kMidiInChooserId, ui::kMidiOutChooserId}) {
      QVERIFY(run.Control<QComboBox>(id)->toolTip().contains(QString::fromStdString(lines.back())));
    }
  }
  SelectMidiApi(MidiApi::None); // the other tests run with no MIDI system
}

void MainWindowTest::theOptionItemsStartOffAndAreRememberedInTheProfile() {
  {
    Run run;
    run.Start();
    const QList<QAction*> actions = run.window->actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions[1]->text(), QStringLiteral("Controller &feedback"));
    QCOMPARE(actions[2]->text(), QStringLiteral("&Soft takeover"));
    QCOMPARE(actions[3]->text(), QStringLiteral("&Mackie Control surface"));
    QCOMPARE(actions[4]->text(), QStringLiteral("Show &meters"));
    for (QAction* option : {actions[1], actions[2], actions[3], actions[4]}) {
      QVERIFY(option->isCheckable());
      QVERIFY(!option->isChecked());
    }
    QVERIFY(!run.session->Feedback());
    actions[2]->trigger();
    QVERIFY(run.session->SoftTakeover());
    QCOMPARE(Value(ReadProfile(run.profile), "SoftTakeover"), std::string("1"));
    QCOMPARE(Value(ReadProfile(run.profile), "SurfaceProtocol"), std::string("(missing)"));
    actions[3]->trigger();
    QVERIFY(run.session->Surface() == SurfaceProtocol::Mackie);
    QCOMPARE(Value(ReadProfile(run.profile), "SurfaceProtocol"), std::string("mackie"));
    QCOMPARE(Value(ReadProfile(run.profile), "ShowMeters"), std::string("(missing)"));
    actions[4]->trigger();
    QVERIFY(run.session->ShowMeters());
    QCOMPARE(Value(ReadProfile(run.profile), "ShowMeters"), std::string("1"));
    run.window->close();
  }
  Run again("[Program Options]\nFeedback=1\nSoftTakeover=0\nShowMeters=1\n[Midi "
            "Options]\nSurfaceProtocol=Mackie\n");
  again.Start();
  QVERIFY(again.window->actions()[3]->isChecked());
  QVERIFY(again.window->actions()[4]->isChecked());
  QVERIFY(again.session->ShowMeters());
  QVERIFY(again.session->Feedback());
  QVERIFY(!again.session->SoftTakeover());
  QVERIFY(again.window->actions()[1]->isChecked());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
