#include "mixer/catalogue.h"

#include "midi/filter_nrpn.h"
#include "mixer/mixer_server.h"
#include "mixer/mixer_values.h"
#include "mixer/scales.h"

namespace vantrel {

int32_t MixerValueFromFader(const Parameter& p, int v) {
  return p.kind == ParameterKind::Gain ? GainFromValue(v) : LevelFromFader(v);
}

int32_t MixerValueFromController(const Parameter& p, int v) {
  return MixerValueFromFineController(p, v << kFineBits);
}

int32_t MixerValueFromFineController(const Parameter& p, int h) {
  return p.kind == ParameterKind::Gain ? GainFromFineValue(h) : LevelFromFineController(h);
}

int FaderValueFromReading(const Parameter& p, int32_t reading) {
  return p.kind == ParameterKind::Gain ? ValueFromGain(reading) : ValueFromLevel(reading);
}

int ControllerValueFromReading(const Parameter& p, int32_t reading) {
  const int shown = FaderValueFromReading(p, reading);
  // The read-back truncates: the controller value is the shown one or the
  // one above it.
  for (const int v : {shown, shown + 1}) {
    if (v <= kFaderMax && MixerValueFromController(p, v) == reading) {
      return v;
    }
  }
  return shown;
}

int FineControllerValueFromReading(const Parameter& p, int32_t reading) {
  // Both scales rise with h: a binary search over the 14 bits.
  int low = 0;
  int high = (kFaderMax + 1) * (1 << kFineBits) - 1;
  if (MixerValueFromFineController(p, low) > reading) {
    return 0;
  }
  while (low < high) {
    const int middle = (low + high + 1) / 2;
    if (MixerValueFromFineController(p, middle) <= reading) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return low;
}

namespace {

using Args = std::array<int32_t, 3>;

// The setter and getter of each mixer operation, in the order of
// SetOperation; the filter operations that follow are no mixer calls.
struct MixerCalls {
  SetOperation op;
  mixer_dbus::Method getter; // what the mirror and the bus call it
  int (*set)(IMixerServer&, const Args&, int32_t);
  int (*get)(IMixerServer&, const Args&, int32_t&);
};

constexpr std::array<MixerCalls, 6> kMixerCalls = {{
    {SetOperation::BusLevel, mixer_dbus::Method::GetBusLevel,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetBusLevel(a[0], v); },
     [](IMixerServer& m, const Args& a, int32_t& c) { return m.GetBusLevel(a[0], c); }},
    {SetOperation::MasterVolume, mixer_dbus::Method::GetMasterVolume,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetMasterVolume(a[0], v); },
     [](IMixerServer& m, const Args& a, int32_t& c) { return m.GetMasterVolume(a[0], c); }},
    {SetOperation::RecordLevel, mixer_dbus::Method::GetRecordLevel,
     [](IMixerServer& m, const Args&, int32_t v) { return m.SetRecordLevel(v); },
     [](IMixerServer& m, const Args&, int32_t& c) { return m.GetRecordLevel(c); }},
    {SetOperation::SendLevel, mixer_dbus::Method::GetSendLevel,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetSendLevel(a[0], a[1], a[2], v); },
     [](IMixerServer& m, const Args& a, int32_t& c) {
       return m.GetSendLevel(a[0], a[1], a[2], c);
     }},
    {SetOperation::SourceVolume, mixer_dbus::Method::GetSourceVolume,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetSourceVolume(a[0], a[1], v); },
     [](IMixerServer& m, const Args& a, int32_t& c) { return m.GetSourceVolume(a[0], a[1], c); }},
    {SetOperation::SourcePan, mixer_dbus::Method::GetSourcePan,
     [](IMixerServer& m, const Args& a, int32_t v) { return m.SetSourcePan(a[0], a[1], v); },
     [](IMixerServer& m, const Args& a, int32_t& c) { return m.GetSourcePan(a[0], a[1], c); }},
}};

constexpr bool MixerCallsFollowEnum() {
  for (std::size_t i = 0; i < kMixerCalls.size(); ++i) {
    if (static_cast<std::size_t>(kMixerCalls[i].op) != i) {
      return false;
    }
  }
  return static_cast<std::size_t>(SetOperation::FilterCutoff) == kMixerCalls.size();
}
static_assert(MixerCallsFollowEnum(), "kMixerCalls must list the mixer operations in enum order");

const MixerCalls* FindMixerCalls(SetOperation op) {
  const auto index = static_cast<std::size_t>(op);
  return index < kMixerCalls.size() ? &kMixerCalls[index] : nullptr;
}

} // namespace

int SetParameter(IMixerServer& mixer, const Parameter& p, int32_t value) {
  const MixerCalls* calls = FindMixerCalls(p.op);
  return calls != nullptr ? calls->set(mixer, p.args, value) : kMixerFailed;
}

int ReadParameter(IMixerServer& mixer, const Parameter& p, int32_t& cell) {
  const MixerCalls* calls = FindMixerCalls(p.op);
  return calls != nullptr ? calls->get(mixer, p.args, cell) : kMixerFailed;
}

std::optional<std::size_t> ValueSlotOf(const Parameter& p) {
  const MixerCalls* calls = FindMixerCalls(p.op);
  if (calls == nullptr) {
    return std::nullopt;
  }
  const std::size_t count = mixer_dbus::Info(calls->getter).inputCount;
  return mixer_dbus::ValueSlot(calls->getter, std::span(p.args.data(), count));
}

void SendFilterParameter(IShortMessageSink& out, int32_t outputChannel, const Parameter& p, int v) {
  if (p.op == SetOperation::FilterCutoff) {
    SendFilterNrpn(out, outputChannel, kNrpnCutoff, CutoffNrpnData(v));
  } else if (p.op == SetOperation::FilterResonance) {
    SendFilterNrpn(out, outputChannel, kNrpnResonance, ResonanceNrpnData(v));
  }
}

} // namespace vantrel
