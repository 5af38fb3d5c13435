// The program's window for the start-up benchmark: what vantrel's main does
// with the same options, except that once the first page is on screen it
// prints the milliseconds since launch and closes the window as a user would.

#include "ui/app/bridge_app.h"
#include "app/bridge_runtime.h"
#include "app/command_line.h"
#include "launch_clock.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <iostream>

namespace {

// Once the main window is shown, the next turn of the event loop prints the
// mark and closes the window, as the baseline does after its show().
class FirstWindowShown : public QObject {
public:
  explicit FirstWindowShown(std::chrono::system_clock::time_point mainStart)
      : m_mainStart(mainStart) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!m_done && event->type() == QEvent::Show && watched->inherits("vantrel::ui::CBridgeDlg")) {
      m_done = true;
      auto* window = static_cast<QWidget*>(watched);
      QTimer::singleShot(0, window, [this, window] {
        std::printf("first page shown after %.1f ms\n",
                    vantrel::bench::MillisecondsSinceLaunch(m_mainStart));
        std::fflush(stdout);
        window->close();
      });
    }
    return false;
  }

private:
  std::chrono::system_clock::time_point m_mainStart;
  bool m_done = false;
};

} // namespace

int main(int argc, char** argv) {
  const auto mainStart = std::chrono::system_clock::now();
  const vantrel::CommandLine options = vantrel::ParseCommandLine(argc, argv);
  if (!options.error.empty() || options.help || options.headless) {
    std::cerr << "bench_ui_startup: takes vantrel's window options only\n" << vantrel::kUsage;
    return 2;
  }
  vantrel::CBridgeRuntime runtime(options);
  vantrel::ui::CBridgeApp app(argc, argv);
  FirstWindowShown shown(mainStart);
  app.installEventFilter(&shown);
  return app.InitInstance(runtime, options);
}
