#include "pages/aux_labels.h"

#include "mixer/mixer_server.h"

namespace vantrel {

const std::array<std::string_view, 16> kEffectNames = {
    "Reverb",     "Chorus",     "Flanger",  "Echo-Delay", "Auto-Wah", "PitchShift",
    "Distortion", "Compressor", "ShelfEQ1", "ShelfEQ2",   "ShelfEQ3", "ShelfEQ4",
    "ParamEQ1",   "ParamEQ2",   "ParamEQ3", "ParamEQ4"};

namespace {
constexpr std::array<std::string_view, 16> kEffectLabels = {
    "Rvrb",  "Chor",  "Flan",  "Echo",  "Wah",   "Ptch",  "Dist",  "Comp",
    "ShEQ1", "ShEQ2", "ShEQ3", "ShEQ4", "PrEQ1", "PrEQ2", "PrEQ3", "PrEQ4"};
static_assert(kEffectLabels.size() == kEffectCount);
} // namespace

void GetEffectLabel(int32_t effectType, std::string& label) {
  const uint32_t type = static_cast<uint32_t>(effectType) & 0xFFFFu;
  label = type < kEffectLabels.size() ? kEffectLabels[type] : "-";
}

void GetOutputPairLabel(int32_t digital, int32_t pair, int32_t /*third*/, std::string& label) {
  const uint32_t index = static_cast<uint32_t>(pair) & 0xFFFFu;
  if (digital != 0) {
    label = index == 0 ? "D1" : index == 2 ? "D2" : "D";
  } else {
    label = index == 0 ? "A1+2" : index == 2 ? "A5+6" : index == 4 ? "A7+8" : "A";
  }
}

void GetAuxBusLabel(IMixerServer& mixer, int32_t bus, std::string& label) {
  if (mixer.IsBusRouted(bus) == 0) {
    label = "N/R";
    return;
  }
  if (mixer.IsBusOnOutput(bus) != 0) {
    int32_t digital = 0;
    int32_t pair = 0;
    int32_t third = 0;
    mixer.GetBusOutput(bus, digital, pair, third);
    GetOutputPairLabel(digital, pair, third, label);
    return;
  }
  int32_t effect = 0;
  mixer.GetBusEffect(bus, effect);
  GetEffectLabel(effect, label);
}

bool AuxBusLabelChanged(int32_t bus, const CMixerMirror::Slots& changed) {
  const std::array<int32_t, 1> args{bus};
  for (const mixer_dbus::Method getter :
       {mixer_dbus::Method::IsBusRouted, mixer_dbus::Method::IsBusOnOutput,
        mixer_dbus::Method::GetBusEffect, mixer_dbus::Method::GetBusOutput}) {
    const auto slot = mixer_dbus::ValueSlot(getter, args);
    if (slot && changed.test(*slot)) {
      return true;
    }
  }
  return false;
}

} // namespace vantrel
