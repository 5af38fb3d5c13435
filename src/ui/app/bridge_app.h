#pragma once
// The application object: runs the main window over the process-wide
// objects of one run, and the program lives as long as that window.

#include <QApplication>

#include <functional>
#include <string>

namespace vantrel {
class CBridgeRuntime;
struct CommandLine;
} // namespace vantrel

namespace vantrel::ui {

class CBridgeApp : public QApplication {
  Q_OBJECT
public:
  CBridgeApp(int& argc, char** argv);

  // Starts the main window, runs until it closes (close button, Alt+F4,
  // SIGINT, SIGTERM or SIGHUP) and returns the exit code. onShown, when
  // given, runs from the event loop once the window with its first page is
  // on screen (the start-up benchmark closes the window there).
  int InitInstance(CBridgeRuntime& runtime, const CommandLine& options,
                   const std::function<void(QWidget& window)>& onShown = {});
  // Says on standard error and in a box that another program holds the
  // profile (a stop signal closes the box) and returns the exit code.
  int TellProfileInUse(const std::string& sentence);
};

} // namespace vantrel::ui
