#include "mixer/mixer_values.h"

#include <gtest/gtest.h>

#include <set>

namespace vantrel::mixer_dbus {
namespace {

TEST(MixerValues, EverySlotRoundTripsThroughItsKeyAndKeysAreDistinct) {
  std::set<std::pair<int, std::array<int32_t, kMaxInputs>>> seen;
  for (std::size_t slot = 0; slot < kValueCount; ++slot) {
    const ValueKey key = KeyOfSlot(slot);
    EXPECT_EQ(ValueSlot(key), slot) << Info(key.getter).name;
    seen.insert({static_cast<int>(key.getter), key.args});
  }
  EXPECT_EQ(seen.size(), kValueCount);
}

TEST(MixerValues, SlotsRefuseSettersAndArgumentsOutOfRange) {
  const std::array<int32_t, 3> badSend{kSourceUser, 4, 2};
  const std::array<int32_t, 2> badSource{kSourceWave, 1};
  const std::array<int32_t, 1> badBus{kBusCount};
  const std::array<int32_t, 2> setter{0, 100};
  EXPECT_FALSE(ValueSlot(Method::GetSendLevel, badSend));
  EXPECT_FALSE(ValueSlot(Method::GetSourcePan, badSource));
  EXPECT_FALSE(ValueSlot(Method::GetBusLevel, badBus));
  EXPECT_FALSE(ValueSlot(Method::SetMasterVolume, setter));
}

TEST(MixerValues, ASetterWritesItsPrimaryValue) {
  struct Case {
    Method setter;
    std::vector<int32_t> args;
    Method getter;
    std::array<int32_t, kMaxInputs> address;
    ValueResults after;
  };
  const ValueResults before{1, 2, 0};
  const std::vector<Case> cases = {
      {Method::SetMasterVolume, {1, 500}, Method::GetMasterVolume, {1}, {500, 2, 0}},
      {Method::SetSourcePan, {kSourceUser, 3, 9}, Method::GetSourcePan, {kSourceUser, 3}, {9, 2, 0}},
      {Method::SetSendLevel, {0, 2, 1, 77}, Method::GetSendLevel, {0, 2, 1}, {77, 2, 0}},
      {Method::SetAuxEffect, {3, 15}, Method::GetBusEffect, {3}, {15, 2, 0}},
      {Method::SetBusRouted, {2, 1}, Method::IsBusRouted, {2}, {1, 2, 0}},
      {Method::SetBusOutput, {1, 1, 2}, Method::GetBusOutput, {1}, {1, 2, 0}},
      {Method::SetRecordLevel, {4}, Method::GetRecordLevel, {}, {4, 2, 0}},
  };
  for (const Case& c : cases) {
    const auto key = PrimaryValueOf(c.setter, c.args);
    ASSERT_TRUE(key) << Info(c.setter).name;
    EXPECT_EQ(key->getter, c.getter) << Info(c.setter).name;
    EXPECT_EQ(key->args, c.address) << Info(c.setter).name;
    EXPECT_EQ(ResultsAfterSet(c.setter, c.args, before), c.after) << Info(c.setter).name;
  }
  EXPECT_FALSE(PrimaryValueOf(Method::GetBusLevel, std::vector<int32_t>{0}));
}

} // namespace
} // namespace vantrel::mixer_dbus
