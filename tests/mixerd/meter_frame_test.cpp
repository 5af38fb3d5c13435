#include "meter_frame.h"

#include <gtest/gtest.h>

namespace vantrel::mixerd {
namespace {

using mixer_dbus::Method;

TEST(MeterFrame, EachMeterGoesOutUnderItsFadersValueAndUnmeasuredOnesAreLeftOut) {
  MeterFrame frame{};
  frame[kMasterStrip] = SidePeaks{1.0, 0.5};
  frame[kRecordStrip] = SidePeaks{0.1, 0.1};
  frame[static_cast<std::size_t>(SourceStrip(kSourceWave, 0))] = SidePeaks{0.5, 0};
  frame[static_cast<std::size_t>(SourceStrip(kSourceUser, 4))] = SidePeaks{};
  frame[BusMeter(2)] = SidePeaks{0.5, 1.0};
  const std::vector<MeterEntry> entries = MeterEntries(frame);
  const std::vector<std::pair<mixer_dbus::ValueKey, std::vector<int32_t>>> expected = {
      {{Method::GetMasterVolume, {0}}, {0}},
      {{Method::GetMasterVolume, {1}}, {-602}},
      {{Method::GetRecordLevel, {}}, {-2000, -2000}},
      {{Method::GetSourceVolume, {kSourceWave, 0}}, {-602, mixer_dbus::kMeterSilence}},
      {{Method::GetSourceVolume, {kSourceUser, 4}},
       {mixer_dbus::kMeterSilence, mixer_dbus::kMeterSilence}},
      {{Method::GetBusLevel, {2}}, {-602, 0}},
  };
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].key, expected[i].first) << i;
    EXPECT_EQ(entries[i].levels, expected[i].second) << i;
  }
}

} // namespace
} // namespace vantrel::mixerd
