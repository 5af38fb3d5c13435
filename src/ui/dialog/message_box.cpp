#include "dialog/message_box.h"

#include <QMessageBox>

namespace vantrel::ui {

namespace {
MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}
} // namespace

void ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageKind kind) {
  if (Handler()) {
    Handler()(caption, text);
    return;
  }
  const QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                                 : kind == MessageKind::Warning ? QMessageBox::Warning
                                                                : QMessageBox::Information;
  QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
  box.exec();
}

void SetMessageHandler(MessageHandler handler) {
  Handler() = std::move(handler);
}

} // namespace vantrel::ui
