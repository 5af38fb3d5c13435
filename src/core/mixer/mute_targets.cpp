#include "mixer/mute_targets.h"

#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "mixer/mixer_values.h"

namespace vantrel {

using mixer_dbus::Method;

const std::array<MuteTarget, kMuteCount> kMutes = {{
    {"VolMute", "Master", MuteKind::Master, {0, 0}},
    {"Aux1Mute", "Aux 1", MuteKind::Bus, {0, 0}},
    {"Aux2Mute", "Aux 2", MuteKind::Bus, {1, 0}},
    {"Aux3Mute", "Aux 3", MuteKind::Bus, {2, 0}},
    {"Aux4Mute", "Aux 4", MuteKind::Bus, {3, 0}},
    {"RecMute", "Record", MuteKind::Record, {0, 0}},
    {"A1Mute", "Analog 1", MuteKind::Source, {kSourceAnalog, 0}},
    {"A2Mute", "Analog 2", MuteKind::Source, {kSourceAnalog, 1}},
    {"A3Mute", "Analog 3", MuteKind::Source, {kSourceAnalog, 2}},
    {"A4Mute", "Analog 4", MuteKind::Source, {kSourceAnalog, 3}},
    {"D1Mute", "Digital 1", MuteKind::Source, {kSourceDigital, 0}},
    {"D2Mute", "Digital 2", MuteKind::Source, {kSourceDigital, 1}},
    {"WaveMute", "Wave", MuteKind::Source, {kSourceWave, 0}},
    {"MidiMute", "MIDI", MuteKind::Source, {kSourceMidi, 0}},
    {"U1Mute", "User 1", MuteKind::Source, {kSourceUser, 0}},
    {"U2Mute", "User 2", MuteKind::Source, {kSourceUser, 1}},
    {"U3Mute", "User 3", MuteKind::Source, {kSourceUser, 2}},
    {"U4Mute", "User 4", MuteKind::Source, {kSourceUser, 3}},
    {"U5Mute", "User 5", MuteKind::Source, {kSourceUser, 4}},
}};

namespace {

using Args = std::array<int32_t, 2>;

// What reads and sets a mute of each kind, in MuteKind's order.
struct MuteCalls {
  Method getter;
  int (*set)(IMixerServer&, const Args&, int32_t muted);
  int (*get)(IMixerServer&, const Args&, int32_t& muted);
};

constexpr std::array<MuteCalls, 4> kMuteCalls = {{
    {Method::GetMasterMute,
     [](IMixerServer& m, const Args&, int32_t v) { return m.SetMasterMute(v); },
     [](IMixerServer& m, const Args&, int32_t& v) { return m.GetMasterMute(v); }},
    {Method::GetBusMute,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetBusMute(a[0], v); },
     [](IMixerServer& m, const Args& a, int32_t& v) { return m.GetBusMute(a[0], v); }},
    {Method::GetRecordMute,
     [](IMixerServer& m, const Args&, int32_t v) { return m.SetRecordMute(v); },
     [](IMixerServer& m, const Args&, int32_t& v) { return m.GetRecordMute(v); }},
    {Method::GetSourceMute,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetSourceMute(a[0], a[1], v); },
     [](IMixerServer& m, const Args& a, int32_t& v) { return m.GetSourceMute(a[0], a[1], v); }},
}};
static_assert(kMuteCalls.size() == static_cast<std::size_t>(MuteKind::Source) + 1,
              "kMuteCalls has one row per MuteKind");

const MuteCalls& CallsOf(const MuteTarget& target) {
  return kMuteCalls[static_cast<std::size_t>(target.kind)];
}

} // namespace

Method MuteGetter(const MuteTarget& target) {
  return CallsOf(target).getter;
}

int SetMute(IMixerServer& mixer, const MuteTarget& target, bool muted) {
  return CallsOf(target).set(mixer, target.args, muted ? 1 : 0);
}

int ReadMute(IMixerServer& mixer, const MuteTarget& target, int32_t& muted) {
  return CallsOf(target).get(mixer, target.args, muted);
}

std::size_t MuteSlotOf(const MuteTarget& target) {
  const Method getter = MuteGetter(target);
  const std::size_t count = mixer_dbus::Info(getter).inputCount;
  return *mixer_dbus::ValueSlot(getter, std::span(target.args.data(), count));
}

std::optional<std::size_t> MuteOfParameter(const Parameter& p) {
  auto find = [](MuteKind kind, int32_t a, int32_t b) -> std::optional<std::size_t> {
    for (std::size_t mute = 0; mute < kMutes.size(); ++mute) {
      if (kMutes[mute].kind == kind && kMutes[mute].args == std::array<int32_t, 2>{a, b}) {
        return mute;
      }
    }
    return std::nullopt;
  };
  switch (p.op) {
  case SetOperation::MasterVolume:
    return find(MuteKind::Master, 0, 0);
  case SetOperation::BusLevel:
    return find(MuteKind::Bus, p.args[0], 0);
  case SetOperation::RecordLevel:
    return find(MuteKind::Record, 0, 0);
  case SetOperation::SourceVolume:
    return find(MuteKind::Source, p.args[0], p.args[1]);
  default:
    return std::nullopt;
  }
}

} // namespace vantrel
