#pragma once
// Between a strip's side levels and a sound server object's channel volumes,
// by the configured taper: a level is either a fraction of the server's own
// volume scale (what the desktop's volume control shows, cubic in
// amplitude), or linear amplitude through the server's own conversions.

#include "mixer_config.h"
#include "mixer_strips.h"

#include <pulse/channelmap.h>
#include <pulse/volume.h>

#include <cstdint>
#include <vector>

namespace vantrel::mixerd {

// The server rounds volumes through its own scale (PipeWire through float):
// reports within this many steps of what was sent are the same volume.
inline constexpr int64_t kVolumeTolerance = 2;

// One level (0..1, clamped) as the server's volume, and back.
pa_volume_t ServerVolume(double level, VolumeTaper taper);
double LevelOfServerVolume(pa_volume_t volume, VolumeTaper taper);

// Left channels take the left level, right channels the right one, and the
// others (mono, centre, LFE) the louder of the two.
pa_cvolume VolumeOfLevels(const pa_channel_map& map, SideLevels levels, VolumeTaper taper);

// The loudest channel of each side; an object without sides (mono) reports
// the same level on both.
SideLevels LevelsOfVolume(const pa_channel_map& map, const pa_cvolume& volume, VolumeTaper taper);

std::vector<int64_t> VolumeValues(const pa_cvolume& volume);

} // namespace vantrel::mixerd
