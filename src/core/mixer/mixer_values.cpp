#include "mixer/mixer_values.h"

#include <algorithm>

namespace vantrel::mixer_dbus {

namespace {

// How a getter's arguments are laid out: one block of slots per getter.
enum class ArgShape : uint8_t { None, Channel, Source, SourceSend, Bus };

struct GetterBlock {
  Method getter;
  ArgShape shape;
};

// The getters in slot order.
constexpr std::array<GetterBlock, 15> kBlocks = {{
    {Method::GetMasterVolume, ArgShape::Channel},
    {Method::GetSourceVolume, ArgShape::Source},
    {Method::GetSourcePan, ArgShape::Source},
    {Method::GetSendBus, ArgShape::SourceSend},
    {Method::GetSendLevel, ArgShape::SourceSend},
    {Method::IsBusRouted, ArgShape::Bus},
    {Method::IsBusOnOutput, ArgShape::Bus},
    {Method::GetBusEffect, ArgShape::Bus},
    {Method::GetBusOutput, ArgShape::Bus},
    {Method::GetBusLevel, ArgShape::Bus},
    {Method::GetRecordLevel, ArgShape::None},
    {Method::GetMasterMute, ArgShape::None},
    {Method::GetSourceMute, ArgShape::Source},
    {Method::GetBusMute, ArgShape::Bus},
    {Method::GetRecordMute, ArgShape::None},
}};

constexpr std::size_t BlockSize(ArgShape shape) {
  switch (shape) {
  case ArgShape::None:
    return 1;
  case ArgShape::Channel:
    return kChannelCount;
  case ArgShape::Source:
    return kSourceCount;
  case ArgShape::SourceSend:
    return static_cast<std::size_t>(kSourceCount * kSendCount);
  case ArgShape::Bus:
    return kBusCount;
  }
  return 0;
}

constexpr std::size_t TotalSlots() {
  std::size_t total = 0;
  for (const GetterBlock& block : kBlocks) {
    total += BlockSize(block.shape);
  }
  return total;
}
static_assert(TotalSlots() == kValueCount, "kValueCount must cover every getter's arguments");

// The source (type, index) at flat position `slot` 0..12.
std::array<int32_t, 2> SourceAt(int32_t slot) {
  int32_t type = 0;
  while (slot >= kSourcesPerType[static_cast<std::size_t>(type)]) {
    slot -= kSourcesPerType[static_cast<std::size_t>(type)];
    ++type;
  }
  return {type, slot};
}

// Position of the arguments inside their block, or nullopt when invalid.
std::optional<std::size_t> OffsetInBlock(ArgShape shape, std::span<const int32_t> a) {
  switch (shape) {
  case ArgShape::None:
    return 0;
  case ArgShape::Channel:
    return IsValidChannel(a[0]) ? std::optional<std::size_t>(a[0]) : std::nullopt;
  case ArgShape::Source:
    return IsValidSource(a[0], a[1]) ? std::optional<std::size_t>(SourceSlot(a[0], a[1]))
                                     : std::nullopt;
  case ArgShape::SourceSend:
    if (!IsValidSource(a[0], a[1]) || !IsValidSend(a[2])) {
      return std::nullopt;
    }
    return static_cast<std::size_t>(SourceSlot(a[0], a[1]) * kSendCount + a[2]);
  case ArgShape::Bus:
    return IsValidBus(a[0]) ? std::optional<std::size_t>(a[0]) : std::nullopt;
  }
  return std::nullopt;
}

} // namespace

std::optional<std::size_t> ValueSlot(Method getter, std::span<const int32_t> args) {
  std::size_t base = 0;
  for (const GetterBlock& block : kBlocks) {
    if (block.getter == getter) {
      if (args.size() != Info(getter).inputCount) {
        return std::nullopt;
      }
      const std::optional<std::size_t> offset = OffsetInBlock(block.shape, args);
      return offset ? std::optional<std::size_t>(base + *offset) : std::nullopt;
    }
    base += BlockSize(block.shape);
  }
  return std::nullopt;
}

ValueKey KeyOfSlot(std::size_t slot) {
  for (const GetterBlock& block : kBlocks) {
    const std::size_t size = BlockSize(block.shape);
    if (slot >= size) {
      slot -= size;
      continue;
    }
    ValueKey key{block.getter, {}};
    const auto offset = static_cast<int32_t>(slot);
    switch (block.shape) {
    case ArgShape::None:
      break;
    case ArgShape::Channel:
    case ArgShape::Bus:
      key.args[0] = offset;
      break;
    case ArgShape::Source: {
      const auto [type, index] = SourceAt(offset);
      key.args = {type, index, 0, 0};
      break;
    }
    case ArgShape::SourceSend: {
      const auto [type, index] = SourceAt(offset / kSendCount);
      key.args = {type, index, offset % kSendCount, 0};
      break;
    }
    }
    return key;
  }
  return {};
}

std::optional<ValueKey> PrimaryValueOf(Method setter, std::span<const int32_t> args) {
  // The getter that reads what the setter writes, and how many of the
  // setter's leading arguments address it.
  Method getter{};
  std::size_t addressCount = 0;
  switch (setter) {
  case Method::SetMasterVolume:
    getter = Method::GetMasterVolume, addressCount = 1;
    break;
  case Method::SetSourceVolume:
    getter = Method::GetSourceVolume, addressCount = 2;
    break;
  case Method::SetSourcePan:
    getter = Method::GetSourcePan, addressCount = 2;
    break;
  case Method::SetSendLevel:
    getter = Method::GetSendLevel, addressCount = 3;
    break;
  case Method::SetSendBus:
    getter = Method::GetSendBus, addressCount = 3;
    break;
  case Method::SetAuxEffect:
    getter = Method::GetBusEffect, addressCount = 1;
    break;
  case Method::SetBusRouted:
    getter = Method::IsBusRouted, addressCount = 1;
    break;
  case Method::SetBusOutput:
    getter = Method::GetBusOutput, addressCount = 1;
    break;
  case Method::SetBusLevel:
    getter = Method::GetBusLevel, addressCount = 1;
    break;
  case Method::SetRecordLevel:
    getter = Method::GetRecordLevel, addressCount = 0;
    break;
  case Method::SetMasterMute:
    getter = Method::GetMasterMute, addressCount = 0;
    break;
  case Method::SetSourceMute:
    getter = Method::GetSourceMute, addressCount = 2;
    break;
  case Method::SetBusMute:
    getter = Method::GetBusMute, addressCount = 1;
    break;
  case Method::SetRecordMute:
    getter = Method::GetRecordMute, addressCount = 0;
    break;
  default:
    return std::nullopt;
  }
  if (args.size() < addressCount) {
    return std::nullopt;
  }
  ValueKey key{getter, {}};
  for (std::size_t i = 0; i < addressCount; ++i) {
    key.args[i] = args[i];
  }
  return key;
}

std::optional<SlotValue> ParseValueEntry(std::string_view getter, std::span<const int32_t> args,
                                         std::span<const int32_t> results) {
  const MethodInfo* info = FindMethod(getter);
  if (info == nullptr || info->IsSetter() || results.size() != info->outputCount) {
    return std::nullopt;
  }
  const auto slot = ValueSlot(info->id, args);
  if (!slot) {
    return std::nullopt;
  }
  SlotValue value{*slot, {}};
  std::copy(results.begin(), results.end(), value.results.begin());
  return value;
}

ValueResults ResultsAfterSet(Method setter, std::span<const int32_t> args,
                             const ValueResults& before) {
  ValueResults results = before;
  if (args.empty()) {
    return results;
  }
  if (setter == Method::SetBusOutput && args.size() == 3) {
    results[0] = args[1];
    results[1] = args[2];
    return results;
  }
  const bool flag = setter == Method::SetBusRouted || setter == Method::SetMasterMute ||
                    setter == Method::SetSourceMute || setter == Method::SetBusMute ||
                    setter == Method::SetRecordMute;
  results[0] = flag ? (args.back() != 0 ? 1 : 0) : args.back();
  return results;
}

} // namespace vantrel::mixer_dbus
