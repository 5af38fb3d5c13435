#pragma once
// What the surface's strips can show: the 13 inputs, Record and the four aux
// buses, in that order, each with its fader's catalogue row, its pan and
// send rows where it has them, its mute and a name short enough for the
// display. Built from the catalogue and the mute table, so it names no
// parameter of its own.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace vantrel {

struct SurfaceChannel {
  std::string_view name;             // at most 7 characters: one strip of the display
  std::size_t faderRow = 0;          // catalogue row
  std::optional<std::size_t> panRow; // inputs only
  std::array<std::optional<std::size_t>, 2> sendRows; // Aux 1 and Aux 2 sends, inputs only
  std::size_t mute = 0;                               // index into kMutes
};

inline constexpr std::size_t kSurfaceChannelCount = 18;

const std::array<SurfaceChannel, kSurfaceChannelCount>& SurfaceChannels();

// The master fader's rows: the left and right master volume.
struct SurfaceMaster {
  std::size_t leftRow = 0;
  std::size_t rightRow = 0;
};
SurfaceMaster SurfaceMasterRows();

} // namespace vantrel
