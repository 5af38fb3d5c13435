#include "state/controller_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

using Kind = ControllerInput::Kind;

// Controller 16 (or 32 + 16 for a low half) in a mode, the Control Changes
// sent on channel 0 in order, and what the last one decodes to.
struct DecodeCase {
  ControllerMode mode;
  std::vector<std::pair<uint8_t, uint8_t>> sent; // controller, value
  ControllerInput expected;
};

TEST(ControllerModesTest, EveryModeDecodesItsValuesAsDocumented) {
  const std::vector<DecodeCase> cases = {
      {ControllerMode::Absolute, {{16, 0}}, {Kind::Absolute, 16, 0}},
      {ControllerMode::Absolute, {{16, 127}}, {Kind::Absolute, 16, 127}},
      {ControllerMode::Absolute, {{48, 5}}, {Kind::Absolute, 48, 5}},
      {ControllerMode::RelativeTwos, {{16, 1}}, {Kind::Relative, 16, 1}},
      {ControllerMode::RelativeTwos, {{16, 63}}, {Kind::Relative, 16, 63}},
      {ControllerMode::RelativeTwos, {{16, 127}}, {Kind::Relative, 16, -1}},
      {ControllerMode::RelativeTwos, {{16, 65}}, {Kind::Relative, 16, -63}},
      {ControllerMode::RelativeTwos, {{16, 64}}, {Kind::Relative, 16, -64}},
      {ControllerMode::RelativeTwos, {{16, 0}}, {Kind::None, 16, 0}},
      {ControllerMode::RelativeSigned, {{16, 1}}, {Kind::Relative, 16, 1}},
      {ControllerMode::RelativeSigned, {{16, 63}}, {Kind::Relative, 16, 63}},
      {ControllerMode::RelativeSigned, {{16, 65}}, {Kind::Relative, 16, -1}},
      {ControllerMode::RelativeSigned, {{16, 127}}, {Kind::Relative, 16, -63}},
      {ControllerMode::RelativeSigned, {{16, 64}}, {Kind::None, 16, 0}},
      {ControllerMode::RelativeOffset, {{16, 65}}, {Kind::Relative, 16, 1}},
      {ControllerMode::RelativeOffset, {{16, 127}}, {Kind::Relative, 16, 63}},
      {ControllerMode::RelativeOffset, {{16, 63}}, {Kind::Relative, 16, -1}},
      {ControllerMode::RelativeOffset, {{16, 1}}, {Kind::Relative, 16, -63}},
      {ControllerMode::RelativeOffset, {{16, 64}}, {Kind::None, 16, 0}},
      // 14 bits: a high half alone is the 7-bit value at full scale, the
      // low half completes the last high half, a low half with no high half
      // before it waits, and a new high half clears the old low bits.
      {ControllerMode::Fine14Bit, {{16, 100}}, {Kind::Fine, 16, 100 << 7}},
      {ControllerMode::Fine14Bit, {{16, 100}, {48, 77}}, {Kind::Fine, 16, (100 << 7) | 77}},
      {ControllerMode::Fine14Bit, {{16, 127}, {48, 127}}, {Kind::Fine, 16, 16383}},
      {ControllerMode::Fine14Bit, {{48, 77}}, {Kind::None, 16, 0}},
      {ControllerMode::Fine14Bit, {{16, 1}, {48, 77}, {16, 2}}, {Kind::Fine, 16, 2 << 7}},
      {ControllerMode::Fine14Bit, {{16, 1}, {48, 77}, {48, 78}}, {Kind::Fine, 16, 206}},
  };
  for (const DecodeCase& c : cases) {
    CControllerModes modes;
    ASSERT_TRUE(modes.SetMode(16, c.mode));
    ControllerInput last;
    for (const auto& [controller, value] : c.sent) {
      last = modes.Decode(controller, value, 0);
    }
    EXPECT_EQ(last, c.expected) << ControllerModeName(c.mode) << " last value "
                                << int(c.sent.back().second);
  }
}

TEST(ControllerModesTest, HighHalvesAreKeptPerChannelAndOnlyLowNumbersPair) {
  CControllerModes modes;
  ASSERT_TRUE(modes.SetMode(7, ControllerMode::Fine14Bit));
  EXPECT_FALSE(modes.SetMode(32, ControllerMode::Fine14Bit));
  modes.Decode(7, 10, 0);
  EXPECT_EQ(modes.Decode(39, 1, 3).kind, Kind::None);
  EXPECT_EQ(modes.Decode(39, 1, 0), (ControllerInput{Kind::Fine, 7, (10 << 7) | 1}));
}

TEST(ControllerModesTest, NamesReadBackWithoutRegardToCase) {
  for (std::size_t i = 0; i < kControllerModeCount; ++i) {
    const auto mode = static_cast<ControllerMode>(i);
    std::string upper(ControllerModeName(mode));
    for (char& c : upper) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(ParseControllerMode(upper), mode);
  }
  EXPECT_EQ(ParseControllerMode("relative"), std::nullopt);
  EXPECT_EQ(ParseControllerMode(""), std::nullopt);
}

} // namespace
} // namespace vantrel
