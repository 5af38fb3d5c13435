#pragma once
// Level meters of the mixer service. Meters cost the sound server a record
// stream per measured object, so the server measures only while at least
// one client asks:
//
//   StartMeters() -> s why     starts meters for the calling client (by its
//                              unique bus name); `why` is empty when the
//                              back end measures, else the one sentence
//                              saying why there are no meters
//   StopMeters()               the caller no longer wants them; leaving the
//                              bus says the same
//   MeterLevels(a(saiai))      signal, at most kMeterUpdatesPerSecond a
//                              second: (getter, arguments, levels) per
//                              measured strip
//
// Levels are keyed by the value whose fader they stand beside: Master by
// GetMasterVolume of each channel (one level each), a source by its
// GetSourceVolume, Record by GetRecordLevel and an aux bus by its
// GetBusLevel (left and right each). A level is the peak since the last
// update in hundredths of a dB below full scale; kMeterSilence stands for
// silence and anything quieter. A strip that drives nothing is left out.

#include "mixer/mixer_values.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel::mixer_dbus {

inline constexpr int kMeterUpdatesPerSecond = 25;
// -100 dB: below what any meter shows.
inline constexpr int32_t kMeterSilence = -10000;

// Hundredths of a dB of a linear peak (1 = full scale), floored at
// kMeterSilence and rounded to the nearest.
int32_t MeterLevelOfPeak(double peak);

// One measured value: its slot (mixer_values.h) and the level of each side.
struct MeterReading {
  std::size_t slot = 0;
  std::array<int32_t, 2> sides{kMeterSilence, kMeterSilence};
  std::size_t sideCount = 0;

  // The louder side.
  int32_t Peak() const;
};

// One update of the meters: a reading per measured value.
using MeterUpdate = std::vector<MeterReading>;

// The latest level of each metered value, as views read it.
class CMeterLevels {
public:
  // An update replaces everything: a value it leaves out has no meter now.
  void Apply(const MeterUpdate& update);
  void Clear() { m_readings = {}; }
  // The value's reading, or null when nothing measures it.
  const MeterReading* Find(std::size_t slot) const {
    return slot < m_readings.size() && m_readings[slot] ? &*m_readings[slot] : nullptr;
  }

private:
  std::array<std::optional<MeterReading>, kValueCount> m_readings{};
};

// How many levels a metered getter carries (Master's channels one, the
// others two); 0 for a getter that has no meter.
std::size_t MeterSidesOf(Method getter);

// A signal entry as it comes over the bus, or nullopt when it names no
// metered value or carries the wrong number of levels.
std::optional<MeterReading> ParseMeterEntry(std::string_view getter, std::span<const int32_t> args,
                                            std::span<const int32_t> levels);

} // namespace vantrel::mixer_dbus
