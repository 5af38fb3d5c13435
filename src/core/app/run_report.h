#pragma once
// What the program prints on standard output, for people who started it from
// a terminal and for scripts that wait on it: the same lines from the window
// and from the headless bridge.

#include <string>

namespace vantrel {

struct BridgeStats;

// Prints one line and flushes it, so that a reader on a pipe sees it at once.
void PrintLine(const std::string& line);

// The counts a run ends with.
std::string StatsLine(const BridgeStats& stats);

} // namespace vantrel
