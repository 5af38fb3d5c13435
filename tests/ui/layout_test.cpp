// The windows built from their templates: every control inside its window,
// no two controls on top of each other, every caption wide enough for its
// text. With VANTREL_SCREENSHOT_DIR set, each page is also saved as a PNG
// of the whole main window, for people to look at.

#include "dialog/controls.h"
#include "dialog/dialog_units.h"
#include "res/control_ids.h"
#include "res/dialog_template.h"
#include "ui_fixture.h"
#include "window_run.h"

#include <QGroupBox>
#include <QLabel>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

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

} // namespace

class LayoutTest : public QObject {
  Q_OBJECT
private slots:
  void dialogUnitsFollowTheFont();
  void everyPageAndTheMainWindowAreLaidOutCleanly_data();
  void everyPageAndTheMainWindowAreLaidOutCleanly();
};

void LayoutTest::dialogUnitsFollowTheFont() {
  QFont small = QApplication::font();
  small.setPointSize(8);
  QFont large = small;
  large.setPointSize(16);
  const ui::CDialogUnits a(small);
  const ui::CDialogUnits b(large);
  QVERIFY(b.BaseX() > a.BaseX());
  QVERIFY(b.BaseY() > a.BaseY());
  QCOMPARE(a.X(4), a.BaseX());
  QCOMPARE(a.Y(8), a.BaseY());
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

  const QByteArray folder = qgetenv("VANTREL_SCREENSHOT_DIR");
  if (!folder.isEmpty()) {
    const QString file = QStringLiteral("%1/page-%2.png")
                             .arg(QString::fromLocal8Bit(folder))
                             .arg(page->TemplateId());
    QVERIFY(run.window->grab().save(file));
  }
}

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
