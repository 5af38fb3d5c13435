#include "mixer/catalogue.h"

#include "midi/filter_nrpn.h"
#include "mixer/mixer_server.h"
#include "mixer/scales.h"

namespace vantrel {

int32_t MixerValueFromFader(const Parameter& p, int v) {
  return p.kind == ParameterKind::Gain ? GainFromValue(v) : LevelFromFader(v);
}

int32_t MixerValueFromController(const Parameter& p, int v) {
  return p.kind == ParameterKind::Gain ? GainFromValue(v) : LevelFromController(v);
}

int FaderValueFromReading(const Parameter& p, int32_t reading) {
  return p.kind == ParameterKind::Gain ? ValueFromGain(reading) : ValueFromLevel(reading);
}

int SetParameter(IMixerServer& mixer, const Parameter& p, int32_t value) {
  const auto& a = p.args;
  switch (p.op) {
  case SetOperation::BusLevel:
    return mixer.SetBusLevel(a[0], value);
  case SetOperation::MasterVolume:
    return mixer.SetMasterVolume(a[0], value);
  case SetOperation::RecordLevel:
    return mixer.SetRecordLevel(value);
  case SetOperation::SendLevel:
    return mixer.SetSendLevel(a[0], a[1], a[2], value);
  case SetOperation::SourceVolume:
    return mixer.SetSourceVolume(a[0], a[1], value);
  case SetOperation::SourcePan:
    return mixer.SetSourcePan(a[0], a[1], value);
  case SetOperation::FilterCutoff:
  case SetOperation::FilterResonance:
    break;
  }
  return kMixerFailed;
}

int ReadParameter(IMixerServer& mixer, const Parameter& p, int32_t& cell) {
  const auto& a = p.args;
  switch (p.op) {
  case SetOperation::BusLevel:
    return mixer.GetBusLevel(a[0], cell);
  case SetOperation::MasterVolume:
    return mixer.GetMasterVolume(a[0], cell);
  case SetOperation::RecordLevel:
    return mixer.GetRecordLevel(cell);
  case SetOperation::SendLevel:
    return mixer.GetSendLevel(a[0], a[1], a[2], cell);
  case SetOperation::SourceVolume:
    return mixer.GetSourceVolume(a[0], a[1], cell);
  case SetOperation::SourcePan:
    return mixer.GetSourcePan(a[0], a[1], cell);
  case SetOperation::FilterCutoff:
  case SetOperation::FilterResonance:
    break;
  }
  return kMixerFailed;
}

void SendFilterParameter(IShortMessageSink& out, int32_t outputChannel, const Parameter& p, int v) {
  if (p.op == SetOperation::FilterCutoff) {
    SendFilterNrpn(out, outputChannel, kNrpnCutoff, CutoffNrpnData(v));
  } else if (p.op == SetOperation::FilterResonance) {
    SendFilterNrpn(out, outputChannel, kNrpnResonance, ResonanceNrpnData(v));
  }
}

} // namespace vantrel
