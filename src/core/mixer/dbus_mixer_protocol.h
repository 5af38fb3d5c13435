#pragma once
// The mixer service's D-Bus contract, shared by vantrel-mixerd, its command-line
// client and the program's link: names (those of the whole state and of the
// meters too), the method table and the argument ranges. Every argument and
// result is an int32; a method's signature is one "i" per argument.

#include "mixer/mixer_server.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantrel::mixer_dbus {

inline constexpr char kBusName[] = "org.vantrel.Mixer";
inline constexpr char kObjectPath[] = "/org/vantrel/Mixer";
inline constexpr char kInterface[] = "org.vantrel.Mixer1";
inline constexpr char kInvalidArgumentError[] = "org.vantrel.Mixer1.Error.InvalidArgument";
// Sent after changes, without arguments, so other clients can re-read.
inline constexpr char kChangedSignal[] = "Changed";
// A second interface on the same object says what stands behind the mixer:
// Backend() -> (name, status), Targets() -> a(kind, name, strip, a(property,
// value)), where strip is the strip's name, empty for an object none drives.
inline constexpr char kBackendInterface[] = "org.vantrel.MixerBackend1";
inline constexpr char kBackendMethod[] = "Backend";
inline constexpr char kTargetsMethod[] = "Targets";
// Backend()'s status names the faults of the mapping file after this
// phrase, so clients can tell the user where they look.
inline constexpr char kMappingProblemsPhrase[] = "the mapping file has problems";
// The whole state and its changes, in value slots (mixer_values.h).
inline constexpr char kValuesChangedSignal[] = "ValuesChanged";
inline constexpr char kGetStateMethod[] = "GetState";
inline constexpr char kSetManyMethod[] = "SetMany";
inline constexpr char kStateSignature[] = "a(saiai)";
inline constexpr char kSettersSignature[] = "a(sai)";
inline constexpr char kValuesChangedSignature[] = "a(saiais)";
// Level meters (meter_levels.h).
inline constexpr char kStartMetersMethod[] = "StartMeters";
inline constexpr char kStopMetersMethod[] = "StopMeters";
inline constexpr char kMeterLevelsSignal[] = "MeterLevels";
inline constexpr char kMeterLevelsSignature[] = "a(saiai)";

enum class Method : int {
  SetMasterVolume,
  GetMasterVolume,
  SetSourceVolume,
  GetSourceVolume,
  SetSourcePan,
  GetSourcePan,
  GetSendBus,
  SetSendLevel,
  GetSendLevel,
  SetAuxEffect,
  IsBusRouted,
  IsBusOnOutput,
  GetBusEffect,
  GetBusOutput,
  SetBusLevel,
  GetBusLevel,
  SetRecordLevel,
  GetRecordLevel,
  // Routing, beyond what the program itself calls.
  SetSendBus,
  SetBusRouted,
  SetBusOutput,
  // Mutes: 0 sounding, 1 muted. One for the master (both sides), one per
  // source, per aux bus and for the record strip.
  SetMasterMute,
  GetMasterMute,
  SetSourceMute,
  GetSourceMute,
  SetBusMute,
  GetBusMute,
  SetRecordMute,
  GetRecordMute,
  Count,
};
inline constexpr std::size_t kMethodCount = static_cast<std::size_t>(Method::Count);
inline constexpr std::size_t kMaxInputs = 4;
inline constexpr std::size_t kMaxOutputs = 3;

struct MethodInfo {
  Method id;
  std::string_view name;
  std::size_t inputCount;
  std::array<std::string_view, kMaxInputs> inputs;
  std::size_t outputCount;
  std::array<std::string_view, kMaxOutputs> outputs;

  // A setter changes state and has no results; clients need not wait for it.
  constexpr bool IsSetter() const { return outputCount == 0; }
};

inline constexpr std::array<MethodInfo, kMethodCount> kMethods = {{
    {Method::SetMasterVolume, "SetMasterVolume", 2, {"channel", "gain"}, 0, {}},
    {Method::GetMasterVolume, "GetMasterVolume", 1, {"channel"}, 1, {"gain"}},
    {Method::SetSourceVolume, "SetSourceVolume", 3, {"type", "index", "gain"}, 0, {}},
    {Method::GetSourceVolume, "GetSourceVolume", 2, {"type", "index"}, 1, {"gain"}},
    {Method::SetSourcePan, "SetSourcePan", 3, {"type", "index", "pan"}, 0, {}},
    {Method::GetSourcePan, "GetSourcePan", 2, {"type", "index"}, 1, {"pan"}},
    {Method::GetSendBus, "GetSendBus", 3, {"type", "index", "send"}, 1, {"bus"}},
    {Method::SetSendLevel, "SetSendLevel", 4, {"type", "index", "send", "level"}, 0, {}},
    {Method::GetSendLevel, "GetSendLevel", 3, {"type", "index", "send"}, 1, {"level"}},
    {Method::SetAuxEffect, "SetAuxEffect", 2, {"aux", "effect"}, 0, {}},
    {Method::IsBusRouted, "IsBusRouted", 1, {"bus"}, 1, {"result"}},
    {Method::IsBusOnOutput, "IsBusOnOutput", 1, {"bus"}, 1, {"result"}},
    {Method::GetBusEffect, "GetBusEffect", 1, {"bus"}, 1, {"effect"}},
    {Method::GetBusOutput, "GetBusOutput", 1, {"bus"}, 3, {"digital", "pair", "third"}},
    {Method::SetBusLevel, "SetBusLevel", 2, {"bus", "level"}, 0, {}},
    {Method::GetBusLevel, "GetBusLevel", 1, {"bus"}, 1, {"level"}},
    {Method::SetRecordLevel, "SetRecordLevel", 1, {"level"}, 0, {}},
    {Method::GetRecordLevel, "GetRecordLevel", 0, {}, 1, {"level"}},
    {Method::SetSendBus, "SetSendBus", 4, {"type", "index", "send", "bus"}, 0, {}},
    {Method::SetBusRouted, "SetBusRouted", 2, {"bus", "routed"}, 0, {}},
    {Method::SetBusOutput, "SetBusOutput", 3, {"bus", "digital", "pair"}, 0, {}},
    {Method::SetMasterMute, "SetMasterMute", 1, {"muted"}, 0, {}},
    {Method::GetMasterMute, "GetMasterMute", 0, {}, 1, {"muted"}},
    {Method::SetSourceMute, "SetSourceMute", 3, {"type", "index", "muted"}, 0, {}},
    {Method::GetSourceMute, "GetSourceMute", 2, {"type", "index"}, 1, {"muted"}},
    {Method::SetBusMute, "SetBusMute", 2, {"bus", "muted"}, 0, {}},
    {Method::GetBusMute, "GetBusMute", 1, {"bus"}, 1, {"muted"}},
    {Method::SetRecordMute, "SetRecordMute", 1, {"muted"}, 0, {}},
    {Method::GetRecordMute, "GetRecordMute", 0, {}, 1, {"muted"}},
}};

// True when row i of `table` is for the method numbered i, so the table can
// be indexed by Method; every table with a row per method checks it.
template <typename Row>
constexpr bool FollowsMethodOrder(const std::array<Row, kMethodCount>& table) {
  for (std::size_t i = 0; i < kMethodCount; ++i) {
    if (static_cast<std::size_t>(table[i].id) != i) {
      return false;
    }
  }
  return true;
}
static_assert(FollowsMethodOrder(kMethods), "kMethods must list the methods in enum order");

constexpr const MethodInfo& Info(Method method) {
  return kMethods[static_cast<std::size_t>(method)];
}

// The entry whose name is `name` exactly, or nullptr.
constexpr const MethodInfo* FindMethod(std::string_view name) {
  for (const MethodInfo& info : kMethods) {
    if (info.name == name) {
      return &info;
    }
  }
  return nullptr;
}

// Signatures by argument count: "", "i", "ii", ...
constexpr std::string_view Signature(std::size_t count) {
  return std::string_view("iiii").substr(0, count);
}

// Argument ranges of the virtual card.
inline constexpr int32_t kChannelCount = 2; // 0 left, 1 right
inline constexpr int32_t kSourceTypeCount = 5;
inline constexpr std::array<int32_t, kSourceTypeCount> kSourcesPerType = {4, 2, 1, 1, 5};
inline constexpr int32_t kSourceCount = 13;
inline constexpr int32_t kSendCount = 2;
// Output pairs a bus can go to. The indices follow the labels the program
// shows: analog 0 "A1+2", 2 "A5+6", 4 "A7+8" (1 and 3 are the pairs between);
// digital 0 "D1", 2 "D2" (1 is accepted and reads "D").
inline constexpr int32_t kAnalogPairCount = 5;
inline constexpr int32_t kDigitalPairCount = 3;

constexpr bool IsValidFlag(int32_t value) {
  return value == 0 || value == 1;
}
constexpr bool IsValidValue(int32_t value) {
  return value >= 0 && value <= kMixerValueMax;
}
constexpr bool IsValidChannel(int32_t channel) {
  return channel >= 0 && channel < kChannelCount;
}
constexpr bool IsValidBus(int32_t bus) {
  return bus >= 0 && bus < kBusCount;
}
constexpr bool IsValidSend(int32_t send) {
  return send >= 0 && send < kSendCount;
}
constexpr bool IsValidEffect(int32_t effect) {
  return effect >= 0 && effect < kEffectCount;
}
constexpr bool IsValidSource(int32_t type, int32_t index) {
  return type >= 0 && type < kSourceTypeCount && index >= 0 &&
         index < kSourcesPerType[static_cast<std::size_t>(type)];
}
constexpr bool IsValidOutputPair(int32_t digital, int32_t pair) {
  if (digital == 0) {
    return pair >= 0 && pair < kAnalogPairCount;
  }
  return digital == 1 && pair >= 0 && pair < kDigitalPairCount;
}

// Position of a source in a flat list of the 13: Analog 1..4, Digital 1..2,
// Wave, MIDI, User 1..5. Only for valid sources.
constexpr int32_t SourceSlot(int32_t type, int32_t index) {
  int32_t slot = index;
  for (int32_t t = 0; t < type; ++t) {
    slot += kSourcesPerType[static_cast<std::size_t>(t)];
  }
  return slot;
}
static_assert(SourceSlot(kSourceUser, 4) == kSourceCount - 1);

} // namespace vantrel::mixer_dbus
