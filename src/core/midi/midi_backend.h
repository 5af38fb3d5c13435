#pragma once
// Which MIDI system the ports use, chosen once at start-up, and the device
// lists it offers. Device indices are positions in these lists; the bridge's
// own ports never appear in them, since choosing one would feed thru back
// into the bridge.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

enum class MidiApi { None, Alsa, Jack };

// Client name of every connection the bridge makes to the MIDI system.
inline constexpr const char* kMidiClientName = "Vantrel";
inline constexpr const char* kMidiInPortName = "MIDI In";
inline constexpr const char* kMidiOutPortName = "MIDI Out";

// Chooses the MIDI system and returns it. Without a forced one: the ALSA
// sequencer if /dev/snd/seq can be opened, else JACK if a JACK server (or
// PipeWire's JACK library, see pipewire_jack.h) answers, else None. A forced
// one is used even when it is unavailable; it then offers no devices and
// MidiSystemLines says why. Never starts a JACK server.
MidiApi SelectMidiApi(std::optional<MidiApi> forced);

// What the last SelectMidiApi found, one sentence a line: each system it
// tried that is unavailable, and why ("MIDI system alsa: unavailable, ..."),
// then the system in use, "MIDI system: alsa|jack|none", with how JACK is
// served when that is PipeWire. Dialog thread.
std::vector<std::string> MidiSystemLines();

// Why the ALSA sequencer cannot be used, or empty when /dev/snd/seq opens.
std::string AlsaSequencerError();

// The system chosen by SelectMidiApi; None before it has been called.
MidiApi CurrentMidiApi();

// True when the current system answered at selection time.
bool CurrentMidiApiAvailable();

// "alsa" or "jack"; anything else gives nothing.
std::optional<MidiApi> ParseMidiApi(std::string_view name);

// Name of a system as the command line spells it: "alsa", "jack" or "none".
const char* MidiApiName(MidiApi api);

// Devices the bridge can read from and write to, in the system's own order.
// Empty when no system is available. Dialog thread.
std::vector<std::string> MidiInputNames();
std::vector<std::string> MidiOutputNames();

// True for a port of any bridge client ("Vantrel", or the "Vantrel-NN" that
// JACK makes of a second one). Port names are "client:port...".
bool IsBridgePortName(std::string_view portName);

} // namespace vantrel
