#pragma once
// The application object: runs the main window over the process-wide
// objects of one run, and the program lives as long as that window.

#include <QApplication>

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
  // SIGINT, SIGTERM or SIGHUP) and returns the exit code.
  int InitInstance(CBridgeRuntime& runtime, const CommandLine& options);
  // Says on standard error and in a box that another program holds the
  // profile (a stop signal closes the box) and returns the exit code.
  int TellProfileInUse(const std::string& sentence);
};

} // namespace vantrel::ui
