#pragma once
// Conversions between MIDI-side values (fader or controller, 0..127) and the
// mixer's 16-bit values. Every conversion of a computed value truncates
// toward zero; none rounds.

#include <cmath>
#include <cstdint>

namespace vantrel {

inline constexpr int kFaderMax = 127;
inline constexpr int32_t kFaderLevelStep = 516; // a fader's linear step
inline constexpr int kControllerLevelShift = 9; // a controller's step, 512
inline constexpr double kGainExponentPerStep = 0.03792498664386994;
inline constexpr double kGainReadBackFactor = 26.3678405319; // 127 / log10(65535)

// Linear level scale of a fader: v x 516, 0..65532.
constexpr int32_t LevelFromFader(int v) {
  return v * kFaderLevelStep;
}

// A 14-bit controller value h (0..16383) is a 7-bit value with 7 more bits
// below it: h = v x 128 gives exactly what v gives.
inline constexpr int kFineBits = 7;

// Linear level scale of an incoming controller at 14 bits: h x 4, that is
// (h / 128) x 512, 0..65532.
constexpr int32_t LevelFromFineController(int h) {
  return h << (kControllerLevelShift - kFineBits);
}

// Linear level scale of an incoming controller: v x 512, 0..65024.
constexpr int32_t LevelFromController(int v) {
  return LevelFromFineController(v << kFineBits);
}

// Exponential gain scale at 14 bits: 0 for 0, else 10^(h / 128 x 0.0379...)
// truncated. Scaling by 128 is exact in binary, so h = v x 128 gives the
// very value of GainFromValue(v).
inline int32_t GainFromFineValue(int h) {
  if (h == 0) {
    return 0;
  }
  return static_cast<int32_t>(std::pow(10.0, h * kGainExponentPerStep / (1 << kFineBits)));
}

// Exponential gain scale, the same from a fader and from a controller:
// 0 for 0, else 10^(v x 0.0379...) truncated; 127 gives 65535.
inline int32_t GainFromValue(int v) {
  return GainFromFineValue(v << kFineBits);
}

// Read-back of a level or pan: low 16 bits divided by 516.
constexpr int ValueFromLevel(int32_t reading) {
  return static_cast<int>((static_cast<uint32_t>(reading) & 0xFFFFu) / kFaderLevelStep);
}

// Read-back of a gain: 0 for 0, else log10(x) x 26.37 + 1 truncated, of the
// low 16 bits; 65535 gives 127.9999 and thus 127.
inline int ValueFromGain(int32_t reading) {
  const uint32_t x = static_cast<uint32_t>(reading) & 0xFFFFu;
  if (x == 0) {
    return 0;
  }
  return static_cast<int>(std::log10(static_cast<double>(x)) * kGainReadBackFactor + 1.0);
}

} // namespace vantrel
