#pragma once
// What the ValuesChanged signal carries, collected between two emissions:
// one entry per setter applied for a caller, in order, then whatever else
// differs from the values last announced. The log keeps those values (a
// snapshot of every slot) so each change is announced once.

#include "mixer/mixer_values.h"
#include "mixer_model.h"

#include <span>
#include <string>
#include <vector>

namespace vantrel::mixerd {

// The most entries one ValuesChanged signal carries; a longer burst goes out
// as several signals, in order.
inline constexpr std::size_t kMaxValuesPerSignal = 4096;

struct ValueChange {
  mixer_dbus::ValueKey key;
  mixer_dbus::ValueResults results{};
  std::string origin; // the caller's unique bus name; empty for other changes
};

// The results of the getter `key` names (unused ones 0).
mixer_dbus::ValueResults ReadValue(MixerState& state, const mixer_dbus::ValueKey& key);

class ValueChangeLog {
public:
  // `announced` is what listeners are taken to know already.
  explicit ValueChangeLog(MixerState announced);

  // The setter (valid, already applied to `state`) ran for `origin`: its
  // primary value joins the log as it is now, changed or not.
  void AddSetter(MixerState& state, mixer_dbus::Method setter, std::span<const int32_t> args,
                 std::string origin);

  // Entries waiting to be taken.
  std::size_t Pending() const { return m_entries.size(); }

  // Everything since the last call: the setters' entries, then every other
  // value of `state` that differs from the last announced, origin empty.
  std::vector<ValueChange> Take(MixerState& state);

private:
  std::array<mixer_dbus::ValueResults, mixer_dbus::kValueCount> m_announced{};
  std::vector<ValueChange> m_entries;
};

} // namespace vantrel::mixerd
