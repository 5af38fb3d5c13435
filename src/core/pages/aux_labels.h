#pragma once
// Short labels that say where an aux bus goes: "N/R" when nothing is routed
// to it, an effect name, or an output pair. Built from fresh mixer answers at
// every page refresh; never cached or stored.

#include "mixer/mixer_mirror.h"
#include <array>
#include <cstdint>

#include <string>
#include <string_view>

namespace vantrel {

class IMixerServer;

// Chooser items of the effect choosers, by effect type 0..15.
extern const std::array<std::string_view, 16> kEffectNames;

// The label of an effect type: its low 16 bits pick one of the sixteen
// labels; types 16..65535 read "-".
void GetEffectLabel(int32_t effectType, std::string& label);

// The label of an output pair: analog "A1+2", "A5+6", "A7+8" for pairs 0, 2,
// 4 and "A" otherwise; digital "D1", "D2" for pairs 0, 2 and "D" otherwise.
// The third value plays no part.
void GetOutputPairLabel(int32_t digital, int32_t pair, int32_t third, std::string& label);

// Asks the mixer where the bus goes: IsBusRouted, then IsBusOnOutput, then
// GetBusOutput or GetBusEffect. A getter that fails leaves the zeros it was
// given, so the label reads "A1+2" or "Rvrb".
void GetAuxBusLabel(IMixerServer& mixer, int32_t bus, std::string& label);

// Whether a bus's label may read differently after the mixer values in
// `changed` (slots of mixer_values.h) changed: its routing, output or effect.
bool AuxBusLabelChanged(int32_t bus, const CMixerMirror::Slots& changed);

} // namespace vantrel
