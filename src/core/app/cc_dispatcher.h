#pragma once
// Applies one incoming Control Change: every catalogue row whose strip
// carries the controller number is set, in catalogue order (levels with the
// controller scale v x 512, gains with the gain scale, the filter rows by
// their NRPN sequence on the output channel), and the strips of the page on
// screen show the value. The incoming channel plays no part. With soft
// takeover on, a row its controller has not picked up yet is left alone.
// Dialog thread only; nothing is sent for mixer rows, since the message went
// through already.

#include <cstdint>

namespace vantrel {

struct BridgeContext;

void OnMidiCc(BridgeContext& context, uint32_t controller, uint32_t value);

} // namespace vantrel
