#pragma once
// The few controls that the templates need beyond Qt's own: a number field
// that takes only digits from the keyboard, the small up/down spin that
// sits at a field's right edge and steps the number in it, and a drop-down
// list that says when it is about to open.

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QWidget>

class QToolButton;

namespace vantrel::ui {

class CSpinButtons;

// A right-aligned field into which only digits can be typed, and a leading
// minus sign where its spin's range goes below zero (a CC field's "-1",
// none). Up and Down step its spin.
class CNumberEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit CNumberEdit(QWidget* parent);
  void SetSpin(CSpinButtons* spin) { m_spin = spin; }
  CSpinButtons* Spin() const { return m_spin; }

signals:
  // The focus went elsewhere (not to the field's own context menu).
  void FocusLost();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  // True when typing a minus sign here gives the start of a negative number.
  bool TakesMinusHere() const;

  CSpinButtons* m_spin = nullptr;
};

// Up/down buttons that step the integer in their buddy field by one within
// their range, write it there as decimal text and then report the step.
// Text in the field that is not an integer steps from the last number the
// spin wrote.
class CSpinButtons : public QWidget {
  Q_OBJECT
public:
  explicit CSpinButtons(QWidget* parent);
  void SetBuddy(CNumberEdit* buddy);
  void SetRange(int minimum, int maximum);
  int Minimum() const { return m_min; }
  // One step up (+1) or down (-1), as a click would make.
  void Step(int delta);

signals:
  void Stepped();

private:
  CNumberEdit* m_buddy = nullptr;
  QToolButton* m_up;
  QToolButton* m_down;
  int m_min = 0;
  int m_max = 100;
  int m_position = 0;
};

// A vertical fader whose Home key puts it at the top (the maximum) and End
// at the bottom, as a fader on screen is read. The other keys are QSlider's,
// which already match: Up and Page Up raise it.
class CFader : public QSlider {
  Q_OBJECT
public:
  explicit CFader(QWidget* parent) : QSlider(Qt::Vertical, parent) {}

protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A combo box that announces its list opening before it is shown, so that
// its owner can bring the items up to date first. Its list is as wide as
// its widest item. Without an edit field, a current item wider than the
// field is shown cut in the middle, so both ends ("... (gone)") stay
// readable, and its full text leads the tooltip.
class CDropList : public QComboBox {
  Q_OBJECT
public:
  explicit CDropList(QWidget* parent);
  ~CDropList() override;
  void showPopup() override;
  // Text for the tooltip beside the current item's own (shown alone when
  // the item fits).
  void SetNote(const QString& note);
  // The current item as the field shows it.
  QString ShownText() const;
  // The width the list needs for its widest item, frame and scroll bar
  // included.
  int ListWidth() const;

signals:
  void PopupOpening();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  QRect TextRect() const;
  void UpdateToolTip();

  QString m_note;
};

// Widens an editable chooser to the right until its field holds its widest
// item, and its window with it when the window's fixed width is too small.
// For choosers whose items are fixed names (pages, effects).
void FitToItems(QComboBox& chooser);

} // namespace vantrel::ui
