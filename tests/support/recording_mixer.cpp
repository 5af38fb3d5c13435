#include "support/recording_mixer.h"

namespace vantrel::test {

namespace {
std::string Args(std::initializer_list<int32_t> values) {
  std::string text;
  for (int32_t v : values) {
    if (!text.empty()) {
      text += ", ";
    }
    text += std::to_string(v);
  }
  return "(" + text + ")";
}
} // namespace

int RecordingMixer::Set(std::string call) {
  calls.push_back(std::move(call));
  return kMixerOk;
}

int RecordingMixer::Get(std::string call, int32_t& out) {
  calls.push_back(call);
  if (failing.count(call) != 0) {
    return kMixerFailed;
  }
  const auto it = answers.find(call);
  out = it == answers.end() ? 0 : it->second;
  return kMixerOk;
}

int RecordingMixer::SetMasterVolume(int32_t c, int32_t g) {
  return Set("SetMasterVolume" + Args({c, g}));
}
int RecordingMixer::GetMasterVolume(int32_t c, int32_t& g) {
  return Get("GetMasterVolume" + Args({c}), g);
}
int RecordingMixer::SetSourceVolume(int32_t t, int32_t i, int32_t g) {
  return Set("SetSourceVolume" + Args({t, i, g}));
}
int RecordingMixer::GetSourceVolume(int32_t t, int32_t i, int32_t& g) {
  return Get("GetSourceVolume" + Args({t, i}), g);
}
int RecordingMixer::SetSourcePan(int32_t t, int32_t i, int32_t p) {
  return Set("SetSourcePan" + Args({t, i, p}));
}
int RecordingMixer::GetSourcePan(int32_t t, int32_t i, int32_t& p) {
  return Get("GetSourcePan" + Args({t, i}), p);
}
int RecordingMixer::GetSendBus(int32_t t, int32_t i, int32_t s, int32_t& b) {
  return Get("GetSendBus" + Args({t, i, s}), b);
}
int RecordingMixer::SetSendLevel(int32_t t, int32_t i, int32_t s, int32_t l) {
  return Set("SetSendLevel" + Args({t, i, s, l}));
}
int RecordingMixer::GetSendLevel(int32_t t, int32_t i, int32_t s, int32_t& l) {
  return Get("GetSendLevel" + Args({t, i, s}), l);
}
int RecordingMixer::SetAuxEffect(int32_t a, int32_t e) {
  return Set("SetAuxEffect" + Args({a, e}));
}
int32_t RecordingMixer::IsBusRouted(int32_t b) {
  int32_t result = 0;
  Get("IsBusRouted" + Args({b}), result);
  return result;
}
int32_t RecordingMixer::IsBusOnOutput(int32_t b) {
  int32_t result = 0;
  Get("IsBusOnOutput" + Args({b}), result);
  return result;
}
int RecordingMixer::GetBusEffect(int32_t b, int32_t& e) {
  return Get("GetBusEffect" + Args({b}), e);
}
int RecordingMixer::GetBusOutput(int32_t b, int32_t& d, int32_t& p, int32_t& t) {
  const std::string call = "GetBusOutput" + Args({b});
  calls.push_back(call);
  if (failing.count(call) != 0) {
    return kMixerFailed;
  }
  auto answer = [&](const char* field) {
    const auto it = answers.find(call + field);
    return it == answers.end() ? 0 : it->second;
  };
  d = answer(".digital");
  p = answer(".pair");
  t = answer(".third");
  return kMixerOk;
}
int RecordingMixer::SetBusLevel(int32_t b, int32_t l) {
  return Set("SetBusLevel" + Args({b, l}));
}
int RecordingMixer::GetBusLevel(int32_t b, int32_t& l) {
  return Get("GetBusLevel" + Args({b}), l);
}
int RecordingMixer::SetRecordLevel(int32_t l) {
  return Set("SetRecordLevel" + Args({l}));
}
int RecordingMixer::GetRecordLevel(int32_t& l) {
  return Get("GetRecordLevel()", l);
}
int RecordingMixer::SetMasterMute(int32_t m) {
  return Set("SetMasterMute" + Args({m}));
}
int RecordingMixer::GetMasterMute(int32_t& m) {
  return Get("GetMasterMute()", m);
}
int RecordingMixer::SetSourceMute(int32_t t, int32_t i, int32_t m) {
  return Set("SetSourceMute" + Args({t, i, m}));
}
int RecordingMixer::GetSourceMute(int32_t t, int32_t i, int32_t& m) {
  return Get("GetSourceMute" + Args({t, i}), m);
}
int RecordingMixer::SetBusMute(int32_t b, int32_t m) {
  return Set("SetBusMute" + Args({b, m}));
}
int RecordingMixer::GetBusMute(int32_t b, int32_t& m) {
  return Get("GetBusMute" + Args({b}), m);
}
int RecordingMixer::SetRecordMute(int32_t m) {
  return Set("SetRecordMute" + Args({m}));
}
int RecordingMixer::GetRecordMute(int32_t& m) {
  return Get("GetRecordMute()", m);
}

} // namespace vantrel::test
