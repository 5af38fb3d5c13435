// The mixer server's state file: any text is either refused or gives a valid
// state that is written and read back unchanged.

#include "mixer_state_file.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vantrel::mixerd;
  const std::string text(reinterpret_cast<const char*>(data), size);
  MixerState state = DefaultMixerState();
  std::string message;
  if (!ParseState(text, state, message)) {
    if (message.empty() || !(state == DefaultMixerState())) {
      std::abort();
    }
    return 0;
  }
  if (!IsValidMixerState(state)) {
    std::abort();
  }
  MixerState again;
  if (!ParseState(FormatState(state), again, message) || !(again == state)) {
    std::abort();
  }
  return 0;
}
