#pragma once
// Builds a window's controls from its dialog template: every control becomes
// a child widget placed in pixels from the window's font, named by its id in
// decimal, in template order (so the tab order follows the template).

#include "ui/res/dialog_template.h"

#include <QWidget>

#include <unordered_map>

namespace vantrel::ui {

using ControlMap = std::unordered_map<int, QWidget*>;

// Creates the controls of tmpl inside window and gives the window the
// template's size. Returns the controls with a non-zero id.
ControlMap BuildControls(const DialogTemplate& tmpl, QWidget& window);

// The program's icon (16, 32, 48 and 64 pixel images).
QIcon ProgramIcon();

} // namespace vantrel::ui
