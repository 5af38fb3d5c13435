#include "ui/app/about_dlg.h"

#include "ui/dialog/template_builder.h"
#include "ui/res/control_ids.h"

#include <QPushButton>

namespace vantrel::ui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const DialogTemplate& tmpl = *FindTemplate(kAboutTemplate);
  setWindowTitle(
      QString::fromUtf8(tmpl.caption.data(), static_cast<qsizetype>(tmpl.caption.size())));
  setWindowIcon(ProgramIcon());
  const ControlMap controls = BuildControls(tmpl, *this);
  auto* ok = qobject_cast<QPushButton*>(controls.at(kAboutOkId));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace vantrel::ui
