#include "dialog/controls.h"

#include "pages/page_model.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

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
    if (!std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) {
      event->accept(); // swallowed, as a digits-only field does
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
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

void CDropList::showPopup() {
  emit PopupOpening();
  QComboBox::showPopup();
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
