#include "mixer_strips.h"

#include "text/ascii_text.h"

#include <algorithm>
#include <cmath>

namespace vantrel::mixerd {

using namespace mixer_dbus;

namespace {

constexpr int32_t kCentre = 32768;
constexpr double kValueMax = kMixerValueMax;

int32_t ValueOfLevel(double level) {
  return static_cast<int32_t>(std::lround(std::clamp(level, 0.0, 1.0) * kValueMax));
}

// Pan as a balance -1 (left only) .. 1 (right only); the centre is exact.
double BalanceOfPan(int32_t pan) {
  return pan >= kCentre ? (pan - kCentre) / (kValueMax - kCentre)
                        : (pan - kCentre) / double(kCentre);
}

int32_t PanOfBalance(double balance) {
  const double span = balance >= 0 ? kValueMax - kCentre : kCentre;
  return std::clamp(static_cast<int32_t>(std::lround(kCentre + balance * span)), 0, kMixerValueMax);
}

bool Store(int32_t& cell, int32_t value) {
  const bool changed = cell != value;
  cell = value;
  return changed;
}

} // namespace

const std::array<std::string_view, kStripCount> kStripNames = {
    "Master", "Record", "Analog 1", "Analog 2", "Analog 3", "Analog 4", "Digital 1", "Digital 2",
    "Wave",   "MIDI",   "User 1",   "User 2",   "User 3",   "User 4",   "User 5"};

std::optional<int> FindStrip(std::string_view name) {
  for (int strip = 0; strip < kStripCount; ++strip) {
    const std::string_view candidate = kStripNames[static_cast<std::size_t>(strip)];
    if (EqualsIgnoringAsciiCase(candidate, name)) {
      return strip;
    }
  }
  return std::nullopt;
}

std::optional<StripSetter> StripOfSetter(Method method, std::span<const int32_t> in) {
  const bool mute = method == Method::SetMasterMute || method == Method::SetRecordMute ||
                    method == Method::SetSourceMute;
  switch (method) {
  case Method::SetMasterVolume:
  case Method::SetMasterMute:
    return StripSetter{kMasterStrip, mute};
  case Method::SetRecordLevel:
  case Method::SetRecordMute:
    return StripSetter{kRecordStrip, mute};
  case Method::SetSourceVolume:
  case Method::SetSourcePan:
  case Method::SetSourceMute:
    if (IsValidSource(in[0], in[1])) {
      return StripSetter{SourceStrip(in[0], in[1]), mute};
    }
    return std::nullopt;
  default:
    return std::nullopt;
  }
}

namespace {
template <typename State> auto& MuteOfStrip(State& state, int strip) {
  if (strip == kMasterStrip) {
    return state.masterMuted;
  }
  if (strip == kRecordStrip) {
    return state.recordMuted;
  }
  return state.sources[static_cast<std::size_t>(strip - kFirstSourceStrip)].muted;
}
} // namespace

bool StripMuted(const MixerState& state, int strip) {
  return MuteOfStrip(state, strip);
}

bool StoreStripMute(MixerState& state, int strip, bool muted) {
  bool& cell = MuteOfStrip(state, strip);
  const bool changed = cell != muted;
  cell = muted;
  return changed;
}

SideLevels LevelsOfStrip(const MixerState& state, int strip) {
  if (strip == kMasterStrip) {
    return {state.master[0] / kValueMax, state.master[1] / kValueMax};
  }
  if (strip == kRecordStrip) {
    return {state.record / kValueMax, state.record / kValueMax};
  }
  const SourceState& source = state.sources[static_cast<std::size_t>(strip - kFirstSourceStrip)];
  const double volume = source.volume / kValueMax;
  const double balance = BalanceOfPan(source.pan);
  return {volume * std::min(1.0, 1.0 - balance), volume * std::min(1.0, 1.0 + balance)};
}

bool StoreStripLevels(MixerState& state, int strip, SideLevels levels) {
  if (strip == kMasterStrip) {
    const bool left = Store(state.master[0], ValueOfLevel(levels.left));
    return Store(state.master[1], ValueOfLevel(levels.right)) || left;
  }
  if (strip == kRecordStrip) {
    return Store(state.record, ValueOfLevel(std::max(levels.left, levels.right)));
  }
  SourceState& source = state.sources[static_cast<std::size_t>(strip - kFirstSourceStrip)];
  const double loudest = std::max(levels.left, levels.right);
  bool changed = Store(source.volume, ValueOfLevel(loudest));
  if (loudest > 0) {
    const double balance = levels.left >= levels.right ? levels.right / levels.left - 1.0
                                                       : 1.0 - levels.left / levels.right;
    changed = Store(source.pan, PanOfBalance(balance)) || changed;
  }
  return changed;
}

} // namespace vantrel::mixerd
