#pragma once
// The program's own picture of the mixer: every value the getters can read
// (mixer_values.h), filled by the server's whole-state answer and kept
// current by the program's own setters and the server's ValuesChanged
// signal. Getters answer from here without waiting on the bus.
//
// Echoes: each setter the program writes counts as "in flight" on its
// primary value until the server's answer with the program's own origin
// comes back. While a value has setters in flight, what the server says
// of it is older than what the program set and is not taken; the answer to
// the last one in flight is the server's word and is taken. So a sweep is
// never pulled back by its own echoes, and a change made elsewhere shows
// once the program's own setters of that value have landed.
//
// The values outlive the server and the bus: a server that goes away
// leaves the last values, and a new one's answer replaces them.
// Dialog thread only.

#include "mixer/mixer_values.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <span>

namespace vantrel {

class CMixerMirror {
public:
  using Slots = std::bitset<mixer_dbus::kValueCount>;

  // The value of a slot, or nullopt before anything was heard of it.
  std::optional<mixer_dbus::ValueResults> Get(std::size_t slot) const;
  // Whether a whole-state answer has arrived since the last Forget().
  bool HasState() const { return m_hasState; }

  // The program set a value: the mirror shows it at once. SetAuxEffect and
  // SetBusOutput also route the bus there, as the server does.
  void NoteOwnSet(mixer_dbus::Method setter, std::span<const int32_t> args);
  // The program's setter left for the server: its answer is awaited.
  void NoteWritten(mixer_dbus::Method setter, std::span<const int32_t> args);

  // The server's whole state. Values with setters in flight keep the
  // program's value.
  void ApplyState(std::size_t slot, const mixer_dbus::ValueResults& results);
  void FinishState() { m_hasState = true; }
  // One ValuesChanged entry; `own` when its origin is this program.
  void ApplyChange(std::size_t slot, const mixer_dbus::ValueResults& results, bool own);

  // The server went away: nothing in flight will be answered, and a new
  // server's state is awaited. The values stay.
  void ForgetServer();

  // Slots whose value changed by anything but the program's own setters
  // since the last call. Clears them.
  Slots TakeChanged();
  bool HasChanges() const { return m_changed.any(); }

private:
  struct Value {
    mixer_dbus::ValueResults results{};
    bool known = false;
    uint32_t inFlight = 0;
  };

  void Take(std::size_t slot, const mixer_dbus::ValueResults& results);
  void SetLocally(std::size_t slot, const mixer_dbus::ValueResults& results);

  std::array<Value, mixer_dbus::kValueCount> m_values{};
  Slots m_changed;
  bool m_hasState = false;
};

} // namespace vantrel
