#include "mixer/meter_levels.h"

#include <algorithm>
#include <cmath>

namespace vantrel::mixer_dbus {

int32_t MeterLevelOfPeak(double peak) {
  // NaN and everything at or below the floor read as silence.
  if (!(peak > 0)) {
    return kMeterSilence;
  }
  const double centibels = std::round(2000.0 * std::log10(peak));
  return centibels <= kMeterSilence ? kMeterSilence
                                    : static_cast<int32_t>(std::min(centibels, 1.0e6));
}

int32_t MeterReading::Peak() const {
  return sideCount == 2 ? std::max(sides[0], sides[1]) : sides[0];
}

void CMeterLevels::Apply(const MeterUpdate& update) {
  m_readings = {};
  for (const MeterReading& reading : update) {
    if (reading.slot < m_readings.size()) {
      m_readings[reading.slot] = reading;
    }
  }
}

std::size_t MeterSidesOf(Method getter) {
  switch (getter) {
  case Method::GetMasterVolume:
    return 1;
  case Method::GetSourceVolume:
  case Method::GetRecordLevel:
  case Method::GetBusLevel:
    return 2;
  default:
    return 0;
  }
}

std::optional<MeterReading> ParseMeterEntry(std::string_view getter, std::span<const int32_t> args,
                                            std::span<const int32_t> levels) {
  const MethodInfo* info = FindMethod(getter);
  if (info == nullptr || MeterSidesOf(info->id) == 0 || args.size() != info->inputCount ||
      levels.size() != MeterSidesOf(info->id)) {
    return std::nullopt;
  }
  const std::optional<std::size_t> slot = ValueSlot(info->id, args);
  if (!slot) {
    return std::nullopt;
  }
  MeterReading reading;
  reading.slot = *slot;
  reading.sideCount = levels.size();
  for (std::size_t i = 0; i < levels.size(); ++i) {
    reading.sides[i] = std::max(levels[i], kMeterSilence);
  }
  return reading;
}

} // namespace vantrel::mixer_dbus
