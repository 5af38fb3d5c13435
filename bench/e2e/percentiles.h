#pragma once
// Median and 99th percentile of per-iteration times, as benchmark counters.
// Answers the median (0 without times), for figures given as ratios.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace vantrel::test {

inline double ReportPercentiles(benchmark::State& state, std::vector<double> micros) {
  if (micros.empty()) {
    return 0;
  }
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  return micros[micros.size() / 2];
}

} // namespace vantrel::test
