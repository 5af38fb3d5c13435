#include "ui/dialog/message_box.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <utility>
#include <vector>

namespace vantrel::ui {

namespace {

// The modal dialogs open now, innermost last, and what a stop left to do.
struct ModalState {
  std::vector<QPointer<QDialog>> open;
  bool stopped = false;
  QPointer<QObject> context;
  std::function<void()> then;
};

ModalState& Modals() {
  static ModalState state;
  return state;
}

} // namespace

void ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageKind kind,
                 const QString& detail) {
  const QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                                 : kind == MessageKind::Warning ? QMessageBox::Warning
                                                                : QMessageBox::Information;
  QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
  box.setInformativeText(detail);
  ExecModal(box);
}

int ExecModal(QDialog& dialog) {
  ModalState& modals = Modals();
  if (modals.stopped) {
    return QDialog::Rejected;
  }
  modals.open.emplace_back(&dialog);
  const int result = dialog.exec();
  modals.open.pop_back();
  if (modals.open.empty() && modals.then) {
    std::function<void()> then = std::exchange(modals.then, {});
    // Queued, so that it runs once the code that opened the dialog has
    // returned to the event loop.
    if (modals.context) {
      QTimer::singleShot(0, modals.context.data(), std::move(then));
    }
  }
  return result;
}

void StopModals(QObject* context, std::function<void()> then) {
  ModalState& modals = Modals();
  modals.stopped = true;
  if (modals.open.empty()) {
    then();
    return;
  }
  modals.context = context;
  modals.then = std::move(then);
  for (const QPointer<QDialog>& dialog : modals.open) {
    if (dialog) {
      dialog->done(QDialog::Rejected);
    }
  }
}

bool ModalsStopped() {
  return Modals().stopped;
}

} // namespace vantrel::ui
