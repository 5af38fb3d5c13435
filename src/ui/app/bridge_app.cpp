#include "app/bridge_app.h"

#include "app/bridge_dlg.h"
#include "app/bridge_runtime.h"
#include "app/signal_watch.h"
#include "app/startup_clock.h"
#include "dialog/message_box.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantrel::ui {

CBridgeApp::CBridgeApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("vantrel"));
  setApplicationDisplayName(QStringLiteral("Vantrel"));
  setDesktopFileName(QStringLiteral("vantrel"));
}

int CBridgeApp::InitInstance(CBridgeRuntime& runtime) {
  CBridgeDlg dialog(runtime.Session(), runtime.ControllerWakeFd());
  CSignalWatch watch;
  // A stop closes any open box first; the window closes once the code that
  // opened the box has returned.
  connect(&watch, &CSignalWatch::Raised, &dialog,
          [&dialog] { StopModals(&dialog, [&dialog] { dialog.close(); }); });
  dialog.OnInitDialog();
  if (ModalsStopped()) {
    // Stopped while a start-up box was open: shut down in order, never shown.
    dialog.close();
  } else {
    dialog.show();
  }
  // The start-up benchmark: report when the first page is on screen, then
  // close as a user would.
  const char* benchmark = std::getenv("VANTREL_EXIT_AFTER_FIRST_PAGE");
  if (benchmark != nullptr && std::strcmp(benchmark, "1") == 0) {
    QTimer::singleShot(0, &dialog, [&dialog] {
      std::printf("first page shown after %.1f ms\n", MillisecondsSinceStart());
      std::fflush(stdout);
      dialog.close();
    });
  }
  if (!ModalsStopped()) {
    exec();
  }
  const BridgeStats stats = runtime.Session().Stats();
  std::printf("Controller changes applied: %llu, dropped: %llu; thru messages dropped: %llu\n",
              static_cast<unsigned long long>(stats.controllersApplied),
              static_cast<unsigned long long>(stats.controllersDropped),
              static_cast<unsigned long long>(stats.thruDropped));
  return 0;
}

} // namespace vantrel::ui
