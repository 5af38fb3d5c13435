#include "surface/surface_channels.h"

#include "mixer/catalogue.h"
#include "mixer/mute_targets.h"

namespace vantrel {

namespace {

// Mutes in surface order (indices into kMutes), with their display names.
struct ChannelSource {
  std::size_t mute;
  std::string_view name;
};

constexpr std::array<ChannelSource, kSurfaceChannelCount> kOrder = {{
    {6, "Analog1"},
    {7, "Analog2"},
    {8, "Analog3"},
    {9, "Analog4"},
    {10, "Digi 1"},
    {11, "Digi 2"},
    {12, "Wave"},
    {13, "MIDI"},
    {14, "User 1"},
    {15, "User 2"},
    {16, "User 3"},
    {17, "User 4"},
    {18, "User 5"},
    {5, "Record"},
    {1, "Aux 1"},
    {2, "Aux 2"},
    {3, "Aux 3"},
    {4, "Aux 4"},
}};

std::optional<std::size_t> FindRow(SetOperation op, int32_t a, int32_t b, int32_t c) {
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    if (p.op == op && p.args == std::array<int32_t, 3>{a, b, c}) {
      return row;
    }
  }
  return std::nullopt;
}

std::array<SurfaceChannel, kSurfaceChannelCount> Build() {
  std::array<SurfaceChannel, kSurfaceChannelCount> channels{};
  for (std::size_t i = 0; i < kOrder.size(); ++i) {
    SurfaceChannel& channel = channels[i];
    channel.name = kOrder[i].name;
    channel.mute = kOrder[i].mute;
    for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
      if (MuteOfParameter(kCatalogue[row]) == channel.mute) {
        channel.faderRow = row;
      }
    }
    const MuteTarget& target = kMutes[channel.mute];
    if (target.kind == MuteKind::Source) {
      const int32_t type = target.args[0];
      const int32_t index = target.args[1];
      channel.panRow = FindRow(SetOperation::SourcePan, type, index, 0);
      channel.sendRows = {FindRow(SetOperation::SendLevel, type, index, 0),
                          FindRow(SetOperation::SendLevel, type, index, 1)};
    }
  }
  return channels;
}

} // namespace

const std::array<SurfaceChannel, kSurfaceChannelCount>& SurfaceChannels() {
  static const std::array<SurfaceChannel, kSurfaceChannelCount> channels = Build();
  return channels;
}

SurfaceMaster SurfaceMasterRows() {
  return {*FindRow(SetOperation::MasterVolume, 0, 0, 0),
          *FindRow(SetOperation::MasterVolume, 1, 0, 0)};
}

} // namespace vantrel
