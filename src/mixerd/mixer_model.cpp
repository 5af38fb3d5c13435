#include "mixer_model.h"

namespace vantrel::mixerd {

using namespace mixer_dbus;

namespace {

constexpr int32_t kDefaultGain = 49152;
constexpr int32_t kCentre = 32768;

SourceState* FindSource(MixerState& state, int32_t type, int32_t index) {
  if (!IsValidSource(type, index)) {
    return nullptr;
  }
  return &state.sources[static_cast<std::size_t>(SourceSlot(type, index))];
}

SendState* FindSend(MixerState& state, int32_t type, int32_t index, int32_t send) {
  SourceState* source = FindSource(state, type, index);
  if (source == nullptr || !IsValidSend(send)) {
    return nullptr;
  }
  return &source->sends[static_cast<std::size_t>(send)];
}

BusState* FindBus(MixerState& state, int32_t bus) {
  return IsValidBus(bus) ? &state.buses[static_cast<std::size_t>(bus)] : nullptr;
}

// Stores `value` into `cell` after the range check; the common shape of the
// level, pan and gain setters.
InvokeResult StoreValue(int32_t* cell, int32_t value, bool& changed) {
  if (cell == nullptr || !IsValidValue(value)) {
    return InvokeResult::InvalidArgument;
  }
  changed = *cell != value;
  *cell = value;
  return InvokeResult::Ok;
}

InvokeResult LoadValue(const int32_t* cell, std::span<int32_t> out) {
  if (cell == nullptr) {
    return InvokeResult::InvalidArgument;
  }
  out[0] = *cell;
  return InvokeResult::Ok;
}

} // namespace

MixerState DefaultMixerState() {
  MixerState state;
  state.master.fill(kDefaultGain);
  for (SourceState& source : state.sources) {
    source.volume = kDefaultGain;
    source.pan = kCentre;
    source.sends[0] = {0, 0};
    source.sends[1] = {1, 0};
  }
  for (std::size_t bus = 0; bus < state.buses.size(); ++bus) {
    BusState& b = state.buses[bus];
    b.level = kDefaultGain;
    b.routed = true;
    b.effect = static_cast<int32_t>(bus);
  }
  // Aux 3 to A5+6, Aux 4 to A7+8: the two pairs after the main outputs.
  state.buses[2].onOutput = true;
  state.buses[2].pair = 2;
  state.buses[3].onOutput = true;
  state.buses[3].pair = 4;
  state.record = kCentre;
  return state;
}

bool IsValidMixerState(const MixerState& state) {
  for (int32_t gain : state.master) {
    if (!IsValidValue(gain)) {
      return false;
    }
  }
  for (const SourceState& source : state.sources) {
    if (!IsValidValue(source.volume) || !IsValidValue(source.pan)) {
      return false;
    }
    for (const SendState& send : source.sends) {
      if (!IsValidBus(send.bus) || !IsValidValue(send.level)) {
        return false;
      }
    }
  }
  for (const BusState& bus : state.buses) {
    if (!IsValidValue(bus.level) || !IsValidEffect(bus.effect) ||
        !IsValidOutputPair(bus.digital ? 1 : 0, bus.pair)) {
      return false;
    }
  }
  return IsValidValue(state.record);
}

InvokeResult Invoke(MixerState& state, Method method, std::span<const int32_t> in,
                    std::span<int32_t> out, bool& changed) {
  changed = false;
  const auto arg = [&](std::size_t i) { return in[i]; };
  switch (method) {
  case Method::SetMasterVolume:
    return StoreValue(IsValidChannel(arg(0)) ? &state.master[static_cast<std::size_t>(arg(0))]
                                             : nullptr,
                      arg(1), changed);
  case Method::GetMasterVolume:
    return LoadValue(
        IsValidChannel(arg(0)) ? &state.master[static_cast<std::size_t>(arg(0))] : nullptr, out);
  case Method::SetSourceVolume: {
    SourceState* source = FindSource(state, arg(0), arg(1));
    return StoreValue(source ? &source->volume : nullptr, arg(2), changed);
  }
  case Method::GetSourceVolume: {
    SourceState* source = FindSource(state, arg(0), arg(1));
    return LoadValue(source ? &source->volume : nullptr, out);
  }
  case Method::SetSourcePan: {
    SourceState* source = FindSource(state, arg(0), arg(1));
    return StoreValue(source ? &source->pan : nullptr, arg(2), changed);
  }
  case Method::GetSourcePan: {
    SourceState* source = FindSource(state, arg(0), arg(1));
    return LoadValue(source ? &source->pan : nullptr, out);
  }
  case Method::GetSendBus: {
    SendState* send = FindSend(state, arg(0), arg(1), arg(2));
    return LoadValue(send ? &send->bus : nullptr, out);
  }
  case Method::SetSendLevel: {
    SendState* send = FindSend(state, arg(0), arg(1), arg(2));
    return StoreValue(send ? &send->level : nullptr, arg(3), changed);
  }
  case Method::GetSendLevel: {
    SendState* send = FindSend(state, arg(0), arg(1), arg(2));
    return LoadValue(send ? &send->level : nullptr, out);
  }
  case Method::SetAuxEffect: {
    BusState* bus = FindBus(state, arg(0));
    if (bus == nullptr || !IsValidEffect(arg(1))) {
      return InvokeResult::InvalidArgument;
    }
    const BusState before = *bus;
    bus->effect = arg(1);
    bus->onOutput = false;
    bus->routed = true;
    changed = before.effect != bus->effect || before.onOutput || !before.routed;
    return InvokeResult::Ok;
  }
  case Method::IsBusRouted: {
    BusState* bus = FindBus(state, arg(0));
    if (bus == nullptr) {
      return InvokeResult::InvalidArgument;
    }
    out[0] = bus->routed ? 1 : 0;
    return InvokeResult::Ok;
  }
  case Method::IsBusOnOutput: {
    BusState* bus = FindBus(state, arg(0));
    if (bus == nullptr) {
      return InvokeResult::InvalidArgument;
    }
    out[0] = bus->onOutput ? 1 : 0;
    return InvokeResult::Ok;
  }
  case Method::GetBusEffect: {
    BusState* bus = FindBus(state, arg(0));
    return LoadValue(bus ? &bus->effect : nullptr, out);
  }
  case Method::GetBusOutput: {
    BusState* bus = FindBus(state, arg(0));
    if (bus == nullptr) {
      return InvokeResult::InvalidArgument;
    }
    out[0] = bus->digital ? 1 : 0;
    out[1] = bus->pair;
    out[2] = 0;
    return InvokeResult::Ok;
  }
  case Method::SetBusLevel: {
    BusState* bus = FindBus(state, arg(0));
    return StoreValue(bus ? &bus->level : nullptr, arg(1), changed);
  }
  case Method::GetBusLevel: {
    BusState* bus = FindBus(state, arg(0));
    return LoadValue(bus ? &bus->level : nullptr, out);
  }
  case Method::SetRecordLevel:
    return StoreValue(&state.record, arg(0), changed);
  case Method::GetRecordLevel:
    return LoadValue(&state.record, out);
  case Method::SetSendBus: {
    SendState* send = FindSend(state, arg(0), arg(1), arg(2));
    if (send == nullptr || !IsValidBus(arg(3))) {
      return InvokeResult::InvalidArgument;
    }
    changed = send->bus != arg(3);
    send->bus = arg(3);
    return InvokeResult::Ok;
  }
  case Method::SetBusRouted: {
    BusState* bus = FindBus(state, arg(0));
    if (bus == nullptr || (arg(1) != 0 && arg(1) != 1)) {
      return InvokeResult::InvalidArgument;
    }
    changed = bus->routed != (arg(1) == 1);
    bus->routed = arg(1) == 1;
    return InvokeResult::Ok;
  }
  case Method::SetBusOutput: {
    BusState* bus = FindBus(state, arg(0));
    if (bus == nullptr || !IsValidOutputPair(arg(1), arg(2))) {
      return InvokeResult::InvalidArgument;
    }
    const BusState before = *bus;
    bus->onOutput = true;
    bus->routed = true;
    bus->digital = arg(1) == 1;
    bus->pair = arg(2);
    changed = !before.onOutput || !before.routed || before.digital != bus->digital ||
              before.pair != bus->pair;
    return InvokeResult::Ok;
  }
  case Method::Count:
    break;
  }
  return InvokeResult::InvalidArgument;
}

} // namespace vantrel::mixerd
