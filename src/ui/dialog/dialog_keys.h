#pragma once
// The keys every window and page of the program shares: Return and Enter
// commit what is typed, Esc only cancels (it never closes a window).

#include <functional>

class QKeyEvent;

namespace vantrel::ui {

// Runs onCommit or onCancel for those keys and takes the event; false for
// any other key, which the caller passes on.
bool HandleDialogKey(QKeyEvent* event, const std::function<void()>& onCommit,
                     const std::function<void()>& onCancel);

} // namespace vantrel::ui
