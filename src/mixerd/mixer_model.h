#pragma once
// The virtual card that vantrel-mixerd serves: every value the mixer
// interface reads or writes, with sensible defaults and range checks.

#include "mixer/dbus_mixer_protocol.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::mixerd {

struct SendState {
  int32_t bus = 0;
  int32_t level = 0;

  bool operator==(const SendState&) const = default;
};

struct SourceState {
  int32_t volume = 0;
  int32_t pan = 0;
  std::array<SendState, mixer_dbus::kSendCount> sends{};
  bool muted = false;

  bool operator==(const SourceState&) const = default;
};

struct BusState {
  int32_t level = 0;
  bool routed = false;
  bool onOutput = false;
  int32_t effect = 0;
  // The output pair, used while onOutput is set.
  bool digital = false;
  int32_t pair = 0;
  bool muted = false;

  bool operator==(const BusState&) const = default;
};

// The most applications "app #N" rules number.
inline constexpr std::size_t kMaxNumberedApps = 64;

struct MixerState {
  std::array<int32_t, mixer_dbus::kChannelCount> master{};
  std::array<SourceState, mixer_dbus::kSourceCount> sources{};
  std::array<BusState, kBusCount> buses{};
  int32_t record = 0;
  // Mutes beside the levels: a level change never touches them.
  bool masterMuted = false; // both sides
  bool recordMuted = false;
  // The applications that "app #N" stream rules gave a number, so each keeps
  // it across its own restarts and the service's: apps[0] holds #1. Not a
  // value of the interface.
  std::vector<std::string> apps;

  bool operator==(const MixerState&) const = default;
};

// What a user would expect of a fresh card: faders at three quarters, pans
// centred, no sends, send 1 feeding Aux 1 and send 2 Aux 2, Aux 1 on the
// reverb, Aux 2 on the chorus, Aux 3 and Aux 4 on analog outputs, all routed,
// nothing muted.
MixerState DefaultMixerState();

// True when every value of `state` is one the interface could have set.
bool IsValidMixerState(const MixerState& state);

enum class InvokeResult {
  Ok,
  InvalidArgument, // nothing changed
};

// Runs one method of the interface on `state`. `in` holds the method's
// inputs, `out` receives its outputs (sizes from the method table). Sets
// `changed` when a value differs afterwards.
InvokeResult Invoke(MixerState& state, mixer_dbus::Method method, std::span<const int32_t> in,
                    std::span<int32_t> out, bool& changed);

} // namespace vantrel::mixerd
