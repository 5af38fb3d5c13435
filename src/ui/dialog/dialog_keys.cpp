#include "ui/dialog/dialog_keys.h"

#include <QKeyEvent>

namespace vantrel::ui {

bool HandleDialogKey(QKeyEvent* event, const std::function<void()>& onCommit,
                     const std::function<void()>& onCancel) {
  switch (event->key()) {
  case Qt::Key_Return:
  case Qt::Key_Enter:
    onCommit();
    break;
  case Qt::Key_Escape:
    onCancel();
    break;
  default:
    return false;
  }
  event->accept();
  return true;
}

} // namespace vantrel::ui
