#pragma once
// Every value the mixer interface can read, as one flat list of slots: a
// getter with one valid set of arguments is a value (GetSourceVolume of
// Wave, GetBusOutput of Aux 3, ...). The server's whole-state answer, its
// change signal and the client's mirror all speak in these keys, so both
// sides agree on what a value is without a second table.
//
// On the bus (interface org.vantrel.Mixer1, beside the per-value methods):
//
//   GetState() -> a(saiai)       every value: (getter, arguments, results)
//   SetMany(a(sai))              setters (name, arguments), applied in order;
//                                one invalid entry refuses the whole call
//                                with InvalidArgument and changes nothing
//   ValuesChanged(a(saiais))     signal: (getter, arguments, results, origin)
//
// ValuesChanged carries, in the order things happened since the last
// signal: exactly one entry per setter applied for a caller (the setter's
// primary value, origin = that caller's unique bus name, sent even when the
// value did not change), then every other value that changed (routing that
// a setter moved along, changes from the sound server), origin empty. A
// client counts its own setters' answers by origin and primary value, so it
// can tell its own echoes from changes made elsewhere. The argument-less
// Changed signal still follows for older clients.

#include "mixer/dbus_mixer_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vantrel::mixer_dbus {

// A getter and its arguments (unused ones 0).
struct ValueKey {
  Method getter = Method::GetRecordLevel;
  std::array<int32_t, kMaxInputs> args{};

  bool operator==(const ValueKey&) const = default;
};

// A value's results (GetBusOutput has three; the others one, the rest 0).
using ValueResults = std::array<int32_t, kMaxOutputs>;

// Master 2, source volume and pan 13 each, send bus and level 26 each,
// and per bus routed, on output, effect, output, level 4 each, record 1;
// then the mutes: master 1, sources 13, buses 4, record 1.
inline constexpr std::size_t kValueCount = 2 + 13 + 13 + 26 + 26 + 4 * 5 + 1 + 1 + 13 + 4 + 1;

// The slot of a getter with these arguments, or nullopt when the method is
// not a getter or an argument is out of range.
std::optional<std::size_t> ValueSlot(Method getter, std::span<const int32_t> args);
inline std::optional<std::size_t> ValueSlot(const ValueKey& key) {
  return ValueSlot(key.getter, std::span(key.args.data(), Info(key.getter).inputCount));
}
// The key of a slot 0..kValueCount-1.
ValueKey KeyOfSlot(std::size_t slot);

// The value a setter with these (valid) arguments writes: SetSourceVolume
// (t, i, g) -> GetSourceVolume(t, i), SetAuxEffect(aux, e) -> GetBusEffect
// (aux), SetBusRouted(bus, r) -> IsBusRouted(bus), SetBusOutput(bus, d, p)
// -> GetBusOutput(bus), and so on. nullopt for a getter.
std::optional<ValueKey> PrimaryValueOf(Method setter, std::span<const int32_t> args);

// The slot and results of an entry as it comes over the bus (getter name,
// arguments, results), or nullopt for anything that is not a value: an
// unknown name, a setter, arguments out of range or of the wrong count, or
// results of the wrong count.
struct SlotValue {
  std::size_t slot;
  ValueResults results;
};
std::optional<SlotValue> ParseValueEntry(std::string_view getter, std::span<const int32_t> args,
                                         std::span<const int32_t> results);

// What a setter writes into its primary value's results, given the results
// before: the last argument, except SetBusOutput (digital, pair, third
// kept), SetBusRouted and the mute setters (0 or 1).
ValueResults ResultsAfterSet(Method setter, std::span<const int32_t> args,
                             const ValueResults& before);

} // namespace vantrel::mixer_dbus
