#include "mixer/catalogue.h"
#include "surface/mackie_codec.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using mackie::Button;
using mackie::Input;
using Kind = Input::Kind;

struct DecodeCase {
  CMidiMessage message;
  Input expected;
};

TEST(MackieCodec, DecodesEveryKindOfSurfaceMessage) {
  const DecodeCase cases[] = {
      // Faders: 14 bits, LSB first, on channels 1-9.
      {{0, 0xE0, 0x00, 0x00}, {Kind::Fader, 0, 0}},
      {{0, 0xE3, 0x7F, 0x7F}, {Kind::Fader, 3, 16383}},
      {{0, 0xE8, 0x01, 0x40}, {Kind::Fader, 8, 8193}},
      {{0, 0xE9, 0x01, 0x40}, {}}, // channel 10 has no fader
      // V-Pots: bit 6 turns counter-clockwise.
      {{0, 0xB0, 16, 0x01}, {Kind::VPot, 0, 1}},
      {{0, 0xB0, 23, 0x45}, {Kind::VPot, 7, -5}},
      {{0, 0xB0, 24, 0x01}, {}}, // not a V-Pot
      {{0, 0xB0, 48, 0x01}, {}}, // a ring's number, coming in
      // Buttons: Note On 127 pressed, velocity 0 or Note Off released.
      {{0, 0x90, 16, 0x7F}, {Kind::Button, 0, 0, Button::Mute, true}},
      {{0, 0x90, 23, 0x00}, {Kind::Button, 7, 0, Button::Mute, false}},
      {{0, 0x80, 26, 0x40}, {Kind::Button, 2, 0, Button::Select, false}},
      {{0, 0x90, 8, 0x7F}, {Kind::Button, 0, 0, Button::Solo, true}},
      {{0, 0x90, 41, 0x7F}, {Kind::Button, 0, 0, Button::AssignSend, true}},
      {{0, 0x90, 42, 0x7F}, {Kind::Button, 0, 0, Button::AssignPan, true}},
      {{0, 0x90, 46, 0x7F}, {Kind::Button, 0, 0, Button::BankLeft, true}},
      {{0, 0x90, 49, 0x7F}, {Kind::Button, 0, 0, Button::ChannelRight, true}},
      {{0, 0x90, 104, 0x7F}, {Kind::Button, 0, 0, Button::Touch, true}},
      {{0, 0x90, 112, 0x7F}, {Kind::Button, 8, 0, Button::Touch, true}},
      {{0, 0x90, 113, 0x7F}, {}},  // past the master's touch
      {{0, 0xD0, 0x12, 0x00}, {}}, // channel pressure comes only from the host
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(mackie::Decode(c.message), c.expected)
        << std::hex << int(c.message.status) << " " << int(c.message.data1) << " "
        << int(c.message.data2);
  }
}

TEST(MackieCodec, EncodesWhatTheSurfaceShows) {
  const std::pair<mackie::ShortMessage, mackie::ShortMessage> cases[] = {
      {mackie::FaderMessage(2, 16383), {0xE2, 0x7F, 0x7F}},
      {mackie::FaderMessage(8, 8193), {0xE8, 0x01, 0x40}},
      {mackie::FaderMessage(0, 20000), {0xE0, 0x7F, 0x7F}}, // clamped
      {mackie::LedMessage(Button::Mute, 5, true), {0x90, 21, 0x7F}},
      {mackie::LedMessage(Button::Select, 0, false), {0x90, 24, 0x00}},
      {mackie::LedMessage(Button::AssignPan, 0, true), {0x90, 42, 0x7F}},
      {mackie::RingMessage(3, mackie::RingMode::Dot, 6), {0xB0, 51, 0x06}},
      {mackie::RingMessage(7, mackie::RingMode::Bar, 11), {0xB0, 55, 0x2B}},
      {mackie::RingMessage(0, mackie::RingMode::Bar, 15), {0xB0, 48, 0x2B}}, // clamped
      {mackie::MeterMessage(4, 12), {0xD0, 0x4C, 0x00}},
  };
  for (const auto& [got, expected] : cases) {
    EXPECT_EQ(got, expected);
  }
}

TEST(MackieCodec, MeterLevelsStepFiveDecibelsFromSilenceToFullScale) {
  const std::pair<int32_t, int> cases[] = {
      {-10000, 0}, {-6000, 0}, {-5999, 0}, {-5500, 1}, {-602, 10},
      {-500, 11},  {-499, 11}, {-1, 11},   {0, 12},    {300, 12},
  };
  for (const auto& [level, expected] : cases) {
    EXPECT_EQ(mackie::MeterLevelOfPeak(level), expected) << level;
  }
}

TEST(MackieCodec, DisplayTextFillsExactlyOneStripOfARow) {
  const std::vector<uint8_t> top = mackie::DisplayMessage(1, 0, "Analog 1");
  const std::vector<uint8_t> expected = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x12, 7,   'A',
                                         'n',  'a',  'l',  'o',  'g',  ' ',  0xF7};
  EXPECT_EQ(top, expected);
  // Bottom row, padded; bytes that are no printable ASCII become '?'.
  const std::vector<uint8_t> bottom = mackie::DisplayMessage(7, 1, "\xC3\xA9t\x01");
  const std::vector<uint8_t> expectedBottom = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x12, 105, '?',
                                               '?',  't',  '?',  ' ',  ' ',  ' ',  0xF7};
  EXPECT_EQ(bottom, expectedBottom);
}

// Every well-formed answer to the device query, from either surface model,
// and what is no answer at all.
TEST(MackieCodec, ReadsEveryAnswerToTheDeviceQuery) {
  using Answer = mackie::DeviceAnswer;
  using AnswerKind = Answer::Kind;
  const std::array<uint8_t, 7> serial = {'A', 'B', '1', '2', '3', '4', '5'};
  struct Case {
    std::vector<uint8_t> bytes;
    Answer expected;
  };
  const Case cases[] = {
      {{0xF0, 0, 0, 0x66, 0x14, 0x01, 'A', 'B', '1', '2', '3', '4', '5', 1, 2, 3, 4, 0xF7},
       {AnswerKind::ConnectionQuery, 0x14, serial, {1, 2, 3, 4}}},
      {{0xF0, 0, 0, 0x66, 0x15, 0x03, 'A', 'B', '1', '2', '3', '4', '5', 0xF7},
       {AnswerKind::Confirmation, 0x15, serial}},
      {{0xF0, 0, 0, 0x66, 0x10, 0x04, 'A', 'B', '1', '2', '3', '4', '5', 0xF7},
       {AnswerKind::Refusal, 0x10, serial}},
      {{0xF0, 0, 0, 0x66, 0x14, 0x14, 'V', '1', '.', '0', '2', 0xF7}, {AnswerKind::Version, 0x14}},
      {{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x00, 0x66, 0xF7}, {AnswerKind::Identity}},
      // Not answers: another maker, another model, the host's own messages,
      // a connection query cut short, a data byte that is none.
      {{0xF0, 0, 0x20, 0x29, 0x14, 0x03, 'A', 'B', '1', '2', '3', '4', '5', 0xF7}, {}},
      {{0xF0, 0, 0, 0x66, 0x16, 0x03, 'A', 'B', '1', '2', '3', '4', '5', 0xF7}, {}},
      {{0xF0, 0, 0, 0x66, 0x14, 0x00, 0xF7}, {}},
      {{0xF0, 0, 0, 0x66, 0x14, 0x12, 0, 'A', 'n', 'a', 'l', 'o', 'g', ' ', 0xF7}, {}},
      {{0xF0, 0, 0, 0x66, 0x14, 0x01, 'A', 'B', '1', '2', '3', '4', '5', 1, 2, 3, 0xF7}, {}},
      {{0xF0, 0, 0, 0x66, 0x14, 0x03, 'A', 0x80, '1', '2', '3', '4', '5', 0xF7}, {}},
      {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, {}}, // an identity request
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mackie::DecodeDeviceAnswer(c.bytes), c.expected) << ::testing::PrintToString(c.bytes);
  }
}

// The host's reply carries the surface's model and serial number and the
// response the documented algorithm gives for its challenge.
TEST(MackieCodec, RepliesToAConnectionQueryWithTheResponseToItsChallenge) {
  const std::pair<std::array<uint8_t, 4>, std::array<uint8_t, 4>> responses[] = {
      {{0x00, 0x00, 0x00, 0x00}, {0x0A, 0x00, 0x00, 0x70}},
      {{0x12, 0x34, 0x56, 0x78}, {0x58, 0x0F, 0x16, 0x4E}},
      {{0x7F, 0x7F, 0x7F, 0x7F}, {0x75, 0x79, 0x7C, 0x00}},
  };
  for (const auto& [challenge, response] : responses) {
    EXPECT_EQ(mackie::ChallengeResponse(challenge), response);
  }
  const mackie::DeviceAnswer query = {mackie::DeviceAnswer::Kind::ConnectionQuery,
                                      0x15,
                                      {'A', 'B', '1', '2', '3', '4', '5'},
                                      {0x12, 0x34, 0x56, 0x78}};
  const std::vector<uint8_t> expected = {0xF0, 0,   0,   0x66, 0x15, 0x02, 'A',  'B',  '1',
                                         '2',  '3', '4', '5',  0x58, 0x0F, 0x16, 0x4E, 0xF7};
  EXPECT_EQ(mackie::ConnectionReply(query), expected);
}

// The motor shows a reading with the fine value that set it, on both scales,
// so a fader that set a value is never moved by that value coming back.
TEST(MackieCodec, FaderPositionsComeBackFromTheValuesTheySet) {
  for (const std::size_t row : {std::size_t{0}, std::size_t{4}}) { // a level, a gain
    const Parameter& p = kCatalogue[row];
    for (int h = 0; h <= mackie::kFaderMax; ++h) {
      const int32_t value = MixerValueFromFineController(p, h);
      const int back = FineControllerValueFromReading(p, value);
      ASSERT_EQ(MixerValueFromFineController(p, back), value) << p.strip << " at " << h;
      ASSERT_GE(back, h) << p.strip;
    }
  }
}

} // namespace
} // namespace vantrel
