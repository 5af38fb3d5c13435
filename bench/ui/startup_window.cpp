// The program's window for the start-up benchmark: what vantrel's main does
// with the same options, except that once the first page is on screen it
// prints the milliseconds since launch and closes the window as a user would.

#include "app/bridge_app.h"
#include "app/bridge_runtime.h"
#include "app/command_line.h"
#include "launch_clock.h"

#include <QWidget>

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
  const auto mainStart = std::chrono::system_clock::now();
  const vantrel::CommandLine options = vantrel::ParseCommandLine(argc, argv);
  if (!options.error.empty() || options.help || options.headless) {
    std::cerr << "bench_ui_startup: takes vantrel's window options only\n" << vantrel::kUsage;
    return 2;
  }
  vantrel::CBridgeRuntime runtime(options);
  vantrel::ui::CBridgeApp app(argc, argv);
  return app.InitInstance(runtime, options, [mainStart](QWidget& window) {
    std::printf("first page shown after %.1f ms\n",
                vantrel::bench::MillisecondsSinceLaunch(mainStart));
    std::fflush(stdout);
    window.close();
  });
}
