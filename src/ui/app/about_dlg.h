#pragma once
// The about box: the program's icon, name and version, and where to read
// more.

#include <QDialog>

namespace vantrel::ui {

class CAboutDlg : public QDialog {
  Q_OBJECT
public:
  explicit CAboutDlg(QWidget* parent);
};

} // namespace vantrel::ui
