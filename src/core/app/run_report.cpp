#include "app/run_report.h"

#include "app/bridge_session.h"

#include <cstdio>

namespace vantrel {

void PrintLine(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string StatsLine(const BridgeStats& stats) {
  return "Controller changes applied: " + std::to_string(stats.controllersApplied) +
         ", dropped: " + std::to_string(stats.controllersDropped) +
         "; thru messages dropped: " + std::to_string(stats.thruDropped) +
         "; MIDI messages received: " + std::to_string(stats.messagesReceived) +
         (stats.loopEchoesDropped == 0 ? std::string()
                                       : "; dropped as come back through a MIDI loop: " +
                                             std::to_string(stats.loopEchoesDropped)) +
         (stats.surfaceExclusiveDropped == 0 ? std::string()
                                             : "; surface system exclusive dropped: " +
                                                   std::to_string(stats.surfaceExclusiveDropped)) +
         (stats.surfaceSilent ? "; the surface did not answer" : "");
}

} // namespace vantrel
