#pragma once
// An in-process mixer for unit tests: records every call as text, e.g.
// "SetBusLevel(2, 65532)" or "GetSendBus(4, 1, 0)", and answers getters from
// a table keyed by the call without its out-arguments. A getter whose key is
// in `failing` fails without writing, as a real failed call does.

#include "mixer/method_mixer_server.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vantrel::test {

class RecordingMixer : public CMethodMixerServer {
public:
  std::vector<std::string> calls;
  // Answers: "GetBusLevel(0)" -> 1234. GetBusOutput answers three values via
  // "GetBusOutput(2).digital", ".pair" and ".third".
  std::map<std::string, int32_t> answers;
  std::set<std::string> failing;

  void Clear() { calls.clear(); }

protected:
  int Set(mixer_dbus::Method method, std::initializer_list<int32_t> args) override;
  int Get(mixer_dbus::Method method, std::initializer_list<int32_t> args,
          std::initializer_list<int32_t*> out) override;
};

} // namespace vantrel::test
