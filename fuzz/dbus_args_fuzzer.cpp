// The mixer server's argument checks: any sequence of calls with any
// arguments leaves a state the interface could have set; a refused call
// changes nothing, and "changed" says exactly whether anything changed.
//
// Input: calls, each a method number and its arguments (near the valid
// ranges most of the time, anything at all otherwise).

#include "mixer_model.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdlib>

namespace {

int32_t Argument(FuzzedDataProvider& input) {
  return input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-2, 70000)
                             : input.ConsumeIntegral<int32_t>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vantrel::mixerd;
  using namespace vantrel::mixer_dbus;
  FuzzedDataProvider input(data, size);
  MixerState state = DefaultMixerState();
  while (input.remaining_bytes() > 0) {
    const auto method =
        static_cast<Method>(input.ConsumeIntegralInRange<std::size_t>(0, kMethodCount - 1));
    const MethodInfo& info = Info(method);
    std::array<int32_t, kMaxInputs> in{};
    std::array<int32_t, kMaxOutputs> out{};
    for (std::size_t i = 0; i < info.inputCount; ++i) {
      in[i] = Argument(input);
    }
    const MixerState before = state;
    bool changed = false;
    const InvokeResult result = Invoke(state, method, std::span(in.data(), info.inputCount),
                                       std::span(out.data(), info.outputCount), changed);
    if (!IsValidMixerState(state) || changed != !(state == before) ||
        (result == InvokeResult::InvalidArgument && changed)) {
      std::abort();
    }
  }
  return 0;
}
