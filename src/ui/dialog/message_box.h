#pragma once
// Every message the program shows goes through here, so that a stop signal
// can close whatever box is open.

#include <QString>

#include <functional>

class QDialog;
class QObject;
class QWidget;

namespace vantrel::ui {

enum class MessageKind { Information, Warning, Error };

// Shows a modal message with an OK button; owner may be null. detail, when
// not empty, is shown below the text (why something failed).
void ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageKind kind,
                 const QString& detail = {});

// Runs a modal dialog as QDialog::exec does, but one that a stop closes.
// After a stop it returns QDialog::Rejected at once without showing it.
int ExecModal(QDialog& dialog);

// The program is stopping: every modal dialog run by ExecModal closes, none
// is shown any more, and then() runs from the event loop once no modal
// dialog is left open (at once when none is), unless context is gone by
// then. A modal dialog runs an event loop of its own inside the code that
// opened it; ending the program from inside it would leave that code
// running over a session already shut down.
void StopModals(QObject* context, std::function<void()> then);
bool ModalsStopped();

// The caption of the pages' own messages.
inline constexpr const char* kProgramCaption = "Vantrel";

} // namespace vantrel::ui
