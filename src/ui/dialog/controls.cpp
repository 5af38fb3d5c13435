#include "ui/dialog/controls.h"

#include "pages/page_model.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace vantrel::ui {

CNumberEdit::CNumberEdit(QWidget* parent) : QLineEdit(parent) {
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void CNumberEdit::keyPressEvent(QKeyEvent* event) {
  if (m_spin != nullptr && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
    m_spin->Step(event->key() == Qt::Key_Up ? 1 : -1);
    event->accept();
    return;
  }
  const QString text = event->text();
  const bool printable = !text.isEmpty() && text.at(0).isPrint();
  if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    const bool minus = text == QStringLiteral("-") && TakesMinusHere();
    if (!minus && !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) {
      event->accept(); // swallowed, as a digits-only field does
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

bool CNumberEdit::TakesMinusHere() const {
  if (m_spin == nullptr || m_spin->Minimum() >= 0) {
    return false;
  }
  // At the start only, and once: what stays of the text after the typed
  // sign replaces the selection holds no other sign.
  const int start = hasSelectedText() ? selectionStart() : cursorPosition();
  QString kept = text();
  if (hasSelectedText()) {
    kept.remove(selectionStart(), selectedText().size());
  }
  return start == 0 && !kept.contains(QLatin1Char('-'));
}

void CNumberEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason) {
    emit FocusLost();
  }
}

void CFader::keyPressEvent(QKeyEvent* event) {
  // QSlider sends Home to the minimum, which is the bottom of a vertical one.
  if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
    triggerAction(event->key() == Qt::Key_Home ? SliderToMaximum : SliderToMinimum);
    event->accept();
    return;
  }
  QSlider::keyPressEvent(event);
}

CSpinButtons::CSpinButtons(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (QToolButton* button : {m_up, m_down}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layout->addWidget(button);
  }
  m_up->setObjectName(QStringLiteral("up"));
  m_down->setObjectName(QStringLiteral("down"));
  m_up->setArrowType(Qt::UpArrow);
  m_down->setArrowType(Qt::DownArrow);
  m_up->setAccessibleName(tr("Up"));
  m_down->setAccessibleName(tr("Down"));
  setFocusPolicy(Qt::NoFocus);
  connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
  connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

CDropList::CDropList(QWidget* parent) : QComboBox(parent) {
  // Items are never cut in the list: it is made wide enough instead.
  view()->setTextElideMode(Qt::ElideNone);
  connect(this, &QComboBox::currentTextChanged, this, &CDropList::UpdateToolTip);
}

CDropList::~CDropList() {
  // QComboBox's own destruction may change the current item; the tooltip
  // is not kept up any more.
  disconnect(this, &QComboBox::currentTextChanged, this, &CDropList::UpdateToolTip);
}

void CDropList::showPopup() {
  emit PopupOpening();
  view()->setMinimumWidth(ListWidth());
  QComboBox::showPopup();
}

int CDropList::ListWidth() const {
  QAbstractItemView* list = view();
  int widest = list->sizeHintForColumn(modelColumn());
  // The delegate measures with the list's font; an item's own font or a
  // missing hint still gets its text's width.
  const QFontMetrics metrics(list->font());
  for (int i = 0; i < count(); ++i) {
    widest = std::max(widest, metrics.horizontalAdvance(itemText(i)) +
                                  2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1));
  }
  const int frame = 2 * list->frameWidth();
  const int scrollBar = count() > maxVisibleItems()
                            ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list)
                            : 0;
  return widest + frame + scrollBar;
}

void CDropList::SetNote(const QString& note) {
  m_note = note;
  UpdateToolTip();
}

QRect CDropList::TextRect() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  // As the style draws the label: one pixel in from each side.
  return style()
      ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
      .adjusted(1, 0, -1, 0);
}

QString CDropList::ShownText() const {
  if (isEditable()) {
    return currentText();
  }
  return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, TextRect().width());
}

void CDropList::UpdateToolTip() {
  QString tip = m_note;
  if (ShownText() != currentText()) {
    tip = m_note.isEmpty() ? currentText() : currentText() + QStringLiteral("\n\n") + m_note;
  }
  setToolTip(tip);
}

void CDropList::paintEvent(QPaintEvent* event) {
  if (isEditable()) {
    QComboBox::paintEvent(event);
    return;
  }
  // QComboBox would clip the text at the field's right edge.
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  option.currentText = ShownText();
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void CDropList::resizeEvent(QResizeEvent* event) {
  QComboBox::resizeEvent(event);
  UpdateToolTip();
}

void FitToItems(QComboBox& chooser) {
  if (chooser.lineEdit() == nullptr) {
    return;
  }
  QLineEdit& field = *chooser.lineEdit();
  const QFontMetrics metrics(field.font());
  int widest = 0;
  for (int i = 0; i < chooser.count(); ++i) {
    widest = std::max(widest, metrics.horizontalAdvance(chooser.itemText(i)));
  }
  // QLineEdit keeps two pixels free on each side of its text, and one for
  // the cursor.
  const QMargins margins = field.textMargins();
  const int needed = widest + 5 + margins.left() + margins.right();
  // The field's place in the chooser as the style lays it out; the field
  // itself may not have been placed yet.
  QStyleOptionComboBox option;
  option.initFrom(&chooser);
  option.editable = true;
  option.frame = true;
  const int missing = needed - chooser.style()
                                   ->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, &chooser)
                                   .width();
  if (missing <= 0) {
    return;
  }
  // Each widget up to the window keeps the room it had right of the one
  // inside it, and grows where that one now reaches further.
  std::vector<std::pair<QWidget*, int>> outers;
  for (QWidget* inner = &chooser; !inner->isWindow(); inner = inner->parentWidget()) {
    QWidget* outer = inner->parentWidget();
    outers.emplace_back(outer, std::max(0, outer->width() - inner->geometry().right() - 1));
  }
  chooser.resize(chooser.width() + missing, chooser.height());
  QWidget* inner = &chooser;
  for (const auto& [outer, room] : outers) {
    const int right = inner->geometry().right() + 1 + room;
    if (right <= outer->width()) {
      break;
    }
    if (outer->minimumWidth() == outer->maximumWidth()) {
      outer->setFixedWidth(right);
    } else {
      outer->resize(right, outer->height());
    }
    inner = outer;
  }
}

void CSpinButtons::SetBuddy(CNumberEdit* buddy) {
  m_buddy = buddy;
  buddy->SetSpin(this);
}

void CSpinButtons::SetRange(int minimum, int maximum) {
  m_min = minimum;
  m_max = maximum;
  m_position = std::clamp(m_position, m_min, m_max);
}

void CSpinButtons::Step(int delta) {
  if (m_buddy == nullptr) {
    return;
  }
  const auto shown = ParseFieldInteger(m_buddy->text().toStdString());
  const long long from = shown ? *shown : m_position;
  m_position = static_cast<int>(std::clamp<long long>(from + delta, m_min, m_max));
  m_buddy->setText(QString::number(m_position));
  emit Stepped();
}

} // namespace vantrel::ui
