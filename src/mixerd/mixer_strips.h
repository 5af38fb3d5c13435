#pragma once
// The strips a mixer back end can make real: Master (left and right), Record
// and the thirteen input sources (volume and pan). A strip drives its objects
// through the linear level of their left and right side, so that every back
// end shares one conversion from and to the model's values.

#include "mixer_model.h"

#include <array>
#include <optional>
#include <string_view>

namespace vantrel::mixerd {

inline constexpr int kMasterStrip = 0;
inline constexpr int kRecordStrip = 1;
inline constexpr int kFirstSourceStrip = 2;
inline constexpr int kStripCount = kFirstSourceStrip + mixer_dbus::kSourceCount;

constexpr int SourceStrip(int32_t type, int32_t index) {
  return kFirstSourceStrip + mixer_dbus::SourceSlot(type, index);
}

// Names as people and the mapping file write them ("Master", "Analog 1",
// "MIDI", "User 5"), in strip order.
extern const std::array<std::string_view, kStripCount> kStripNames;

// The strip named `name` (ASCII case ignored), if any.
std::optional<int> FindStrip(std::string_view name);

// A strip a setter changes: its level or pan, or its mute.
struct StripSetter {
  int strip = 0;
  bool mute = false;
};

// The strip that a setter with arguments `in` moves or mutes, if it changes
// one (the aux buses and their mutes are no strips here).
std::optional<StripSetter> StripOfSetter(mixer_dbus::Method method, std::span<const int32_t> in);
// The strip's mute, and storing one reported by an object (true when it
// changed). Mutes stand apart from the levels: neither touches the other.
bool StripMuted(const MixerState& state, int strip);
bool StoreStripMute(MixerState& state, int strip, bool muted);

// Linear amplitude of each side, 0..1 (1 = unity).
struct SideLevels {
  double left = 0;
  double right = 0;

  bool operator==(const SideLevels&) const = default;
};

// What the strip asks of its objects: Master sets each side from its own
// channel; a source's pan is the balance between the sides (the louder side
// carries the volume); Record sets both sides alike.
SideLevels LevelsOfStrip(const MixerState& state, int strip);

// Stores what an object reports into the strip, the inverse of
// LevelsOfStrip. A silent source keeps its pan. True when a value changed.
bool StoreStripLevels(MixerState& state, int strip, SideLevels levels);

} // namespace vantrel::mixerd
