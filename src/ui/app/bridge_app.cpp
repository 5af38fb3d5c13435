#include "ui/app/bridge_app.h"

#include "ui/app/bridge_dlg.h"
#include "app/bridge_runtime.h"
#include "app/command_line.h"
#include "app/run_report.h"
#include "ui/app/signal_watch.h"
#include "app/single_instance.h"
#include "ui/dialog/message_box.h"

#include <cstdio>

namespace vantrel::ui {

CBridgeApp::CBridgeApp(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: Qt would append it to every window title
  // ("Vantrel v0.5a — Vantrel").
  setApplicationName(QStringLiteral("vantrel"));
  setDesktopFileName(QStringLiteral("vantrel"));
}

int CBridgeApp::TellProfileInUse(const std::string& sentence) {
  CSignalWatch watch;
  connect(&watch, &CSignalWatch::Raised, this, [this] { StopModals(this, [] {}); });
  std::fprintf(stderr, "vantrel: %s\n", sentence.c_str());
  ShowMessage(nullptr, QString::fromLatin1(kProgramCaption), QString::fromStdString(sentence),
              MessageKind::Error);
  return kExitProfileInUse;
}

int CBridgeApp::InitInstance(CBridgeRuntime& runtime, const CommandLine& options) {
  // The device lines go to standard output as the headless bridge prints
  // them, for people starting the program from a terminal and for scripts
  // waiting on it.
  CBridgeDlg dialog(runtime.Session(), runtime.ControllerWakeFd(),
                    WindowOptions{options.mixerWarning, PrintLine,
                                  [&runtime] { return runtime.MixerBackendStatus(); }});
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
    exec();
  }
  PrintLine(StatsLine(runtime.Session().Stats()));
  return 0;
}

} // namespace vantrel::ui
