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
InvokeResult Store(int32_t* cell, int32_t value, bool& changed) {
  if (cell == nullptr || !IsValidValue(value)) {
    return InvokeResult::InvalidArgument;
  }
  changed = *cell != value;
  *cell = value;
  return InvokeResult::Ok;
}

InvokeResult Load(const int32_t* cell, std::span<int32_t> out) {
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

// The cells the methods read and write, found from a call's arguments;
// nullptr when an argument is out of range.
int32_t* MasterCell(MixerState& state, In in) {
  return IsValidChannel(in[0]) ? &state.master[static_cast<std::size_t>(in[0])] : nullptr;
}

template <int32_t SourceState::*Cell> int32_t* SourceCell(MixerState& state, In in) {
  SourceState* source = FindSource(state, in[0], in[1]);
  return source != nullptr ? &(source->*Cell) : nullptr;
}

template <int32_t SendState::*Cell> int32_t* SendCell(MixerState& state, In in) {
  SendState* send = FindSend(state, in[0], in[1], in[2]);
  return send != nullptr ? &(send->*Cell) : nullptr;
}

template <typename T, T BusState::*Cell> T* BusCell(MixerState& state, In in) {
  BusState* bus = FindBus(state, in[0]);
  return bus != nullptr ? &(bus->*Cell) : nullptr;
}

int32_t* RecordCell(MixerState& state, In) {
  return &state.record;
}

bool* MasterMuteCell(MixerState& state, In) {
  return &state.masterMuted;
}

bool* SourceMuteCell(MixerState& state, In in) {
  SourceState* source = FindSource(state, in[0], in[1]);
  return source != nullptr ? &source->muted : nullptr;
}

bool* RecordMuteCell(MixerState& state, In) {
  return &state.recordMuted;
}

// Stores a flag (0 or 1 only) into `cell`.
InvokeResult Store(bool* cell, int32_t value, bool& changed) {
  if (cell == nullptr || !IsValidFlag(value)) {
    return InvokeResult::InvalidArgument;
  }
  changed = *cell != (value == 1);
  *cell = value == 1;
  return InvokeResult::Ok;
}

InvokeResult Load(const bool* cell, Out out) {
  if (cell == nullptr) {
    return InvokeResult::InvalidArgument;
  }
  out[0] = *cell ? 1 : 0;
  return InvokeResult::Ok;
}

// The handlers of a method that sets or gets one cell (an int32_t value or
// a flag); a setter's new value is its argument `Arg`.
template <auto Cell, std::size_t Arg>
InvokeResult SetCell(MixerState& s, In in, Out, bool& changed) {
  return Store(Cell(s, in), in[Arg], changed);
}

template <auto Cell> InvokeResult GetCell(MixerState& s, In in, Out out, bool&) {
  return Load(Cell(s, in), out);
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

constexpr auto kBusLevel = BusCell<int32_t, &BusState::level>;
constexpr auto kBusEffect = BusCell<int32_t, &BusState::effect>;
constexpr auto kBusRouted = BusCell<bool, &BusState::routed>;
constexpr auto kBusOnOutput = BusCell<bool, &BusState::onOutput>;
constexpr auto kBusDigital = BusCell<bool, &BusState::digital>;
constexpr auto kBusMuted = BusCell<bool, &BusState::muted>;

struct MethodHandler {
  Method id;
  Handler run;
};

// One handler per method of the interface, in the order of the method table.
constexpr std::array<MethodHandler, kMethodCount> kHandlers = {{
    {Method::SetMasterVolume, SetCell<MasterCell, 1>},
    {Method::GetMasterVolume, GetCell<MasterCell>},
    {Method::SetSourceVolume, SetCell<SourceCell<&SourceState::volume>, 2>},
    {Method::GetSourceVolume, GetCell<SourceCell<&SourceState::volume>>},
    {Method::SetSourcePan, SetCell<SourceCell<&SourceState::pan>, 2>},
    {Method::GetSourcePan, GetCell<SourceCell<&SourceState::pan>>},
    {Method::GetSendBus, GetCell<SendCell<&SendState::bus>>},
    {Method::SetSendLevel, SetCell<SendCell<&SendState::level>, 3>},
    {Method::GetSendLevel, GetCell<SendCell<&SendState::level>>},
    {Method::SetAuxEffect,
     [](MixerState& s, In in, Out, bool& changed) {
       BusState* bus = FindBus(s, in[0]);
       if (bus == nullptr || !IsValidEffect(in[1])) {
         return InvokeResult::InvalidArgument;
       }
       return RouteBus(bus, false, false, 0, in[1], changed);
     }},
    {Method::IsBusRouted, GetCell<kBusRouted>},
    {Method::IsBusOnOutput, GetCell<kBusOnOutput>},
    {Method::GetBusEffect, GetCell<kBusEffect>},
    {Method::GetBusOutput,
     [](MixerState& s, In in, Out out, bool&) {
       const InvokeResult result = Load(kBusDigital(s, in), out);
       if (result == InvokeResult::Ok) {
         out[1] = FindBus(s, in[0])->pair;
         out[2] = 0;
       }
       return result;
     }},
    {Method::SetBusLevel, SetCell<kBusLevel, 1>},
    {Method::GetBusLevel, GetCell<kBusLevel>},
    {Method::SetRecordLevel, SetCell<RecordCell, 0>},
    {Method::GetRecordLevel, GetCell<RecordCell>},
    {Method::SetSendBus,
     [](MixerState& s, In in, Out, bool& changed) {
       int32_t* bus = SendCell<&SendState::bus>(s, in);
       if (bus == nullptr || !IsValidBus(in[3])) {
         return InvokeResult::InvalidArgument;
       }
       changed = *bus != in[3];
       *bus = in[3];
       return InvokeResult::Ok;
     }},
    {Method::SetBusRouted, SetCell<kBusRouted, 1>},
    {Method::SetBusOutput,
     [](MixerState& s, In in, Out, bool& changed) {
       BusState* bus = FindBus(s, in[0]);
       if (bus == nullptr || !IsValidOutputPair(in[1], in[2])) {
         return InvokeResult::InvalidArgument;
       }
       return RouteBus(bus, true, in[1] == 1, in[2], 0, changed);
     }},
    {Method::SetMasterMute, SetCell<MasterMuteCell, 0>},
    {Method::GetMasterMute, GetCell<MasterMuteCell>},
    {Method::SetSourceMute, SetCell<SourceMuteCell, 2>},
    {Method::GetSourceMute, GetCell<SourceMuteCell>},
    {Method::SetBusMute, SetCell<kBusMuted, 1>},
    {Method::GetBusMute, GetCell<kBusMuted>},
    {Method::SetRecordMute, SetCell<RecordMuteCell, 0>},
    {Method::GetRecordMute, GetCell<RecordMuteCell>},
}};

static_assert(FollowsMethodOrder(kHandlers), "kHandlers must list the methods in enum order");

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
