#include "surface/mackie_codec.h"

#include <algorithm>

namespace vantrel::mackie {

namespace {

// Notes and the buttons they carry: `count` consecutive notes from `first`,
// one per strip where count is more than one.
struct NoteRange {
  uint8_t first;
  uint8_t count;
  Button button;
};

constexpr auto kNotes = std::to_array<NoteRange>({
    {0, 8, Button::Record},
    {8, 8, Button::Solo},
    {16, 8, Button::Mute},
    {24, 8, Button::Select},
    {32, 8, Button::VPotPush},
    {40, 1, Button::AssignTrack},
    {41, 1, Button::AssignSend},
    {42, 1, Button::AssignPan},
    {43, 1, Button::AssignPlugin},
    {44, 1, Button::AssignEq},
    {45, 1, Button::AssignInstrument},
    {46, 1, Button::BankLeft},
    {47, 1, Button::BankRight},
    {48, 1, Button::ChannelLeft},
    {49, 1, Button::ChannelRight},
    {50, 1, Button::Flip},
    {104, 9, Button::Touch},
});
static_assert(kNotes.size() == static_cast<std::size_t>(Button::Touch) + 1,
              "every button has one note range, in the order of Button");

constexpr uint8_t kSysexHeader[] = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x12};
constexpr uint8_t kBottomRowOffset = 56;

} // namespace

Input Decode(const CMidiMessage& message) {
  const uint8_t kind = message.status & 0xF0;
  const uint8_t channel = message.status & 0x0F;
  Input input;
  if (kind == 0xE0 && channel <= kMasterStrip) {
    input.kind = Input::Kind::Fader;
    input.strip = channel;
    input.value = ((message.data2 & 0x7F) << 7) | (message.data1 & 0x7F);
  } else if (kind == 0xB0 && message.data1 >= kVPotFirst && message.data1 < kVPotFirst + kStrips) {
    const int ticks = message.data2 & 0x3F;
    input.kind = Input::Kind::VPot;
    input.strip = static_cast<uint8_t>(message.data1 - kVPotFirst);
    input.value = (message.data2 & 0x40) != 0 ? -ticks : ticks;
  } else if (kind == 0x90 || kind == 0x80) {
    for (const NoteRange& range : kNotes) {
      if (message.data1 >= range.first && message.data1 < range.first + range.count) {
        input.kind = Input::Kind::Button;
        input.button = range.button;
        input.strip = static_cast<uint8_t>(message.data1 - range.first);
        input.pressed = kind == 0x90 && message.data2 > 0;
        break;
      }
    }
  }
  return input;
}

uint8_t NoteOf(Button button, std::size_t strip) {
  const NoteRange& range = kNotes[static_cast<std::size_t>(button)];
  return static_cast<uint8_t>(range.first + std::min<std::size_t>(strip, range.count - 1));
}

ShortMessage FaderMessage(std::size_t strip, int value) {
  const int clamped = std::clamp(value, 0, kFaderMax);
  return {static_cast<uint8_t>(0xE0 | (strip & 0x0F)), static_cast<uint8_t>(clamped & 0x7F),
          static_cast<uint8_t>(clamped >> 7)};
}

ShortMessage LedMessage(Button button, std::size_t strip, bool on) {
  return {0x90, NoteOf(button, strip), static_cast<uint8_t>(on ? 0x7F : 0x00)};
}

ShortMessage RingMessage(std::size_t strip, RingMode mode, int position) {
  const int clamped = std::clamp(position, 0, 11);
  return {0xB0, static_cast<uint8_t>(kRingFirst + (strip & 0x07)),
          static_cast<uint8_t>((static_cast<int>(mode) << 4) | clamped)};
}

ShortMessage MeterMessage(std::size_t strip, int level) {
  return {0xD0, static_cast<uint8_t>(((strip & 0x07) << 4) | std::clamp(level, 0, kMeterMax)), 0};
}

int MeterLevelOfPeak(int32_t centiDecibels) {
  constexpr int32_t kStep = 500;
  constexpr int32_t kFloor = -kStep * kMeterMax; // -60 dB
  if (centiDecibels <= kFloor) {
    return 0;
  }
  return std::min<int>(kMeterMax, (centiDecibels - kFloor) / kStep);
}

std::vector<uint8_t> DisplayMessage(std::size_t strip, int row, std::string_view text) {
  std::vector<uint8_t> bytes(std::begin(kSysexHeader), std::end(kSysexHeader));
  bytes.push_back(static_cast<uint8_t>((row != 0 ? kBottomRowOffset : 0) +
                                       (strip % kStrips) * kDisplayColumns));
  for (std::size_t column = 0; column < kDisplayColumns; ++column) {
    const char c = column < text.size() ? text[column] : ' ';
    bytes.push_back(c >= 0x20 && c < 0x7F ? static_cast<uint8_t>(c) : uint8_t{'?'});
  }
  bytes.push_back(0xF7);
  return bytes;
}

} // namespace vantrel::mackie
