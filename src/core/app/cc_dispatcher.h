#pragma once
// Applies one incoming Control Change: every catalogue row whose strip
// carries the controller number is set, in catalogue order (levels with the
// controller scale v x 512, gains with the gain scale, the filter rows by
// their NRPN sequence on the output channel), and the strips of the page on
// screen show the value. The controller's mode (CControllerModes) decides
// what the value means: absolute, a relative step that moves each row from
// its own value (clamped to 0..127), or a 14-bit pair whose full value
// reaches the mixer through the same scales. The rows come from the parameter table's reverse
// index; the mixer setters of one change leave as one batch. The incoming
// channel picks no rows; with soft takeover on it is the source that has to
// pick a row up (each channel on its own) before it sets it; a relative
// step never jumps, so it needs no pick-up. Dialog thread
// only; nothing is sent for mixer rows, since the message went through
// already.

#include <cstddef>
#include <cstdint>

namespace vantrel {

struct BridgeContext;

void OnMidiCc(BridgeContext& context, uint32_t controller, uint32_t value, std::size_t source = 0);

} // namespace vantrel
