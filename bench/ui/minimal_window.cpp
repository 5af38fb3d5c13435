// The baseline of the start-up benchmark: a Qt Widgets program with one
// small window and one label. It reports, like bench_ui_startup, the
// milliseconds from launch to its window being shown, then quits. With --fit-text the
// window is sized from its text before it is shown, as a dialog laid out
// from its font is: the font database is then set up before the mark
// instead of after it.

#include "launch_clock.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const auto mainStart = std::chrono::system_clock::now();
  QApplication app(argc, argv);
  QLabel window(QStringLiteral("Minimal window"));
  window.resize(480, 320);
  if (argc > 1 && std::strcmp(argv[1], "--fit-text") == 0) {
    window.resize(window.sizeHint().expandedTo(QSize(480, 320)));
  }
  window.show();
  QTimer::singleShot(0, &window, [&] {
    std::printf("first page shown after %.1f ms\n",
                vantrel::bench::MillisecondsSinceLaunch(mainStart));
    std::fflush(stdout);
    window.close();
  });
  return app.exec();
}
