#include "mixer/meter_levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace vantrel::mixer_dbus {
namespace {

TEST(MeterLevels, PeaksBecomeHundredthsOfADecibelWithSilenceAtTheFloor) {
  const struct {
    double peak;
    int32_t level;
  } cases[] = {
      {1.0, 0},
      {0.5, -602},
      {0.1, -2000},
      {2.0, 602}, // a float stream can go over full scale
      {1e-5, -10000},
      {1e-6, kMeterSilence},
      {0.0, kMeterSilence},
      {-0.5, kMeterSilence},
      {std::numeric_limits<double>::quiet_NaN(), kMeterSilence},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MeterLevelOfPeak(c.peak), c.level) << c.peak;
  }
}

TEST(MeterLevels, EntriesParseOnlyForMeteredValuesWithTheirSideCount) {
  const struct {
    const char* getter;
    std::vector<int32_t> args;
    std::vector<int32_t> levels;
    bool valid;
    std::size_t sides;
  } cases[] = {
      {"GetMasterVolume", {1}, {-300}, true, 1},
      {"GetSourceVolume", {2, 0}, {-602, -700}, true, 2},
      {"GetRecordLevel", {}, {-100, -200}, true, 2},
      {"GetBusLevel", {3}, {kMeterSilence, -1}, true, 2},
      {"GetMasterVolume", {1}, {-300, -300}, false, 0}, // one side per channel
      {"GetSourceVolume", {2, 0}, {-602}, false, 0},
      {"GetSourceVolume", {2, 1}, {-602, -602}, false, 0}, // no second Wave
      {"GetBusLevel", {4}, {0, 0}, false, 0},
      {"GetSourcePan", {2, 0}, {0, 0}, false, 0}, // a pan has no meter
      {"SetBusLevel", {0, 1}, {0, 0}, false, 0},
      {"NoSuchMethod", {}, {0, 0}, false, 0},
  };
  for (const auto& c : cases) {
    const std::optional<MeterReading> reading = ParseMeterEntry(c.getter, c.args, c.levels);
    ASSERT_EQ(reading.has_value(), c.valid) << c.getter;
    if (reading) {
      const MethodInfo& info = *FindMethod(c.getter);
      EXPECT_EQ(reading->slot, ValueSlot(info.id, c.args)) << c.getter;
      EXPECT_EQ(reading->sideCount, c.sides) << c.getter;
      EXPECT_EQ(reading->sides[0], c.levels[0]) << c.getter;
    }
  }
}

TEST(MeterLevels, LevelsBelowTheFloorReadAsSilenceAndThePeakIsTheLouderSide) {
  const std::vector<int32_t> args{0, 1};
  const std::vector<int32_t> levels{-20000, -450};
  const std::optional<MeterReading> reading = ParseMeterEntry("GetSourceVolume", args, levels);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->sides[0], kMeterSilence);
  EXPECT_EQ(reading->Peak(), -450);
}

} // namespace
} // namespace vantrel::mixer_dbus
