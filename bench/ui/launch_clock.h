#pragma once
// The start-up benchmark's clock: startup.sh passes the launch time in
// VANTREL_BENCH_START_NS (CLOCK_REALTIME nanoseconds); without it a program
// counts from the moment its main() began.

#include <chrono>
#include <cstdlib>

namespace vantrel::bench {

inline double MillisecondsSinceLaunch(std::chrono::system_clock::time_point mainStart) {
  auto start = mainStart;
  if (const char* launched = std::getenv("VANTREL_BENCH_START_NS")) {
    start = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(std::strtoll(launched, nullptr, 10))));
  }
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - start)
      .count();
}

} // namespace vantrel::bench
