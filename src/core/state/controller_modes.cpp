#include "state/controller_modes.h"

#include "text/ascii_text.h"

namespace vantrel {

namespace {

struct ModeInfo {
  ControllerMode mode;
  std::string_view name;
  // A relative mode's step for a data byte; null for the others.
  int (*step)(int value);
};

// A 7-bit two's complement number: 64..127 are -64..-1.
int TwosStep(int value) {
  return value < 64 ? value : value - 128;
}
// Bit 6 the sign, bits 0..5 the magnitude: 64 is -0.
int SignedStep(int value) {
  return value < 64 ? value : 64 - value;
}
// 64 is the rest position.
int OffsetStep(int value) {
  return value - 64;
}

constexpr std::array<ModeInfo, kControllerModeCount> kModes = {{
    {ControllerMode::Absolute, "absolute", nullptr},
    {ControllerMode::RelativeTwos, "relative-twos", TwosStep},
    {ControllerMode::RelativeSigned, "relative-signed", SignedStep},
    {ControllerMode::RelativeOffset, "relative-offset", OffsetStep},
    {ControllerMode::Fine14Bit, "14bit", nullptr},
}};

constexpr bool ModesFollowEnum() {
  for (std::size_t i = 0; i < kModes.size(); ++i) {
    if (static_cast<std::size_t>(kModes[i].mode) != i) {
      return false;
    }
  }
  return true;
}
static_assert(ModesFollowEnum(), "kModes must list the modes in enum order");

const ModeInfo& InfoOf(ControllerMode mode) {
  return kModes[static_cast<std::size_t>(mode)];
}

constexpr uint8_t kLowHalfOffset = 32;

} // namespace

std::string_view ControllerModeName(ControllerMode mode) {
  return InfoOf(mode).name;
}

std::optional<ControllerMode> ParseControllerMode(std::string_view text) {
  for (const ModeInfo& info : kModes) {
    if (EqualsIgnoringAsciiCase(text, info.name)) {
      return info.mode;
    }
  }
  return std::nullopt;
}

bool ModeFitsController(ControllerMode mode, int controller) {
  if (controller < 0 || controller > 127) {
    return false;
  }
  return mode != ControllerMode::Fine14Bit || controller < kLowHalfOffset;
}

bool CControllerModes::SetMode(uint8_t controller, ControllerMode mode) {
  if (!ModeFitsController(mode, controller)) {
    return false;
  }
  m_modes[controller] = mode;
  for (auto& channel : m_high) {
    if (controller < kPairs) {
      channel[controller] = kNoHigh;
    }
  }
  return true;
}

void CControllerModes::Reset() {
  m_modes.fill(ControllerMode::Absolute);
  m_high = NoHighHalves();
}

std::array<std::array<int8_t, CControllerModes::kPairs>, 16> CControllerModes::NoHighHalves() {
  std::array<std::array<int8_t, kPairs>, 16> halves{};
  for (auto& channel : halves) {
    channel.fill(kNoHigh);
  }
  return halves;
}

ControllerInput CControllerModes::Decode(uint8_t controller, uint8_t value, uint8_t channel) {
  controller &= 0x7F;
  value &= 0x7F;
  auto& high = m_high[channel & 0x0F];
  // The low half of a 14-bit pair: it completes the high half heard last
  // and drives the pair's rows, never rows of its own.
  if (controller >= kLowHalfOffset && controller < 2 * kLowHalfOffset) {
    const uint8_t pair = controller - kLowHalfOffset;
    if (m_modes[pair] == ControllerMode::Fine14Bit) {
      if (high[pair] == kNoHigh) {
        return {ControllerInput::Kind::None, pair, 0};
      }
      return {ControllerInput::Kind::Fine, pair, (high[pair] << 7) | value};
    }
  }
  const ModeInfo& info = InfoOf(m_modes[controller]);
  if (info.mode == ControllerMode::Fine14Bit) {
    // A high half alone is a 7-bit value at the full scale: a sender of
    // 7 bits on n works as before, and a low half that follows refines it.
    high[controller] = static_cast<int8_t>(value);
    return {ControllerInput::Kind::Fine, controller, value << 7};
  }
  if (info.step != nullptr) {
    const int step = info.step(value);
    return {step == 0 ? ControllerInput::Kind::None : ControllerInput::Kind::Relative, controller,
            step};
  }
  return {ControllerInput::Kind::Absolute, controller, value};
}

} // namespace vantrel
