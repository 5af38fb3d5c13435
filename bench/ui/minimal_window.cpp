// The baseline of the start-up benchmark: a Qt Widgets program with one
// small window and one label. It reports, like vantrel in its benchmark
// mode, the milliseconds from launch (VANTREL_BENCH_START_NS, realtime
// nanoseconds) to its window being shown, then quits. With --fit-text the
// window is sized from its text before it is shown, as a dialog laid out
// from its font is: the font database is then set up before the mark
// instead of after it.

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
    auto start = mainStart;
    if (const char* launched = std::getenv("VANTREL_BENCH_START_NS")) {
      start = std::chrono::system_clock::time_point(
          std::chrono::duration_cast<std::chrono::system_clock::duration>(
              std::chrono::nanoseconds(std::strtoll(launched, nullptr, 10))));
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - start).count();
    std::printf("first page shown after %.1f ms\n", ms);
    std::fflush(stdout);
    window.close();
  });
  return app.exec();
}
