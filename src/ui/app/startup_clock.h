#pragma once
// Time since the process started, for the start-up benchmark. The
// benchmark script may pass its own launch time (VANTREL_BENCH_START_NS,
// CLOCK_REALTIME nanoseconds); otherwise the time since main() began.

namespace vantrel::ui {

// Notes the moment main() begins.
void MarkProcessStart();
double MillisecondsSinceStart();

} // namespace vantrel::ui
