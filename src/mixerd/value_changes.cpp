#include "value_changes.h"

#include <optional>
#include <utility>

namespace vantrel::mixerd {

using namespace mixer_dbus;

ValueResults ReadValue(MixerState& state, const ValueKey& key) {
  const MethodInfo& info = Info(key.getter);
  ValueResults results{};
  bool changed = false;
  Invoke(state, key.getter, std::span(key.args.data(), info.inputCount),
         std::span(results.data(), info.outputCount), changed);
  return results;
}

ValueChangeLog::ValueChangeLog(MixerState announced) {
  for (std::size_t slot = 0; slot < kValueCount; ++slot) {
    m_announced[slot] = ReadValue(announced, KeyOfSlot(slot));
  }
}

void ValueChangeLog::AddSetter(MixerState& state, Method setter, std::span<const int32_t> args,
                               std::string origin) {
  const std::optional<ValueKey> key = PrimaryValueOf(setter, args);
  const std::optional<std::size_t> slot = key ? ValueSlot(*key) : std::nullopt;
  if (!slot) {
    return;
  }
  const ValueResults results = ReadValue(state, *key);
  // Announced here, so the comparison in Take does not repeat it.
  m_announced[*slot] = results;
  m_entries.push_back({*key, results, std::move(origin)});
}

std::vector<ValueChange> ValueChangeLog::Take(MixerState& state) {
  for (std::size_t slot = 0; slot < kValueCount; ++slot) {
    const ValueKey key = KeyOfSlot(slot);
    const ValueResults results = ReadValue(state, key);
    if (results != m_announced[slot]) {
      m_announced[slot] = results;
      m_entries.push_back({key, results, {}});
    }
  }
  return std::exchange(m_entries, {});
}

} // namespace vantrel::mixerd
