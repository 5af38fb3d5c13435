#pragma once
// One update of the level meters as a back end measures it: the peak of
// each strip's objects and of each aux bus since the last update, and how
// it goes over the bus (keys and units in mixer/meter_levels.h).

#include "mixer/meter_levels.h"
#include "mixer_strips.h"

#include <array>
#include <optional>
#include <vector>

namespace vantrel::mixerd {

// Meters: one per strip (strip order), then one per aux bus.
inline constexpr int kMeterCount = kStripCount + kBusCount;
constexpr int BusMeter(int bus) {
  return kStripCount + bus;
}

// Linear peaks (1 = full scale) of each side.
struct SidePeaks {
  double left = 0;
  double right = 0;

  bool operator==(const SidePeaks&) const = default;
};

// Empty where nothing is measured (a strip that drives nothing).
using MeterFrame = std::array<std::optional<SidePeaks>, kMeterCount>;

struct MeterEntry {
  mixer_dbus::ValueKey key;
  std::vector<int32_t> levels;
};

// The signal's entries for a frame, in meter order; Master gives one entry
// per channel.
std::vector<MeterEntry> MeterEntries(const MeterFrame& frame);

} // namespace vantrel::mixerd
