#include "pulse_volume.h"

#include <algorithm>
#include <cmath>

namespace vantrel::mixerd {

namespace {

enum class Side { Left, Right, Both };

Side SideOf(pa_channel_position_t position) {
  switch (position) {
  case PA_CHANNEL_POSITION_FRONT_LEFT:
  case PA_CHANNEL_POSITION_REAR_LEFT:
  case PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
  case PA_CHANNEL_POSITION_SIDE_LEFT:
  case PA_CHANNEL_POSITION_TOP_FRONT_LEFT:
  case PA_CHANNEL_POSITION_TOP_REAR_LEFT:
    return Side::Left;
  case PA_CHANNEL_POSITION_FRONT_RIGHT:
  case PA_CHANNEL_POSITION_REAR_RIGHT:
  case PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
  case PA_CHANNEL_POSITION_SIDE_RIGHT:
  case PA_CHANNEL_POSITION_TOP_FRONT_RIGHT:
  case PA_CHANNEL_POSITION_TOP_REAR_RIGHT:
    return Side::Right;
  default:
    return Side::Both;
  }
}

} // namespace

pa_volume_t ServerVolume(double level, VolumeTaper taper) {
  const double clamped = std::clamp(level, 0.0, 1.0);
  if (taper == VolumeTaper::Amplitude) {
    return pa_sw_volume_from_linear(clamped);
  }
  return static_cast<pa_volume_t>(std::lround(clamped * PA_VOLUME_NORM));
}

double LevelOfServerVolume(pa_volume_t volume, VolumeTaper taper) {
  if (taper == VolumeTaper::Amplitude) {
    return pa_sw_volume_to_linear(volume);
  }
  return static_cast<double>(volume) / PA_VOLUME_NORM;
}

pa_cvolume VolumeOfLevels(const pa_channel_map& map, SideLevels levels, VolumeTaper taper) {
  pa_cvolume volume;
  pa_cvolume_init(&volume);
  volume.channels = map.channels;
  for (unsigned i = 0; i < map.channels; ++i) {
    const Side side = SideOf(map.map[i]);
    const double level = side == Side::Left    ? levels.left
                         : side == Side::Right ? levels.right
                                               : std::max(levels.left, levels.right);
    volume.values[i] = ServerVolume(level, taper);
  }
  return volume;
}

SideLevels LevelsOfVolume(const pa_channel_map& map, const pa_cvolume& volume, VolumeTaper taper) {
  double left = -1;
  double right = -1;
  double both = 0;
  const unsigned channels = std::min<unsigned>(map.channels, volume.channels);
  for (unsigned i = 0; i < channels; ++i) {
    const double level = LevelOfServerVolume(volume.values[i], taper);
    switch (SideOf(map.map[i])) {
    case Side::Left:
      left = std::max(left, level);
      break;
    case Side::Right:
      right = std::max(right, level);
      break;
    case Side::Both:
      both = std::max(both, level);
      break;
    }
  }
  return {left < 0 ? both : left, right < 0 ? both : right};
}

std::vector<int64_t> VolumeValues(const pa_cvolume& volume) {
  return {volume.values, volume.values + volume.channels};
}

} // namespace vantrel::mixerd
