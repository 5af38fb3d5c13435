#pragma once
// What the MIDI ports' and connections' calls return.

namespace vantrel {

inline constexpr int kMidiOk = 0;
inline constexpr int kMidiNoSuchDevice = 2; // the index is outside the device list
inline constexpr int kMidiFailed = 100;     // the MIDI system refused; LastError() says why

} // namespace vantrel
