#include "mixer/mixer_mirror.h"

#include <utility>

namespace vantrel {

using namespace mixer_dbus;

std::optional<ValueResults> CMixerMirror::Get(std::size_t slot) const {
  if (slot >= m_values.size() || !m_values[slot].known) {
    return std::nullopt;
  }
  return m_values[slot].results;
}

void CMixerMirror::SetLocally(std::size_t slot, const ValueResults& results) {
  m_values[slot].results = results;
  m_values[slot].known = true;
}

void CMixerMirror::NoteOwnSet(Method setter, std::span<const int32_t> args) {
  const auto key = PrimaryValueOf(setter, args);
  const auto slot = key ? ValueSlot(*key) : std::nullopt;
  if (!slot) {
    return;
  }
  SetLocally(*slot, ResultsAfterSet(setter, args, m_values[*slot].results));
  // Choosing an effect or an output also routes the bus there.
  if (setter == Method::SetAuxEffect || setter == Method::SetBusOutput) {
    const std::array<int32_t, 1> bus{args[0]};
    SetLocally(*ValueSlot(Method::IsBusRouted, bus), {1, 0, 0});
    SetLocally(*ValueSlot(Method::IsBusOnOutput, bus),
               {setter == Method::SetBusOutput ? 1 : 0, 0, 0});
  }
}

void CMixerMirror::NoteWritten(Method setter, std::span<const int32_t> args) {
  const auto key = PrimaryValueOf(setter, args);
  if (const auto slot = key ? ValueSlot(*key) : std::nullopt) {
    ++m_values[*slot].inFlight;
  }
}

void CMixerMirror::Take(std::size_t slot, const ValueResults& results) {
  Value& value = m_values[slot];
  if (!value.known || value.results != results) {
    m_changed.set(slot);
  }
  value.results = results;
  value.known = true;
}

void CMixerMirror::ApplyState(std::size_t slot, const ValueResults& results) {
  if (slot < m_values.size() && m_values[slot].inFlight == 0) {
    Take(slot, results);
  }
}

void CMixerMirror::ApplyChange(std::size_t slot, const ValueResults& results, bool own) {
  if (slot >= m_values.size()) {
    return;
  }
  Value& value = m_values[slot];
  if (own && value.inFlight > 0) {
    // The answer to the last setter in flight is the server's word on it.
    if (--value.inFlight == 0) {
      Take(slot, results);
    }
    return;
  }
  if (value.inFlight == 0) {
    Take(slot, results);
  }
}

void CMixerMirror::ForgetServer() {
  for (Value& value : m_values) {
    value.inFlight = 0;
  }
  m_hasState = false;
}

CMixerMirror::Slots CMixerMirror::TakeChanged() {
  return std::exchange(m_changed, Slots{});
}

} // namespace vantrel
