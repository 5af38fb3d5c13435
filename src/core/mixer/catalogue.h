#pragma once
// The 61 parameters that a fader or an incoming controller can set, in the
// order the controller dispatcher walks them. Pages, dispatcher, profile keys
// and tests all read this one table; where a row is shown is the page
// table's business.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantrel {

class IMixerServer;
class IShortMessageSink;

// How a parameter's values are scaled.
enum class ParameterKind : uint8_t {
  Level,  // linear: fader v x 516, controller v x 512, read back / 516
  Gain,   // exponential, the same from fader and controller
  Filter, // an NRPN sequence on the MIDI output; no mixer parameter
};

// The mixer operation that sets a parameter; its getter reads it back with
// the same fixed arguments. The mixer operations come first, the filter
// operations last (catalogue.cpp's call table relies on it).
enum class SetOperation : uint8_t {
  BusLevel,        // SetBusLevel(bus)                / GetBusLevel(bus)
  MasterVolume,    // SetMasterVolume(channel)        / GetMasterVolume(channel)
  RecordLevel,     // SetRecordLevel()                / GetRecordLevel()
  SendLevel,       // SetSendLevel(type, index, send) / GetSendLevel(type, index, send)
  SourceVolume,    // SetSourceVolume(type, index)    / GetSourceVolume(type, index)
  SourcePan,       // SetSourcePan(type, index)       / GetSourcePan(type, index)
  FilterCutoff,    // SendFilterNrpn(8, 8192 - 20 v)
  FilterResonance, // SendFilterNrpn(9, 8192 + 8 v)
};

struct Parameter {
  std::string_view strip; // what the strip drives, for people
  std::string_view key;   // its controller number's key in "CC Mapping"
  SetOperation op;
  std::array<int32_t, 3> args; // the operation's fixed arguments, unused ones 0
  ParameterKind kind;
};

inline constexpr std::size_t kParameterCount = 61;

extern const std::array<Parameter, kParameterCount> kCatalogue;

// Mixer value for a fader value v (0..127) of a Level or Gain parameter.
int32_t MixerValueFromFader(const Parameter& p, int v);
// Mixer value for an incoming controller value v (0..127).
int32_t MixerValueFromController(const Parameter& p, int v);
// Mixer value for a 14-bit controller value h (0..16383), on the same scale:
// h = v x 128 gives what v gives.
int32_t MixerValueFromFineController(const Parameter& p, int h);
// Fader value shown for a mixer reading.
int FaderValueFromReading(const Parameter& p, int32_t reading);
// The controller value (0..127) that sets exactly this reading, else the
// fader value shown for it: where a relative step starts from, so a level
// set by a controller steps from its own value, not from the read-back's
// truncation below it.
int ControllerValueFromReading(const Parameter& p, int32_t reading);
// The largest 14-bit controller value (0..16383) whose mixer value does not
// pass this reading: exactly the value that set it, where one did. A motor
// fader shows a reading with it.
int FineControllerValueFromReading(const Parameter& p, int32_t reading);

// Sets a Level or Gain parameter to a mixer value. Filter rows are not
// mixer parameters and are refused (result non-zero, no call).
int SetParameter(IMixerServer& mixer, const Parameter& p, int32_t mixerValue);
// Reads a Level or Gain parameter into cell; a failed read leaves cell as is.
int ReadParameter(IMixerServer& mixer, const Parameter& p, int32_t& cell);

// The mixer value slot (mixer_values.h) a Level or Gain parameter reads;
// nullopt for a Filter row.
std::optional<std::size_t> ValueSlotOf(const Parameter& p);

// Sends a Filter row's NRPN sequence for value v on the output channel.
void SendFilterParameter(IShortMessageSink& out, int32_t outputChannel, const Parameter& p, int v);

} // namespace vantrel
