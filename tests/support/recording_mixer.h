#pragma once
// An in-process mixer for unit tests: records every call as text, e.g.
// "SetBusLevel(2, 65532)" or "GetSendBus(4, 1, 0)", and answers getters from
// a table keyed by the call without its out-arguments. A getter whose key is
// in `failing` fails without writing, as a real failed call does.

#include "mixer/mixer_server.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vantrel::test {

class RecordingMixer : public IMixerServer {
public:
  std::vector<std::string> calls;
  // Answers: "GetBusLevel(0)" -> 1234. GetBusOutput answers three values via
  // "GetBusOutput(2).digital", ".pair" and ".third".
  std::map<std::string, int32_t> answers;
  std::set<std::string> failing;

  void Clear() { calls.clear(); }

  int SetMasterVolume(int32_t channel, int32_t gain) override;
  int GetMasterVolume(int32_t channel, int32_t& gain) override;
  int SetSourceVolume(int32_t type, int32_t index, int32_t gain) override;
  int GetSourceVolume(int32_t type, int32_t index, int32_t& gain) override;
  int SetSourcePan(int32_t type, int32_t index, int32_t pan) override;
  int GetSourcePan(int32_t type, int32_t index, int32_t& pan) override;
  int GetSendBus(int32_t type, int32_t index, int32_t send, int32_t& bus) override;
  int SetSendLevel(int32_t type, int32_t index, int32_t send, int32_t level) override;
  int GetSendLevel(int32_t type, int32_t index, int32_t send, int32_t& level) override;
  int SetAuxEffect(int32_t aux, int32_t effect) override;
  int32_t IsBusRouted(int32_t bus) override;
  int32_t IsBusOnOutput(int32_t bus) override;
  int GetBusEffect(int32_t bus, int32_t& effect) override;
  int GetBusOutput(int32_t bus, int32_t& digital, int32_t& pair, int32_t& third) override;
  int SetBusLevel(int32_t bus, int32_t level) override;
  int GetBusLevel(int32_t bus, int32_t& level) override;
  int SetRecordLevel(int32_t level) override;
  int GetRecordLevel(int32_t& level) override;
  int SetMasterMute(int32_t muted) override;
  int GetMasterMute(int32_t& muted) override;
  int SetSourceMute(int32_t type, int32_t index, int32_t muted) override;
  int GetSourceMute(int32_t type, int32_t index, int32_t& muted) override;
  int SetBusMute(int32_t bus, int32_t muted) override;
  int GetBusMute(int32_t bus, int32_t& muted) override;
  int SetRecordMute(int32_t muted) override;
  int GetRecordMute(int32_t& muted) override;

private:
  int Set(std::string call);
  int Get(std::string call, int32_t& out);
};

} // namespace vantrel::test
