#include "meter_frame.h"

namespace vantrel::mixerd {

using namespace mixer_dbus;

std::vector<MeterEntry> MeterEntries(const MeterFrame& frame) {
  std::vector<MeterEntry> entries;
  for (int meter = 0; meter < kMeterCount; ++meter) {
    const std::optional<SidePeaks>& peaks = frame[static_cast<std::size_t>(meter)];
    if (!peaks) {
      continue;
    }
    const int32_t left = MeterLevelOfPeak(peaks->left);
    const int32_t right = MeterLevelOfPeak(peaks->right);
    if (meter == kMasterStrip) {
      entries.push_back({{Method::GetMasterVolume, {0}}, {left}});
      entries.push_back({{Method::GetMasterVolume, {1}}, {right}});
    } else if (meter == kRecordStrip) {
      entries.push_back({{Method::GetRecordLevel, {}}, {left, right}});
    } else if (meter < kStripCount) {
      // The source volumes' slots follow the strips' source order.
      constexpr std::array<int32_t, 2> kAnalog1{0, 0};
      static const std::size_t firstSource = *ValueSlot(Method::GetSourceVolume, kAnalog1);
      entries.push_back(
          {KeyOfSlot(firstSource + static_cast<std::size_t>(meter - kFirstSourceStrip)),
           {left, right}});
    } else {
      entries.push_back({{Method::GetBusLevel, {meter - kStripCount}}, {left, right}});
    }
  }
  return entries;
}

} // namespace vantrel::mixerd
