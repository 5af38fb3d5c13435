#include "app/startup_clock.h"

#include <chrono>
#include <cstdlib>

namespace vantrel::ui {

namespace {
std::chrono::system_clock::time_point g_start;
}

void MarkProcessStart() {
  g_start = std::chrono::system_clock::now();
}

double MillisecondsSinceStart() {
  std::chrono::system_clock::time_point start = g_start;
  if (const char* launched = std::getenv("VANTREL_BENCH_START_NS")) {
    start = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(std::strtoll(launched, nullptr, 10))));
  }
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - start)
      .count();
}

} // namespace vantrel::ui
