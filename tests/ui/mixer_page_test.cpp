// The Qt mixer pages over the recording fakes: what a fader move calls and
// sends, what a refresh shows, and the commit rules of the CC fields.

#include "strip_ids.h"
#include "support/file_text.h"
#include "ui/dialog/controls.h"
#include "ui/res/control_ids.h"
#include "ui_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <fstream>
#include <sstream>

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::vector<std::string> Strings(const QStringList& list) {
  std::vector<std::string> out;
  for (const QString& s : list) {
    out.push_back(s.toStdString());
  }
  return out;
}

void TypeInto(ui::CNumberEdit* field, const QString& text) {
  field->clear();
  QTest::keyClicks(field, text);
}

// The page's strip whose fader is `faderId`, as the page table gives it.
std::optional<std::size_t> StripOfFader(const CPageModel& model, int faderId) {
  const auto& strips = model.Def().strips;
  for (std::size_t i = 0; i < strips.size(); ++i) {
    if (strips[i].ids.fader == faderId) {
      return i;
    }
  }
  return std::nullopt;
}

} // namespace

class MixerPageTest : public QObject {
  Q_OBJECT
private slots:
  void aFaderMoveSetsTheMixerAndSendsItsControlChange_data();
  void aFaderMoveSetsTheMixerAndSendsItsControlChange();
  void aDragSendsAStreamAndItsEndSendsTheFinalValueAgain();
  void positioningFromTheProgramNeverSends();
  void aRefreshShowsReadBacksAndLabelsReusingTheBusCell();
  void typingAloneCommitsNothingAndEnterCommitsThePage();
  void aCcFieldTakesMinusOneButNoOtherMinus_data();
  void aCcFieldTakesMinusOneButNoOtherMinus();
  void homePutsAFaderAtTheTopAndEndAtTheBottom();
  void aSpinStepCommitsEveryFieldOfThePage();
  void spinsStayWithinMinusOneTo127();
  void aRefusedCommitStopsAtItsFieldWithAMessageAndTheFocus();
  void typedTextIsReplacedByAFaderMoveOrARefresh();
  void filterFadersSendTheirNrpnSequenceAndNoMixerCall();
  void effectChoosersSetTheEffectOfTheirBus();
  void typedTextInAChooserDoesNothing();
  void faderNamesSayWhatTheyDriveAndTheirController();
  void aProfileNumberOutsideTheRangeIsShownSavedAndNeverSent();
  void aPageOnATemplateOfAnotherPageIsNotCreated();
};

void MixerPageTest::aFaderMoveSetsTheMixerAndSendsItsControlChange_data() {
  QTest::addColumn<int>("page");
  QTest::addColumn<int>("fader");
  QTest::addColumn<int>("field");
  QTest::addColumn<QString>("controller");
  QTest::addColumn<int>("outputChannel");
  QTest::addColumn<int>("value");
  QTest::addColumn<QString>("call");
  QTest::addColumn<QString>("bytes");

  QTest::newRow("Analog 3 Pan, controller 7, Out Chn 3")
      << 3 << kAnalog3Pan.fader << kAnalog3Pan.edit << "7" << 2 << 64 << "SetSourcePan(0, 2, 33024)"
      << "B2 07 40";
  QTest::newRow("User 2 Aux 2, controller 20, Out Chn 1")
      << 7 << kUser2Aux2.fader << kUser2Aux2.edit << "20" << 0 << 64
      << "SetSendLevel(4, 1, 1, 33024)"
      << "B0 14 40";
  QTest::newRow("Wave Vol at the top, Out Chn 16")
      << 5 << kWaveVol.fader << kWaveVol.edit << "7" << 15 << 127 << "SetSourceVolume(2, 0, 65535)"
      << "BF 07 7F";
  QTest::newRow("Master Aux 3 at the top")
      << 1 << kMasterAux3.fader << kMasterAux3.edit << "1" << 0 << 127 << "SetBusLevel(2, 65532)"
      << "B0 01 7F";
  QTest::newRow("Master Vol L at 64")
      << 1 << kMasterVolL.fader << kMasterVolL.edit << "9" << 0 << 64 << "SetMasterVolume(0, 267)"
      << "B0 09 40";
  QTest::newRow("Rec unmapped sends nothing")
      << 1 << kMasterRec.fader << kMasterRec.edit << "" << 0 << 10 << "SetRecordLevel(5160)"
      << "";
  QTest::newRow("User 3 Vol at the bottom")
      << 8 << kUser3Vol.fader << kUser3Vol.edit << "3" << 0 << 0 << "SetSourceVolume(4, 2, 0)"
      << "B0 03 00";
  QTest::newRow("a saved channel of 0 sends on channel 16")
      << 4 << kDigital2Pan.fader << kDigital2Pan.edit << "20" << -1 << 5
      << "SetSourcePan(1, 1, 2580)"
      << "BF 14 05";
}

void MixerPageTest::aFaderMoveSetsTheMixerAndSendsItsControlChange() {
  QFETCH(int, page);
  QFETCH(int, fader);
  QFETCH(int, field);
  QFETCH(QString, controller);
  QFETCH(int, outputChannel);
  QFETCH(int, value);
  QFETCH(QString, call);
  QFETCH(QString, bytes);

  PageBench bench;
  bench.Show(page);
  bench.context.state.outputChannel = outputChannel;
  if (!controller.isEmpty()) {
    auto* edit = bench.Control<ui::CNumberEdit>(field);
    TypeInto(edit, controller);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  bench.mixer.Clear();
  auto* slider = bench.Control<QSlider>(fader);
  QVERIFY(slider != nullptr);
  if (slider->value() == value) {
    slider->setValue(value == 0 ? 1 : 0);
  }
  bench.mixer.Clear();
  bench.sink.sent.clear();
  slider->setValue(value);

  QCOMPARE(bench.mixer.calls, std::vector<std::string>{call.toStdString()});
  const std::vector<std::string> expected =
      bytes.isEmpty() ? std::vector<std::string>{} : std::vector<std::string>{bytes.toStdString()};
  QCOMPARE(bench.sink.sent, expected);
  const StripDef& strip =
      *std::find_if(PageByNumber(page)->strips.begin(), PageByNumber(page)->strips.end(),
                    [&](const StripDef& s) { return s.ids.fader == fader; });
  QCOMPARE(bench.Control<QLabel>(strip.ids.readout)->text(), QString::number(value));
}

void MixerPageTest::aDragSendsAStreamAndItsEndSendsTheFinalValueAgain() {
  PageBench bench;
  bench.Show(2);
  auto* field = bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit); // Analog 1 Vol
  TypeInto(field, "7");
  QTest::keyClick(field, Qt::Key_Return);
  auto* fader = bench.Control<QSlider>(kAnalog1Vol.fader);

  fader->setSliderDown(true);
  fader->setSliderPosition(10);
  fader->setSliderPosition(20);
  fader->setSliderDown(false);
  QCOMPARE(bench.sink.sent, (std::vector<std::string>{"B0 07 0A", "B0 07 14", "B0 07 14"}));

  bench.sink.sent.clear();
  fader->setFocus();
  QTest::keyClick(fader, Qt::Key_Up);
  QTest::keyClick(fader, Qt::Key_PageDown);
  QCOMPARE(bench.sink.sent, (std::vector<std::string>{"B0 07 15", "B0 07 00"}));
}

void MixerPageTest::positioningFromTheProgramNeverSends() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(2);
  auto* field = bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit);
  TypeInto(field, "7");
  QTest::keyClick(field, Qt::Key_Return);
  bench.mixer.answers["GetSourceVolume(0, 0)"] = 65535;

  page.Model().RefreshFromMixer();
  page.Model().ShowIncoming(*StripOfFader(page.Model(), kAnalog1Vol.fader), 100);

  QVERIFY(bench.sink.sent.empty());
  for (const std::string& c : bench.mixer.calls) {
    QVERIFY2(c.rfind("Set", 0) != 0, c.c_str());
  }
  QCOMPARE(bench.Control<QSlider>(kAnalog1Vol.fader)->value(), 100);
  QCOMPARE(bench.Control<QLabel>(kAnalog1Vol.readout)->text(), QStringLiteral("100"));
}

void MixerPageTest::aRefreshShowsReadBacksAndLabelsReusingTheBusCell() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(2);
  auto& answers = bench.mixer.answers;
  answers["GetSendLevel(0, 0, 0)"] = 50 * 516;
  answers["GetSourcePan(0, 1)"] = 65532;
  answers["GetSendBus(0, 0, 0)"] = 2;
  bench.mixer.failing.insert("GetSendBus(0, 0, 1)");
  answers["IsBusRouted(2)"] = 1;
  answers["GetBusEffect(2)"] = 7;
  answers["GetSendBus(0, 1, 0)"] = 3; // nothing routed to bus 3
  answers["GetSendBus(0, 1, 1)"] = 1;
  answers["IsBusRouted(1)"] = 1;
  answers["IsBusOnOutput(1)"] = 1;
  answers["GetBusOutput(1).digital"] = 1;
  answers["GetBusOutput(1).pair"] = 2;

  page.Model().RefreshFromMixer();

  QCOMPARE(bench.Control<QLabel>(kAnalog1Aux1.readout)->text(), QStringLiteral("50"));
  QCOMPARE(bench.Control<QSlider>(kAnalog1Aux1.fader)->value(), 50);
  QCOMPARE(bench.Control<QLabel>(kAnalog2Pan.readout)->text(), QStringLiteral("127"));
  QCOMPARE(bench.Control<QSlider>(kAnalog2Pan.fader)->value(), 127);
  QCOMPARE(bench.Control<QLabel>(kAnalog1Aux1Label)->text(), QStringLiteral("Comp"));
  QCOMPARE(bench.Control<QLabel>(kAnalog1Aux2Label)->text(),
           QStringLiteral("Comp")); // failed read: bus 2 again
  QCOMPARE(bench.Control<QLabel>(kAnalog2Aux1Label)->text(), QStringLiteral("N/R"));
  QCOMPARE(bench.Control<QLabel>(kAnalog2Aux2Label)->text(), QStringLiteral("D2"));
  QCOMPARE(bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit)->text(), QStringLiteral("-1"));
  QVERIFY(bench.sink.sent.empty());

  // Pages without labels keep their fixed aux captions.
  bench.Show(4);
  const QList<QLabel*> statics = bench.host.findChildren<QLabel*>(QStringLiteral("0"));
  QStringList captions;
  for (QLabel* label : statics) {
    if (label->parent() == bench.views.back().get() && label->text().startsWith("Aux")) {
      captions << label->text();
    }
  }
  QCOMPARE(captions, (QStringList{"Aux 1", "Aux 2", "Aux 1", "Aux 2"}));
}

void MixerPageTest::aCcFieldTakesMinusOneButNoOtherMinus_data() {
  QTest::addColumn<QString>("before"); // the field's text, cursor at its start
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("after");
  QTest::addColumn<int>("controller"); // once Enter commits
  QTest::newRow("-1 into an empty field is none") << ""
                                                  << "-1"
                                                  << "-1" << -1;
  QTest::newRow("a sign before a number") << "7"
                                          << "-"
                                          << "-7" << -7;
  QTest::newRow("no second sign") << "-1"
                                  << "-"
                                  << "-1" << -1;
  QTest::newRow("no sign inside a number") << ""
                                           << "1-2"
                                           << "12" << 12;
}

void MixerPageTest::aCcFieldTakesMinusOneButNoOtherMinus() {
  QFETCH(QString, before);
  QFETCH(QString, typed);
  QFETCH(QString, after);
  QFETCH(int, controller);
  MessageCatcher catcher; // -7 is refused at the commit
  PageBench bench;
  ui::CMixerPage& page = bench.Show(2);
  auto* field = bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit);
  field->setText(before);
  field->setCursorPosition(0);
  QTest::keyClicks(field, typed);
  QCOMPARE(field->text(), after);
  QTest::keyClick(field, Qt::Key_Return);
  const std::size_t strip = *StripOfFader(page.Model(), kAnalog1Vol.fader);
  QCOMPARE(page.Model().Controller(strip), controller < -1 ? -1 : controller);
  QCOMPARE(catcher.messages.size(), controller < -1 ? 1 : 0);
}

void MixerPageTest::homePutsAFaderAtTheTopAndEndAtTheBottom() {
  PageBench bench;
  bench.Show(2);
  auto* field = bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit);
  TypeInto(field, "7");
  QTest::keyClick(field, Qt::Key_Return);
  auto* fader = bench.Control<QSlider>(kAnalog1Vol.fader);
  fader->setFocus();
  bench.sink.sent.clear();
  QTest::keyClick(fader, Qt::Key_Home);
  QCOMPARE(fader->value(), 127);
  QTest::keyClick(fader, Qt::Key_End);
  QCOMPARE(fader->value(), 0);
  QTest::keyClick(fader, Qt::Key_PageUp); // Page Up moves a fader up its travel
  QCOMPARE(fader->value(), 25);
  QCOMPARE(bench.sink.sent, (std::vector<std::string>{"B0 07 7F", "B0 07 00", "B0 07 19"}));
}

void MixerPageTest::typingAloneCommitsNothingAndEnterCommitsThePage() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(2);
  auto* volA = bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit);
  auto* panB = bench.Control<ui::CNumberEdit>(kAnalog2Pan.edit);
  TypeInto(volA, "12");
  TypeInto(panB, "99");
  const std::size_t volStrip = *StripOfFader(page.Model(), kAnalog1Vol.fader);
  const std::size_t panStrip = *StripOfFader(page.Model(), kAnalog2Pan.fader);
  QCOMPARE(page.Model().Controller(volStrip), -1);

  QTest::keyClick(volA, Qt::Key_Return);
  QCOMPARE(page.Model().Controller(volStrip), 12);
  QCOMPARE(page.Model().Controller(panStrip), 99);
  QVERIFY(page.isVisible());

  QTest::keyClick(volA, Qt::Key_Escape);
  QVERIFY(page.isVisible());
  QCOMPARE(volA->text(), QStringLiteral("12"));

  // Only digits can be typed (and a leading minus sign, below).
  TypeInto(volA, "a3+b4");
  QCOMPARE(volA->text(), QStringLiteral("34"));
}

void MixerPageTest::aSpinStepCommitsEveryFieldOfThePage() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(2);
  TypeInto(bench.Control<ui::CNumberEdit>(kAnalog1Pan.edit), "5"); // Analog 1 Pan, typed only
  TypeInto(bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit), "12");
  auto* spin = bench.Control<ui::CSpinButtons>(kAnalog1Vol.spin); // Analog 1 Vol's spin
  QTest::mouseClick(spin->findChild<QToolButton*>("up"), Qt::LeftButton);

  QCOMPARE(bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit)->text(), QStringLiteral("13"));
  QCOMPARE(page.Model().Controller(*StripOfFader(page.Model(), kAnalog1Vol.fader)), 13);
  QCOMPARE(page.Model().Controller(*StripOfFader(page.Model(), kAnalog1Pan.fader)), 5);

  // Up and Down in a field step its spin.
  auto* aux = bench.Control<ui::CNumberEdit>(kAnalog1Aux1.edit);
  QTest::keyClick(aux, Qt::Key_Up);
  QCOMPARE(aux->text(), QStringLiteral("0"));
  QCOMPARE(page.Model().Controller(*StripOfFader(page.Model(), kAnalog1Aux1.fader)), 0);
}

void MixerPageTest::spinsStayWithinMinusOneTo127() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(7);
  auto* field = bench.Control<ui::CNumberEdit>(kUser1Vol.edit);
  const std::size_t strip = *StripOfFader(page.Model(), kUser1Vol.fader);
  TypeInto(field, "127");
  QTest::keyClick(field, Qt::Key_Up);
  QCOMPARE(field->text(), QStringLiteral("127"));
  QCOMPARE(page.Model().Controller(strip), 127);
  TypeInto(field, "0");
  QTest::keyClick(field, Qt::Key_Down);
  QTest::keyClick(field, Qt::Key_Down);
  QCOMPARE(field->text(), QStringLiteral("-1"));
  QCOMPARE(page.Model().Controller(strip), -1);
  // From a number far beyond the range the spin comes back into it.
  TypeInto(field, "99999999999");
  QTest::keyClick(field, Qt::Key_Down);
  QCOMPARE(field->text(), QStringLiteral("-1"));
}

void MixerPageTest::aRefusedCommitStopsAtItsFieldWithAMessageAndTheFocus() {
  PageBench bench;
  MessageCatcher catcher;
  ui::CMixerPage& page = bench.Show(1);
  bench.host.activateWindow();
  TypeInto(bench.Control<ui::CNumberEdit>(kMasterAux1.edit), "5");   // Aux 1
  TypeInto(bench.Control<ui::CNumberEdit>(kMasterAux2.edit), "200"); // Aux 2
  TypeInto(bench.Control<ui::CNumberEdit>(kMasterVolL.edit), "9");   // Vol L
  QTest::keyClick(bench.Control<ui::CNumberEdit>(kMasterVolL.edit), Qt::Key_Return);

  QCOMPARE(Strings(catcher.messages),
           std::vector<std::string>{"Vantrel: Please enter an integer between -1 and 127."});
  QCOMPARE(page.focusWidget(), bench.Control<ui::CNumberEdit>(kMasterAux2.edit));
  CPageModel& model = page.Model();
  QCOMPARE(model.Controller(*StripOfFader(model, kMasterAux1.fader)), 5);
  QCOMPARE(model.Controller(*StripOfFader(model, kMasterAux2.fader)), -1);
  QCOMPARE(model.Controller(*StripOfFader(model, kMasterVolL.fader)), -1);

  // A spin anywhere on the page meets the same refusal.
  catcher.messages.clear();
  bench.Control<ui::CSpinButtons>(kMasterRec.spin)->Step(1);
  QCOMPARE(catcher.messages.size(), 1);

  // An emptied field is not an integer.
  catcher.messages.clear();
  TypeInto(bench.Control<ui::CNumberEdit>(kMasterAux2.edit), "");
  QTest::keyClick(bench.Control<ui::CNumberEdit>(kMasterAux2.edit), Qt::Key_Return);
  QCOMPARE(Strings(catcher.messages),
           std::vector<std::string>{"Vantrel: Please enter an integer."});
}

void MixerPageTest::typedTextIsReplacedByAFaderMoveOrARefresh() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(4);
  auto* field = bench.Control<ui::CNumberEdit>(kDigital2Pan.edit); // Digital 2 Pan
  TypeInto(field, "12");
  bench.Control<QSlider>(kDigital1Vol.fader)->setValue(30); // Digital 1 Vol
  QCOMPARE(field->text(), QStringLiteral("-1"));

  TypeInto(field, "12");
  page.Model().RefreshFromMixer();
  QCOMPARE(field->text(), QStringLiteral("-1"));

  TypeInto(field, "12");
  page.OnPageHide();
  QVERIFY(ReadTextFile(bench.settings.Path()).find("D2PanCC=-1") != std::string::npos);
}

void MixerPageTest::filterFadersSendTheirNrpnSequenceAndNoMixerCall() {
  PageBench bench;
  ui::CMixerPage& page = bench.Show(6);
  bench.Control<QSlider>(kNrpnCutoff.fader)->setValue(127);
  QCOMPARE(bench.sink.sent,
           (std::vector<std::string>{"B0 63 78", "B0 62 08", "B0 26 14", "B0 06 2C"}));
  QVERIFY(bench.mixer.calls.empty());
  QCOMPARE(bench.Control<QLabel>(kNrpnCutoff.readout)->text(), QStringLiteral("127"));

  bench.sink.sent.clear();
  page.OnPageHide();
  page.OnPageShow();
  QCOMPARE(bench.Control<QSlider>(kNrpnCutoff.fader)->value(), 0);
  QCOMPARE(bench.Control<QLabel>(kNrpnCutoff.readout)->text(), QStringLiteral("0"));
  QVERIFY(bench.sink.sent.empty());
}

void MixerPageTest::effectChoosersSetTheEffectOfTheirBus() {
  PageBench bench;
  bench.Show(6);
  const std::array<std::pair<int, int>, 4> choosers = {{{ui::kAux1EffectId, 0},
                                                        {ui::kAux2EffectId, 1},
                                                        {ui::kAux3EffectId, 2},
                                                        {ui::kAux4EffectId, 3}}};
  for (const auto& [id, aux] : choosers) {
    auto* combo = bench.Control<QComboBox>(id);
    QCOMPARE(combo->count(), 16);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->itemText(15), QStringLiteral("ParamEQ4"));
    bench.mixer.Clear();
    combo->setCurrentIndex(15);
    emit combo->activated(15); // what picking an item in the list does
    QCOMPARE(bench.mixer.calls,
             std::vector<std::string>{"SetAuxEffect(" + std::to_string(aux) + ", 15)"});
  }
  bench.mixer.Clear();
  auto* aux1 = bench.Control<QComboBox>(ui::kAux1EffectId);
  aux1->setCurrentIndex(0);
  emit aux1->activated(0);
  QCOMPARE(bench.mixer.calls, std::vector<std::string>{"SetAuxEffect(0, 0)"});
  QVERIFY(bench.sink.sent.empty());
}

// Typing a name and pressing Enter, or leaving the field, as a user would
// try: nothing but a choice from the list may act.
void TypeIntoChooser(QComboBox* combo, const QString& text) {
  combo->lineEdit()->clear();
  QTest::keyClicks(combo->lineEdit(), text);
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
  emit combo->lineEdit()->editingFinished(); // leaving the field
}

void MixerPageTest::typedTextInAChooserDoesNothing() {
  PageBench bench;
  bench.Show(6);
  bench.mixer.Clear();
  for (int id : {1171, 1173, 1174, 1175}) {
    auto* combo = bench.Control<QComboBox>(id);
    for (const QString& typed : {QStringLiteral("dis"), QStringLiteral("Chorus")}) {
      TypeIntoChooser(combo, typed);
      QCOMPARE(combo->currentIndex(), -1);
    }
  }
  QVERIFY(bench.mixer.calls.empty());
}

void MixerPageTest::faderNamesSayWhatTheyDriveAndTheirController() {
  PageBench bench;
  bench.Show(1);
  QCOMPARE(bench.Control<QSlider>(kMasterAux1.fader)->accessibleName(),
           QStringLiteral("Master Aux 1 — no controller"));
  auto* field = bench.Control<ui::CNumberEdit>(kMasterAux1.edit);
  TypeInto(field, "7");
  QTest::keyClick(field, Qt::Key_Return);
  QCOMPARE(bench.Control<QSlider>(kMasterAux1.fader)->accessibleName(),
           QStringLiteral("Master Aux 1 — controller 7"));
  QCOMPARE(bench.Control<QSlider>(kMasterAux1.fader)->toolTip(),
           QStringLiteral("Master Aux 1 — controller 7"));
  bench.Show(6);
  QCOMPARE(bench.Control<QSlider>(kNrpnCutoff.fader)->accessibleName(),
           QStringLiteral("NRPN Cutoff — no controller"));
  QCOMPARE(bench.Control<QSlider>(kUser5Vol.fader)->accessibleName(),
           QStringLiteral("User 5 Vol — no controller"));
}

void MixerPageTest::aProfileNumberOutsideTheRangeIsShownSavedAndNeverSent() {
  PageBench bench;
  bench.settings.Write({kCcMapping, "A1VolCC"}, "300");
  ui::CMixerPage& page = bench.Show(2);
  QCOMPARE(bench.Control<ui::CNumberEdit>(kAnalog1Vol.edit)->text(), QStringLiteral("300"));
  bench.Control<QSlider>(kAnalog1Vol.fader)->setValue(40);
  QVERIFY(bench.sink.sent.empty());
  page.OnPageHide();
  QVERIFY(ReadTextFile(bench.settings.Path()).find("A1VolCC=300") != std::string::npos);
}

void MixerPageTest::aPageOnATemplateOfAnotherPageIsNotCreated() {
  PageBench bench;
  CPageModel master(*PageByNumber(1), bench.context);
  ui::CMixerPage wrong(kAnalog12PageTemplate, master);
  QVERIFY(!wrong.Create(bench.host));
  QVERIFY(wrong.findChildren<QWidget*>().isEmpty());
  QCOMPARE(bench.context.state.Slot(1), nullptr);
}

QTEST_MAIN(MixerPageTest)
#include "mixer_page_test.moc"
