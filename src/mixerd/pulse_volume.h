#pragma once
// Between a strip's side levels and a sound server object's channel volumes.
// The server's volume is cubic; its own conversions from and to linear
// amplitude keep a fader at half travel at half amplitude.

#include "mixer_strips.h"

#include <pulse/channelmap.h>
#include <pulse/volume.h>

#include <cstdint>
#include <vector>

namespace vantrel::mixerd {

// The server rounds volumes through its own scale (PipeWire through float):
// reports within this many steps of what was sent are the same volume.
inline constexpr int64_t kVolumeTolerance = 2;

// Left channels take the left level, right channels the right one, and the
// others (mono, centre, LFE) the louder of the two.
pa_cvolume VolumeOfLevels(const pa_channel_map& map, SideLevels levels);

// The loudest channel of each side; an object without sides (mono) reports
// the same level on both.
SideLevels LevelsOfVolume(const pa_channel_map& map, const pa_cvolume& volume);

std::vector<int64_t> VolumeValues(const pa_cvolume& volume);

} // namespace vantrel::mixerd
