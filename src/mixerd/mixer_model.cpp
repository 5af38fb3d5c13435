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
  for (const std::string& app : state.apps) {
    if (app.empty() || app.find('\n') != std::string::npos) {
      return false;
    }
  }
  return IsValidValue(state.record) && state.apps.size() <= kMaxNumberedApps;
}

namespace {

using In = std::span<const int32_t>;
using Out = std::span<int32_t>;
using Handler = InvokeResult (*)(MixerState&, In, Out, bool&);

int32_t* FindMaster(MixerState& state, int32_t channel) {
  return IsValidChannel(channel) ? &state.master[static_cast<std::size_t>(channel)] : nullptr;
}

int32_t* SourceCell(MixerState& state, In in, int32_t SourceState::*cell) {
  SourceState* source = FindSource(state, in[0], in[1]);
  return source != nullptr ? &(source->*cell) : nullptr;
}

int32_t* SendCell(MixerState& state, In in, int32_t SendState::*cell) {
  SendState* send = FindSend(state, in[0], in[1], in[2]);
  return send != nullptr ? &(send->*cell) : nullptr;
}

// Stores a flag (0 or 1 only) into `cell`.
InvokeResult StoreFlag(bool* cell, int32_t value, bool& changed) {
  if (cell == nullptr || !IsValidFlag(value)) {
    return InvokeResult::InvalidArgument;
  }
  changed = *cell != (value == 1);
  *cell = value == 1;
  return InvokeResult::Ok;
}

InvokeResult LoadFlag(const bool* cell, Out out) {
  if (cell == nullptr) {
    return InvokeResult::InvalidArgument;
  }
  out[0] = *cell ? 1 : 0;
  return InvokeResult::Ok;
}

bool* SourceMute(MixerState& state, In in) {
  SourceState* source = FindSource(state, in[0], in[1]);
  return source != nullptr ? &source->muted : nullptr;
}

bool* BusMute(MixerState& state, int32_t number) {
  BusState* bus = FindBus(state, number);
  return bus != nullptr ? &bus->muted : nullptr;
}

InvokeResult LoadFlag(const BusState* bus, bool BusState::*flag, Out out) {
  return LoadFlag(bus != nullptr ? &(bus->*flag) : nullptr, out);
}

// Sends a bus to its effect or to an output pair; both route it.
InvokeResult RouteBus(BusState* bus, bool onOutput, bool digital, int32_t pair, int32_t effect,
                      bool& changed) {
  const BusState before = *bus;
  bus->onOutput = onOutput;
  bus->routed = true;
  if (onOutput) {
    bus->digital = digital;
    bus->pair = pair;
  } else {
    bus->effect = effect;
  }
  changed = before != *bus;
  return InvokeResult::Ok;
}

struct MethodHandler {
  Method id;
  Handler run;
};

// One handler per method of the interface, in the order of the method table.
constexpr std::array<MethodHandler, kMethodCount> kHandlers = {{
    {Method::SetMasterVolume,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreValue(FindMaster(s, in[0]), in[1], changed);
     }},
    {Method::GetMasterVolume,
     [](MixerState& s, In in, Out out, bool&) { return LoadValue(FindMaster(s, in[0]), out); }},
    {Method::SetSourceVolume,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreValue(SourceCell(s, in, &SourceState::volume), in[2], changed);
     }},
    {Method::GetSourceVolume,
     [](MixerState& s, In in, Out out, bool&) {
       return LoadValue(SourceCell(s, in, &SourceState::volume), out);
     }},
    {Method::SetSourcePan,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreValue(SourceCell(s, in, &SourceState::pan), in[2], changed);
     }},
    {Method::GetSourcePan,
     [](MixerState& s, In in, Out out, bool&) {
       return LoadValue(SourceCell(s, in, &SourceState::pan), out);
     }},
    {Method::GetSendBus,
     [](MixerState& s, In in, Out out, bool&) {
       return LoadValue(SendCell(s, in, &SendState::bus), out);
     }},
    {Method::SetSendLevel,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreValue(SendCell(s, in, &SendState::level), in[3], changed);
     }},
    {Method::GetSendLevel,
     [](MixerState& s, In in, Out out, bool&) {
       return LoadValue(SendCell(s, in, &SendState::level), out);
     }},
    {Method::SetAuxEffect,
     [](MixerState& s, In in, Out, bool& changed) {
       BusState* bus = FindBus(s, in[0]);
       if (bus == nullptr || !IsValidEffect(in[1])) {
         return InvokeResult::InvalidArgument;
       }
       return RouteBus(bus, false, false, 0, in[1], changed);
     }},
    {Method::IsBusRouted,
     [](MixerState& s, In in, Out out, bool&) {
       return LoadFlag(FindBus(s, in[0]), &BusState::routed, out);
     }},
    {Method::IsBusOnOutput,
     [](MixerState& s, In in, Out out, bool&) {
       return LoadFlag(FindBus(s, in[0]), &BusState::onOutput, out);
     }},
    {Method::GetBusEffect,
     [](MixerState& s, In in, Out out, bool&) {
       BusState* bus = FindBus(s, in[0]);
       return LoadValue(bus != nullptr ? &bus->effect : nullptr, out);
     }},
    {Method::GetBusOutput,
     [](MixerState& s, In in, Out out, bool&) {
       const InvokeResult result = LoadFlag(FindBus(s, in[0]), &BusState::digital, out);
       if (result == InvokeResult::Ok) {
         out[1] = FindBus(s, in[0])->pair;
         out[2] = 0;
       }
       return result;
     }},
    {Method::SetBusLevel,
     [](MixerState& s, In in, Out, bool& changed) {
       BusState* bus = FindBus(s, in[0]);
       return StoreValue(bus != nullptr ? &bus->level : nullptr, in[1], changed);
     }},
    {Method::GetBusLevel,
     [](MixerState& s, In in, Out out, bool&) {
       BusState* bus = FindBus(s, in[0]);
       return LoadValue(bus != nullptr ? &bus->level : nullptr, out);
     }},
    {Method::SetRecordLevel,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreValue(&s.record, in[0], changed);
     }},
    {Method::GetRecordLevel,
     [](MixerState& s, In, Out out, bool&) { return LoadValue(&s.record, out); }},
    {Method::SetSendBus,
     [](MixerState& s, In in, Out, bool& changed) {
       int32_t* bus = SendCell(s, in, &SendState::bus);
       if (bus == nullptr || !IsValidBus(in[3])) {
         return InvokeResult::InvalidArgument;
       }
       changed = *bus != in[3];
       *bus = in[3];
       return InvokeResult::Ok;
     }},
    {Method::SetBusRouted,
     [](MixerState& s, In in, Out, bool& changed) {
       BusState* bus = FindBus(s, in[0]);
       return StoreFlag(bus != nullptr ? &bus->routed : nullptr, in[1], changed);
     }},
    {Method::SetBusOutput,
     [](MixerState& s, In in, Out, bool& changed) {
       BusState* bus = FindBus(s, in[0]);
       if (bus == nullptr || !IsValidOutputPair(in[1], in[2])) {
         return InvokeResult::InvalidArgument;
       }
       return RouteBus(bus, true, in[1] == 1, in[2], 0, changed);
     }},
    {Method::SetMasterMute,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreFlag(&s.masterMuted, in[0], changed);
     }},
    {Method::GetMasterMute,
     [](MixerState& s, In, Out out, bool&) { return LoadFlag(&s.masterMuted, out); }},
    {Method::SetSourceMute,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreFlag(SourceMute(s, in), in[2], changed);
     }},
    {Method::GetSourceMute,
     [](MixerState& s, In in, Out out, bool&) { return LoadFlag(SourceMute(s, in), out); }},
    {Method::SetBusMute,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreFlag(BusMute(s, in[0]), in[1], changed);
     }},
    {Method::GetBusMute,
     [](MixerState& s, In in, Out out, bool&) { return LoadFlag(BusMute(s, in[0]), out); }},
    {Method::SetRecordMute,
     [](MixerState& s, In in, Out, bool& changed) {
       return StoreFlag(&s.recordMuted, in[0], changed);
     }},
    {Method::GetRecordMute,
     [](MixerState& s, In, Out out, bool&) { return LoadFlag(&s.recordMuted, out); }},
}};

constexpr bool HandlersFollowEnum() {
  for (std::size_t i = 0; i < kMethodCount; ++i) {
    if (static_cast<std::size_t>(kHandlers[i].id) != i) {
      return false;
    }
  }
  return true;
}
static_assert(HandlersFollowEnum(), "kHandlers must list the methods in enum order");

} // namespace

InvokeResult Invoke(MixerState& state, Method method, std::span<const int32_t> in,
                    std::span<int32_t> out, bool& changed) {
  changed = false;
  if (static_cast<std::size_t>(method) >= kMethodCount) {
    return InvokeResult::InvalidArgument;
  }
  return kHandlers[static_cast<std::size_t>(method)].run(state, in, out, changed);
}

} // namespace vantrel::mixerd
