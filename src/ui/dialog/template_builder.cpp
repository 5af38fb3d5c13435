#include "ui/dialog/template_builder.h"

#include "ui/dialog/controls.h"
#include "ui/dialog/dialog_units.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

// Q_INIT_RESOURCE names a function at global scope, so it is called from here.
static bool LoadProgramResources() {
  Q_INIT_RESOURCE(vantrel);
  return true;
}

namespace vantrel::ui {

namespace {

constexpr int kFaderMax = 127;
// A fader's page step, the fifth of its travel that a click beside the
// thumb or Page Up/Down moves.
constexpr int kFaderPageStep = 25;

QLabel* MakeText(QWidget& window, const ControlTemplate& c, Qt::Alignment alignment,
                 const QRect& rect) {
  auto* label =
      new QLabel(QString::fromUtf8(c.text.data(), static_cast<int>(c.text.size())), &window);
  label->setAlignment(alignment | Qt::AlignTop);
  QRect area = rect;
  // A caption wider than its place in the template grows to the right
  // rather than being cut off: the template's font is narrower than most.
  const int needed = label->sizeHint().width();
  if (needed > area.width() && !(alignment & Qt::AlignHCenter)) {
    area.setWidth(needed);
  }
  label->setGeometry(area);
  return label;
}

QWidget* MakeControl(QWidget& window, const ControlTemplate& c, const QRect& rect,
                     QWidget* previous) {
  const QString text = QString::fromUtf8(c.text.data(), static_cast<int>(c.text.size()));
  switch (c.kind) {
  case ControlKind::Frame: {
    auto* frame = new QFrame(&window);
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(rect);
    return frame;
  }
  case ControlKind::Text:
    return MakeText(window, c, Qt::AlignLeft, rect);
  case ControlKind::CenteredText:
    return MakeText(window, c, Qt::AlignHCenter, rect);
  case ControlKind::GroupBox: {
    auto* box = new QGroupBox(text, &window);
    box->setGeometry(rect);
    // A group box only frames; the strips inside it take the clicks.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    box->lower();
    return box;
  }
  case ControlKind::Fader: {
    auto* fader = new CFader(&window);
    fader->setRange(0, kFaderMax);
    fader->setSingleStep(1);
    fader->setPageStep(kFaderPageStep);
    fader->setTickPosition(QSlider::NoTicks);
    fader->setFocusPolicy(Qt::StrongFocus);
    fader->setGeometry(rect);
    return fader;
  }
  case ControlKind::NumberEdit: {
    auto* edit = new CNumberEdit(&window);
    edit->setGeometry(rect);
    return edit;
  }
  case ControlKind::Spin: {
    auto* spin = new CSpinButtons(&window);
    auto* buddy = qobject_cast<CNumberEdit*>(previous);
    if (buddy == nullptr) {
      spin->setGeometry(rect);
      return spin;
    }
    // The spin takes the right end of its field, as tall as the field.
    QRect field = buddy->geometry();
    const int width = rect.width();
    field.setWidth(field.width() - width);
    buddy->setGeometry(field);
    spin->setGeometry(field.right() + 1, field.top(), width, field.height());
    spin->SetBuddy(buddy);
    return spin;
  }
  case ControlKind::DropList:
  case ControlKind::DropEdit: {
    auto* combo = new CDropList(&window);
    if (c.kind == ControlKind::DropEdit) {
      // The field shows the choice but takes no typing: Qt would complete
      // typed text to an item and act on it, where only a choice from the
      // list may act.
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setCompleter(nullptr);
      combo->lineEdit()->setReadOnly(true);
    }
    combo->setGeometry(rect.x(), rect.y(), rect.width(), combo->sizeHint().height());
    return combo;
  }
  case ControlKind::Button: {
    auto* button = new QPushButton(text, &window);
    button->setDefault((c.flags & kDefaultButton) != 0);
    button->setAutoDefault((c.flags & kDefaultButton) != 0);
    button->setGeometry(rect);
    return button;
  }
  case ControlKind::Icon: {
    auto* icon = new QLabel(&window);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(rect.x(), rect.y(), 32, 32);
    return icon;
  }
  }
  return nullptr;
}

} // namespace

ControlMap BuildControls(const DialogTemplate& tmpl, QWidget& window) {
  const CDialogUnits units(window.font());
  window.setFixedSize(units.X(tmpl.w), units.Y(tmpl.h));
  ControlMap controls;
  QWidget* previous = nullptr;
  for (const ControlTemplate& c : tmpl.controls) {
    QWidget* control = MakeControl(window, c, units.Rect(c.x, c.y, c.w, c.h), previous);
    control->setObjectName(QString::number(c.id));
    if (c.flags & kHidden) {
      control->hide();
    }
    if (c.flags & kDisabled) {
      control->setEnabled(false);
    }
    if (c.id != 0) {
      controls.emplace(c.id, control);
    }
    previous = control;
  }
  return controls;
}

QIcon ProgramIcon() {
  // The images are compiled into this static library; without this call
  // the linker leaves them out of the program and the icon is empty.
  static const bool loaded = LoadProgramResources();
  (void)loaded;
  QIcon icon;
  icon.addFile(QStringLiteral(":/vantrel/icons/vantrel-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/vantrel/icons/vantrel-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/vantrel/icons/vantrel-48.png"), QSize(48, 48));
  icon.addFile(QStringLiteral(":/vantrel/icons/vantrel-64.png"), QSize(64, 64));
  return icon;
}

} // namespace vantrel::ui
