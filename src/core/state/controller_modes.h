#pragma once
// How the program reads each incoming controller number: as an absolute
// 7-bit value (the default), as relative steps of an endless encoder in one
// of three encodings, or as the high half of a 14-bit pair whose low 7 bits
// come on the number 32 above. One decoding function turns a Control Change
// into what it asks for; it remembers, per channel, the high half of each
// 14-bit pair. Dialog thread only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantrel {

enum class ControllerMode : uint8_t {
  Absolute,       // 0..127 as it is
  RelativeTwos,   // 1..63 up, 127..65 down (two's complement of 7 bits)
  RelativeSigned, // 1..63 up, 65..127 down (sign bit and magnitude)
  RelativeOffset, // 65..127 up, 63..1 down (64 is no move)
  Fine14Bit,      // n (0..31) the high 7 bits, n + 32 the low 7 bits
};

inline constexpr std::size_t kControllerModeCount = 5;

// The profile's and the menu's name of a mode: "absolute", "relative-twos",
// "relative-signed", "relative-offset", "14bit".
std::string_view ControllerModeName(ControllerMode mode);
// A mode by its name, without regard to case.
std::optional<ControllerMode> ParseControllerMode(std::string_view text);
// Whether a controller number may carry the mode (14bit: 0..31 only).
bool ModeFitsController(ControllerMode mode, int controller);

// What one Control Change asks of the rows on `controller`.
struct ControllerInput {
  enum class Kind : uint8_t {
    None,     // nothing to apply (a relative 0, a low half with no high half)
    Absolute, // value is 0..127
    Fine,     // value is 0..16383, 14 bits
    Relative, // value is a step, -64..63
  };
  Kind kind = Kind::None;
  uint8_t controller = 0; // whose rows it drives: a low half drives its pair
  int value = 0;
  bool operator==(const ControllerInput&) const = default;
};

class CControllerModes {
public:
  ControllerMode Mode(uint8_t controller) const { return m_modes[controller & 0x7F]; }
  // A mode that does not fit the number (ModeFitsController) is refused.
  bool SetMode(uint8_t controller, ControllerMode mode);
  // Every controller back to absolute.
  void Reset();

  // Decodes one Control Change (7-bit data) from a channel 0..15.
  ControllerInput Decode(uint8_t controller, uint8_t value, uint8_t channel);

private:
  static constexpr std::size_t kPairs = 32;
  static constexpr int8_t kNoHigh = -1;

  std::array<ControllerMode, 128> m_modes{};
  // Per channel and pair: the last high half, or kNoHigh.
  std::array<std::array<int8_t, kPairs>, 16> m_high = NoHighHalves();

  static std::array<std::array<int8_t, kPairs>, 16> NoHighHalves();
};

} // namespace vantrel
