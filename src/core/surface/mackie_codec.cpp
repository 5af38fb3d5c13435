#include "surface/mackie_codec.h"

#include "midi/exclusive_message.h"

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
constexpr std::size_t kModelAt = 4;   // in a system exclusive header
constexpr std::size_t kCommandAt = 5; // the byte after the header

// The answers by their command byte, and their lengths in all (0: any
// length, for the version text).
struct AnswerForm {
  uint8_t command;
  std::size_t size;
  DeviceAnswer::Kind kind;
};
constexpr AnswerForm kAnswerForms[] = {
    {0x01, 18, DeviceAnswer::Kind::ConnectionQuery},
    {0x03, 14, DeviceAnswer::Kind::Confirmation},
    {0x04, 14, DeviceAnswer::Kind::Refusal},
    {0x14, 0, DeviceAnswer::Kind::Version},
};

struct Model {
  uint8_t id;
  std::string_view name;
};
constexpr Model kModels[] = {
    {0x10, "Logic Control"},
    {0x11, "Logic Control XT"},
    {0x14, "Mackie Control"},
    {0x15, "Mackie Control Extender"},
};

const Model* FindModel(uint8_t id) {
  const auto* found = std::find_if(std::begin(kModels), std::end(kModels),
                                   [id](const Model& model) { return model.id == id; });
  return found != std::end(kModels) ? found : nullptr;
}

bool IsIdentityReply(std::span<const uint8_t> bytes) {
  // F0 7E <device> 06 02 <manufacturer and product> F7
  return bytes.size() >= 7 && bytes[1] == 0x7E && bytes[3] == 0x06 && bytes[4] == 0x02;
}
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

DeviceAnswer DecodeDeviceAnswer(std::span<const uint8_t> bytes) {
  DeviceAnswer answer;
  if (bytes.size() < 7 || !IsWholeExclusive(bytes)) {
    return answer;
  }
  if (IsIdentityReply(bytes)) {
    answer.kind = DeviceAnswer::Kind::Identity;
    return answer;
  }
  if (!std::equal(kSysexHeader, kSysexHeader + kModelAt, bytes.begin()) ||
      FindModel(bytes[kModelAt]) == nullptr) {
    return answer;
  }
  for (const AnswerForm& form : kAnswerForms) {
    if (bytes[kCommandAt] == form.command && (form.size == 0 || bytes.size() == form.size)) {
      answer.kind = form.kind;
    }
  }
  if (answer.kind == DeviceAnswer::Kind::None) {
    return answer;
  }
  answer.model = bytes[kModelAt];
  if (answer.kind != DeviceAnswer::Kind::Version) {
    std::copy_n(bytes.begin() + kCommandAt + 1, answer.serial.size(), answer.serial.begin());
  }
  if (answer.kind == DeviceAnswer::Kind::ConnectionQuery) {
    std::copy_n(bytes.begin() + kCommandAt + 1 + answer.serial.size(), answer.challenge.size(),
                answer.challenge.begin());
  }
  return answer;
}

std::array<uint8_t, 4> ChallengeResponse(const std::array<uint8_t, 4>& challenge) {
  const int l1 = challenge[0];
  const int l2 = challenge[1];
  const int l3 = challenge[2];
  const int l4 = challenge[3];
  return {static_cast<uint8_t>(0x7F & (l1 + (l2 ^ 0xA) - l4)),
          static_cast<uint8_t>(0x7F & ((l3 >> 4) ^ (l1 + l4))),
          static_cast<uint8_t>(0x7F & ((l4 - (l3 << 2)) ^ (l1 | l2))),
          static_cast<uint8_t>(0x7F & (l2 - l3 + (0xF0 ^ (l4 << 4))))};
}

std::vector<uint8_t> ConnectionReply(const DeviceAnswer& query) {
  std::vector<uint8_t> bytes(std::begin(kSysexHeader), std::begin(kSysexHeader) + kModelAt);
  bytes.push_back(query.model);
  bytes.push_back(0x02);
  bytes.insert(bytes.end(), query.serial.begin(), query.serial.end());
  const std::array<uint8_t, 4> response = ChallengeResponse(query.challenge);
  bytes.insert(bytes.end(), response.begin(), response.end());
  bytes.push_back(0xF7);
  return bytes;
}

std::string_view ModelName(uint8_t model) {
  const Model* found = FindModel(model);
  return found != nullptr ? found->name : "surface";
}

} // namespace vantrel::mackie
