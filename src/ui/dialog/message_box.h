#pragma once
// Every message the program shows goes through here, so that tests can take
// the messages instead of a modal box waiting for a click.

#include <QString>

#include <functional>

class QWidget;

namespace vantrel::ui {

enum class MessageKind { Information, Warning, Error };

// Shows a modal message with an OK button; owner may be null.
void ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageKind kind);

// Replaces the message box with a function (tests); an empty function
// restores the box.
using MessageHandler = std::function<void(const QString& caption, const QString& text)>;
void SetMessageHandler(MessageHandler handler);

// The caption of the pages' own messages.
inline constexpr const char* kProgramCaption = "Vantrel";

} // namespace vantrel::ui
