#include "support/recording_mixer.h"

namespace vantrel::test {

namespace {
// "SetBusLevel(2, 65532)": the method's name and its arguments.
std::string CallText(mixer_dbus::Method method, std::initializer_list<int32_t> args) {
  std::string text;
  for (int32_t v : args) {
    if (!text.empty()) {
      text += ", ";
    }
    text += std::to_string(v);
  }
  return std::string(mixer_dbus::Info(method).name) + "(" + text + ")";
}
} // namespace

int RecordingMixer::Set(mixer_dbus::Method method, std::initializer_list<int32_t> args) {
  calls.push_back(CallText(method, args));
  return kMixerOk;
}

int RecordingMixer::Get(mixer_dbus::Method method, std::initializer_list<int32_t> args,
                        std::initializer_list<int32_t*> out) {
  const std::string call = CallText(method, args);
  calls.push_back(call);
  if (failing.count(call) != 0) {
    return kMixerFailed;
  }
  // A getter of several results keys each by its name in the method table.
  const auto& names = mixer_dbus::Info(method).outputs;
  std::size_t i = 0;
  for (int32_t* cell : out) {
    const std::string key = out.size() == 1 ? call : call + "." + std::string(names[i]);
    const auto it = answers.find(key);
    *cell = it == answers.end() ? 0 : it->second;
    ++i;
  }
  return kMixerOk;
}

} // namespace vantrel::test
