// Picks the implementation for the MIDI system chosen at start-up: RtMidi for
// input on both systems and for output on ALSA; libjack for output on JACK,
// where RtMidi's output would wait for room.

#include "midi/jack_out.h"
#include "midi/midi_backend.h"
#include "midi/midi_device.h"
#include "midi/rtmidi_in.h"
#include "midi/rtmidi_out.h"

namespace vantrel {
namespace {

class SystemMidiOutBackend final : public IMidiOutBackend {
public:
  uint32_t DeviceCount() override { return static_cast<uint32_t>(MidiOutputNames().size()); }

  std::unique_ptr<IMidiOutConnection> Open(uint32_t device, std::string& error) override {
    if (!CurrentMidiApiAvailable()) {
      error = "No MIDI system is available.";
      return nullptr;
    }
    switch (CurrentMidiApi()) {
    case MidiApi::Alsa:
      return OpenRtMidiOut(device, error);
    case MidiApi::Jack: {
      const std::vector<std::string> names = MidiOutputNames();
      if (device >= names.size()) {
        error = "The MIDI output device " + std::to_string(device) + " is gone.";
        return nullptr;
      }
      return OpenJackOut(names[device], error);
    }
    case MidiApi::None:
      break;
    }
    error = "No MIDI system is available.";
    return nullptr;
  }
};

} // namespace

std::unique_ptr<IMidiInBackend> MakeSystemMidiInBackend() {
  return MakeRtMidiInBackend();
}

std::unique_ptr<IMidiOutBackend> MakeSystemMidiOutBackend() {
  return std::make_unique<SystemMidiOutBackend>();
}

} // namespace vantrel
