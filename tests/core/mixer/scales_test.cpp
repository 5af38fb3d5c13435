#include "mixer/scales.h"

#include <gtest/gtest.h>

#include <map>

namespace vantrel {
namespace {

TEST(Scales, AFaderLevelReadsBackAsItselfForEveryValue) {
  for (int v = 0; v <= 127; ++v) {
    EXPECT_EQ(ValueFromLevel(LevelFromFader(v)), v) << v;
  }
  EXPECT_EQ(LevelFromFader(127), 65532);
}

TEST(Scales, AControllerLevelReadsBackOneLowerFromOneUp) {
  EXPECT_EQ(ValueFromLevel(LevelFromController(0)), 0);
  for (int v = 1; v <= 127; ++v) {
    EXPECT_EQ(LevelFromController(v), v * 512);
    EXPECT_EQ(ValueFromLevel(LevelFromController(v)), v - 1) << v;
  }
  EXPECT_EQ(LevelFromController(127), 65024);
}

TEST(Scales, GainRoundTripChangesExactlySeventeenValues) {
  const std::map<int, int> changed = {{2, 1},   {3, 1},   {4, 1},   {5, 1},   {6, 1},   {7, 1},
                                      {9, 8},   {10, 8},  {11, 8},  {12, 8},  {14, 13}, {15, 13},
                                      {17, 16}, {18, 16}, {20, 19}, {22, 21}, {25, 24}};
  ASSERT_EQ(changed.size(), 17u);
  for (int v = 0; v <= 127; ++v) {
    const auto it = changed.find(v);
    const int expected = it == changed.end() ? v : it->second;
    EXPECT_EQ(ValueFromGain(GainFromValue(v)), expected) << v;
  }
}

TEST(Scales, GainEndsAndSmallValues) {
  EXPECT_EQ(GainFromValue(0), 0);
  for (int v = 1; v <= 7; ++v) {
    EXPECT_EQ(GainFromValue(v), 1) << v;
  }
  EXPECT_EQ(GainFromValue(64), 267);
  EXPECT_EQ(GainFromValue(127), 65535);
}

// Every 16-bit reading through both read-backs: the results never leave the
// fader's range and never decrease as the reading grows.
TEST(Scales, EveryReadingReadsBackWithinTheFaderRangeMonotonically) {
  int lastLevel = 0;
  int lastGain = 0;
  for (int32_t x = 0; x <= 65535; ++x) {
    const int level = ValueFromLevel(x);
    const int gain = ValueFromGain(x);
    ASSERT_GE(level, lastLevel);
    ASSERT_GE(gain, lastGain);
    ASSERT_LE(level, 127);
    ASSERT_LE(gain, 127);
    lastLevel = level;
    lastGain = gain;
  }
  EXPECT_EQ(ValueFromGain(0), 0);
  EXPECT_EQ(ValueFromGain(1), 1);
  EXPECT_EQ(ValueFromGain(65535), 127);
  EXPECT_EQ(ValueFromLevel(65535), 127);
}

TEST(Scales, ReadingsAreTakenModulo65536) {
  EXPECT_EQ(ValueFromLevel(65536 + 516 * 3), 3);
  EXPECT_EQ(ValueFromGain(65536), 0);
  EXPECT_EQ(ValueFromGain(65536 + 267), ValueFromGain(267));
  EXPECT_EQ(ValueFromLevel(-1), 127); // 0xFFFF
}

} // namespace
} // namespace vantrel
