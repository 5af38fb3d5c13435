// The windows built from their templates: every control inside its window,
// no two controls on top of each other, every text wide enough for its
// control by font metrics (run at 96 and at 144 dpi). With
// VANTREL_SCREENSHOT_DIR set, each page is also saved as a PNG of the whole
// main window, for people to look at.

#include "mixer/catalogue.h"
#include "ui/app/about_dlg.h"
#include "ui/dialog/controls.h"
#include "ui/dialog/dialog_units.h"
#include "ui/pages/level_meter.h"
#include "ui/res/control_ids.h"
#include "ui/res/dialog_template.h"
#include "ui_fixture.h"
#include "window_run.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include <cstdlib>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The first row from the top where a meter draws the bar of `side` (of
// two), in the meter's own pixels; its height where nothing is drawn.
int DrawnTop(ui::CLevelMeter& meter, int side) {
  const QImage image = meter.grab().toImage();
  const QColor well = meter.palette().color(QPalette::Dark);
  // Compared as the image holds it, 8 bits a channel.
  const int x = image.width() * (2 * side + 1) / 4;
  for (int y = 0; y < image.height(); ++y) {
    if (image.pixel(x, y) != well.rgb()) {
      return y * meter.height() / image.height();
    }
  }
  return meter.height();
}

// Problems in one window's direct children: a control outside the window,
// two controls that overlap, a caption cut off.
QStringList LayoutProblems(const QWidget& window) {
  QStringList problems;
  std::vector<QWidget*> controls;
  for (QWidget* w : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->isHidden() || qobject_cast<QGroupBox*>(w) != nullptr ||
        qobject_cast<ui::CMixerPage*>(w) != nullptr) {
      continue;
    }
    controls.push_back(w);
  }
  const QRect area = window.rect();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const QRect r = controls[i]->geometry();
    const QString name = controls[i]->objectName();
    if (!area.contains(r)) {
      problems << QStringLiteral("control %1 lies outside its window").arg(name);
    }
    if (auto* label = qobject_cast<QLabel*>(controls[i])) {
      if (label->sizeHint().width() > r.width() + 1 ||
          label->sizeHint().height() > r.height() + 4) {
        problems << QStringLiteral("caption \"%1\" is cut off").arg(label->text());
      }
    }
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      if (r.intersects(controls[j]->geometry())) {
        problems
            << QStringLiteral("controls %1 and %2 overlap").arg(name, controls[j]->objectName());
      }
    }
  }
  return problems;
}

// The width a chooser's field gives its text, as the style lays it out.
int ChooserTextWidth(const QComboBox& chooser) {
  QStyleOptionComboBox option;
  option.initFrom(&chooser);
  option.editable = chooser.isEditable();
  option.frame = true;
  return chooser.style()
             ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &chooser)
             .width() -
         2;
}

// Texts that do not fit their controls, by font metrics: labels, group box
// titles, buttons, every chooser item in the open list, every item of a
// chooser with an edit field in that field, and the current item of the
// others (whole, or cut in the middle with the whole text as tooltip).
QStringList TextProblems(QWidget& window) {
  QStringList problems;
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (label->isVisible() && !label->text().isEmpty() &&
        label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width()) {
      problems << QStringLiteral("label \"%1\"").arg(label->text());
    }
  }
  for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
    if (box->fontMetrics().horizontalAdvance(box->title()) > box->width()) {
      problems << QStringLiteral("group \"%1\"").arg(box->title());
    }
  }
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    const int margins = 2 * (button->style()->pixelMetric(QStyle::PM_ButtonMargin) +
                             button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
    if (button->fontMetrics().horizontalAdvance(button->text().remove(QLatin1Char('&'))) + margins >
        button->width()) {
      problems << QStringLiteral("button \"%1\"").arg(button->text());
    }
  }
  for (auto* chooser : window.findChildren<ui::CDropList*>()) {
    if (!chooser->isVisible()) {
      continue;
    }
    chooser->showPopup();
    QAbstractItemView* list = chooser->view();
    const int itemMargins = 2 * (chooser->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int i = 0; i < chooser->count(); ++i) {
      const QString text = chooser->itemText(i);
      if (list->fontMetrics().horizontalAdvance(text) + itemMargins > list->viewport()->width()) {
        problems
            << QStringLiteral("list item \"%1\" of chooser %2").arg(text, chooser->objectName());
      }
      if (chooser->isEditable() && chooser->lineEdit()->fontMetrics().horizontalAdvance(text) + 5 >
                                       chooser->lineEdit()->width()) {
        problems << QStringLiteral("item \"%1\" in the field of chooser %2")
                        .arg(text, chooser->objectName());
      }
    }
    chooser->hidePopup();
    const QString shown = chooser->ShownText();
    if (chooser->fontMetrics().horizontalAdvance(shown) > ChooserTextWidth(*chooser)) {
      problems
          << QStringLiteral("current item \"%1\" of chooser %2").arg(shown, chooser->objectName());
    }
    if (shown != chooser->currentText() && !chooser->toolTip().startsWith(chooser->currentText())) {
      problems << QStringLiteral("cut item \"%1\" without its tooltip").arg(shown);
    }
  }
  return problems;
}

// Every widget of the window but the meters, in creation order: its class,
// geometry and whether it shows.
QStringList Geometries(const QWidget& window) {
  QStringList all;
  for (const QWidget* w : window.findChildren<QWidget*>()) {
    if (qobject_cast<const ui::CLevelMeter*>(w) == nullptr) {
      const QRect r = w->geometry();
      all << QStringLiteral("%1 %2 %3,%4 %5x%6 %7")
                 .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName())
                 .arg(r.x())
                 .arg(r.y())
                 .arg(r.width())
                 .arg(r.height())
                 .arg(w->isVisible());
    }
  }
  return all;
}

QAction* ShowMetersAction(const QWidget& window) {
  for (QAction* action : window.actions()) {
    if (action->text() == QStringLiteral("Show &meters")) {
      return action;
    }
  }
  return nullptr;
}

} // namespace

class LayoutTest : public QObject {
  Q_OBJECT
private slots:
  void dialogUnitsFollowTheFont();
  void everyPageAndTheMainWindowAreLaidOutCleanly_data();
  void everyPageAndTheMainWindowAreLaidOutCleanly();
  void aLongGoneDeviceIsCutInTheMiddleWithItsNameAsTooltip();
  void theAboutBoxTextsFit();
  void metersMoveNothingAndOffLeaveEveryControlWhereItWas_data();
  void metersMoveNothingAndOffLeaveEveryControlWhereItWas();
  void eachVolumeFaderShowsItsOwnLevelAndOtherFadersHaveNoMeter();
};

void LayoutTest::dialogUnitsFollowTheFont() {
  QFont small = QApplication::font();
  small.setPointSize(8);
  QFont large = small;
  large.setPointSize(16);
  const ui::CDialogUnits a(small);
  const ui::CDialogUnits b(large);
  QVERIFY(b.X(4) > a.X(4));
  QVERIFY(b.Y(8) > a.Y(8));
  // Four horizontal units are one average character of both alphabets,
  // eight vertical units one character's height.
  const QFontMetrics metrics(small);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  QVERIFY(std::abs(a.X(4) - alphabet / 52) <= 1);
  QCOMPARE(a.Y(8), metrics.height());
  // Adjacent rectangles stay adjacent whatever the rounding.
  QCOMPARE(a.Rect(3, 3, 10, 10).right() + 1, a.Rect(13, 3, 10, 10).left());
}

void LayoutTest::everyPageAndTheMainWindowAreLaidOutCleanly_data() {
  QTest::addColumn<int>("item");
  for (int item = 0; item < kPageCount; ++item) {
    QTest::newRow(PageByNumber(PageOfChooserItem(item))->name.data()) << item;
  }
}

void LayoutTest::everyPageAndTheMainWindowAreLaidOutCleanly() {
  QFETCH(int, item);
  Run run;
  run.Start();
  run.Choose(ui::kPageChooserId, item);
  ui::CMixerPage* page = run.Visible();
  QVERIFY(page != nullptr);

  QCOMPARE(LayoutProblems(*page), QStringList{});
  QCOMPARE(LayoutProblems(*run.window), QStringList{});
  QVERIFY(run.window->rect().contains(page->geometry()));
  for (QWidget* w :
       {run.Control<QWidget>(ui::kMidiInChooserId), run.Control<QWidget>(ui::kMidiOutChooserId),
        run.Control<QWidget>(ui::kChannelFieldId), run.Control<QWidget>(ui::kPageChooserId)}) {
    QVERIFY2(!w->geometry().intersects(page->geometry()), qPrintable(w->objectName()));
  }

  const QStringList problems = TextProblems(*run.window);
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));

  const QByteArray folder = qgetenv("VANTREL_SCREENSHOT_DIR");
  if (!folder.isEmpty()) {
    // Named by page and by the font's resolution (QT_FONT_DPI).
    QString name = QString::fromUtf8(PageByNumber(PageOfChooserItem(item))->name.data())
                       .toLower()
                       .replace(QLatin1String(" & "), QLatin1String("-"))
                       .replace(QLatin1Char(' '), QLatin1Char('-'));
    bool set = false;
    const int dpi = qEnvironmentVariableIntValue("QT_FONT_DPI", &set);
    const QString file = QStringLiteral("%1/%2-%3dpi.png")
                             .arg(QString::fromLocal8Bit(folder), name)
                             .arg(set ? dpi : 96);
    QVERIFY(run.window->grab().save(file));
  }
}

void LayoutTest::aLongGoneDeviceIsCutInTheMiddleWithItsNameAsTooltip() {
  Run run;
  run.Start();
  auto* input = run.Control<ui::CDropList>(ui::kMidiInChooserId);
  input->SetNote(QStringLiteral("MIDI system: jack"));
  // As the window shows a chosen device that went away.
  const QString full =
      QStringLiteral("VirtualKnobs:VirtualKnobs MIDI 1 with a long port name 128:0 (gone)");
  input->addItem(full);
  input->setCurrentIndex(1);
  const QString shown = input->ShownText();
  QVERIFY2(shown != full, qPrintable(shown));
  QVERIFY2(shown.startsWith(QStringLiteral("Virtual")), qPrintable(shown));
  QVERIFY2(shown.endsWith(QStringLiteral("(gone)")), qPrintable(shown));
  QVERIFY(shown.contains(QChar(0x2026))); // the ellipsis
  QCOMPARE(input->toolTip(), full + QStringLiteral("\n\nMIDI system: jack"));
  const QStringList problems = TextProblems(*run.window);
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
  // An item that fits is shown whole, and the tooltip is the note alone.
  input->setCurrentIndex(0);
  QCOMPARE(input->ShownText(), QStringLiteral("None"));
  QCOMPARE(input->toolTip(), QStringLiteral("MIDI system: jack"));
}

void LayoutTest::theAboutBoxTextsFit() {
  Run run;
  run.Start();
  ui::CAboutDlg about(run.window.get());
  about.show();
  const QStringList problems = TextProblems(about);
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
  QVERIFY(about.rect().contains(about.childrenRect()));
}

void LayoutTest::metersMoveNothingAndOffLeaveEveryControlWhereItWas_data() {
  everyPageAndTheMainWindowAreLaidOutCleanly_data();
}

void LayoutTest::metersMoveNothingAndOffLeaveEveryControlWhereItWas() {
  QFETCH(int, item);
  Run plain;
  plain.Start();
  plain.Choose(ui::kPageChooserId, item);
  QVERIFY(plain.window->findChildren<ui::CLevelMeter*>().isEmpty());
  const QStringList before = Geometries(*plain.window);

  Run metered("[Program Options]\nShowMeters=1\n");
  metered.Start();
  metered.Choose(ui::kPageChooserId, item);
  ui::CMixerPage* page = metered.Visible();
  QVERIFY(page != nullptr);
  const QList<ui::CLevelMeter*> meters = page->findChildren<ui::CLevelMeter*>();
  QVERIFY(!meters.isEmpty());
  for (const ui::CLevelMeter* meter : meters) {
    QVERIFY(meter->isVisible());
  }
  QCOMPARE(LayoutProblems(*page), QStringList{});
  QCOMPARE(Geometries(*metered.window), before);

  QAction* action = ShowMetersAction(*metered.window);
  QVERIFY(action != nullptr && action->isChecked());
  action->trigger();
  for (const ui::CLevelMeter* meter : metered.window->findChildren<ui::CLevelMeter*>()) {
    QVERIFY(meter->isHidden());
  }
  QCOMPARE(Geometries(*metered.window), before);
  QVERIFY(ReadTextFile(metered.profile).find("ShowMeters=0") != std::string::npos);
  QVERIFY(!ShowMetersAction(*plain.window)->isChecked());
}

void LayoutTest::eachVolumeFaderShowsItsOwnLevelAndOtherFadersHaveNoMeter() {
  Run run("[Program Options]\nShowMeters=1\n");
  run.Start();
  const std::array<int32_t, 2> wave{kSourceWave, 0};
  const std::size_t waveSlot = *mixer_dbus::ValueSlot(mixer_dbus::Method::GetSourceVolume, wave);
  mixer_dbus::MeterReading reading;
  reading.slot = waveSlot;
  reading.sides = {-602, -1200};
  reading.sideCount = 2;
  mixer_dbus::CMeterLevels levels;
  levels.Apply({reading});
  int waveFaders = 0;
  for (const auto& entry : run.window->Entries()) {
    ui::CMixerPage& page = *entry->page;
    page.ShowLevels(levels);
    for (std::size_t strip = 0; strip < page.Model().StripCount(); ++strip) {
      const std::optional<std::size_t> slot = ValueSlotOf(page.Model().ParameterOfStrip(strip));
      const bool metered =
          slot && mixer_dbus::MeterSidesOf(mixer_dbus::KeyOfSlot(*slot).getter) > 0;
      ui::CLevelMeter* meter = MeterOf(page, strip);
      QCOMPARE(meter != nullptr, metered);
      if (meter != nullptr && *slot == waveSlot) {
        ++waveFaders;
        QCOMPARE(ShownLevel(*meter), std::optional<double>(-6.0));
        // The right bar, the second side, is drawn up to -12 dB.
        QCOMPARE(DrawnTop(*meter, 1),
                 meter->height() -
                     static_cast<int>(ui::CLevelMeter::FillOf(-1200) * meter->height()));
        QCOMPARE(meter->toolTip(), QStringLiteral("Level -6.0 dB"));
      } else if (meter != nullptr) {
        QCOMPARE(DrawnTop(*meter, 0), meter->height()); // nothing drawn
      }
    }
  }
  QCOMPARE(waveFaders, 1);
  // The scale: 0 dB fills the meter, -60 dB and silence leave it empty.
  QCOMPARE(ui::CLevelMeter::FillOf(0), 1.0);
  QCOMPARE(ui::CLevelMeter::FillOf(-3000), 0.5);
  QCOMPARE(ui::CLevelMeter::FillOf(mixer_dbus::kMeterSilence), 0.0);
}

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
