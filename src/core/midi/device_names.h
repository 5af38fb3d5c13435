#pragma once
// Finding a device again by its name. Indices change when devices come and
// go or the system numbers them anew after a reboot; names mostly do not.
// The ALSA sequencer's names end in the client and port numbers
// ("nanoKONTROL2:nanoKONTROL2 MIDI 1 20:0"), which change when a device is
// plugged in again, so a name also matches without that address.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The name without a trailing " <client>:<port>" address, if it has one.
std::string_view NameWithoutAddress(std::string_view name);

// The index of the device called wanted: the first exact match, else the
// first whose name matches without its address. Nothing for an empty name.
std::optional<int32_t> FindDeviceByName(const std::vector<std::string>& names,
                                        std::string_view wanted);

// The name at an index, or empty when the index is not in the list.
std::string NameAtIndex(const std::vector<std::string>& names, int32_t index);

} // namespace vantrel
