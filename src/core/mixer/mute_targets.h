#pragma once
// The 19 mutes a button can toggle, in the order of the profile's
// "Button Mapping" keys: the master (both sides), Aux 1-4, Record and the
// 13 input sources. Buttons, lights, the pages and tests read this table.

#include "mixer/dbus_mixer_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantrel {

class IMixerServer;
struct Parameter;

enum class MuteKind : uint8_t { Master, Bus, Record, Source };

struct MuteTarget {
  std::string_view key;   // its button's key: "VolMute", "Aux1Mute", "A1Mute", ...
  std::string_view strip; // for people: "Master", "Aux 1", "Analog 1", ...
  MuteKind kind;
  std::array<int32_t, 2> args; // bus, or source type and index; unused ones 0
};

inline constexpr std::size_t kMuteCount = 19;

extern const std::array<MuteTarget, kMuteCount> kMutes;

// The mixer's getter of a mute and how many of args it takes.
mixer_dbus::Method MuteGetter(const MuteTarget& target);
// Sets or reads a mute through the mixer (results as IMixerServer's).
int SetMute(IMixerServer& mixer, const MuteTarget& target, bool muted);
int ReadMute(IMixerServer& mixer, const MuteTarget& target, int32_t& muted);
// The mixer value slot (mixer_values.h) that holds the mute.
std::size_t MuteSlotOf(const MuteTarget& target);
// The mute (index into kMutes) of the strip a level or gain parameter sets:
// the master volumes, a bus level, the record level or a source's volume;
// nullopt for pans, sends and filters.
std::optional<std::size_t> MuteOfParameter(const Parameter& p);

} // namespace vantrel
