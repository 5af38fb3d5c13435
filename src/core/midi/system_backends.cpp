// Picks the implementation for the MIDI system chosen at start-up: RtMidi on
// ALSA; on JACK our own libjack ports on the process's one shared client,
// where RtMidi would open a client per port and its output would wait for
// room.

#include "midi/jack_in.h"
#include "midi/jack_out.h"
#include "midi/midi_backend.h"
#include "midi/midi_device.h"
#include "midi/rtmidi_in.h"
#include "midi/rtmidi_out.h"

namespace vantrel {
namespace {

// No system answered at start-up, so no device can appear either.
constexpr const char* kNoSystem =
    "No MIDI system is available, so no device can appear until Vantrel starts again with one.";

// The full JACK name of the device at this index, or empty with a sentence.
std::string JackDeviceName(const std::vector<std::string>& names, uint32_t device,
                           const char* direction, std::string& error) {
  if (device >= names.size()) {
    error =
        std::string("The MIDI ") + direction + " device " + std::to_string(device) + " is gone.";
    return {};
  }
  return names[device];
}

class SystemMidiInBackend final : public IMidiInBackend {
public:
  std::vector<std::string> DeviceNames() override { return MidiInputNames(); }

  std::unique_ptr<IMidiInConnection> Open(uint32_t device, IMidiReceiver& receiver,
                                          std::string& error) override {
    if (!CurrentMidiApiAvailable()) {
      error = kNoSystem;
      return nullptr;
    }
    switch (CurrentMidiApi()) {
    case MidiApi::Alsa:
      return OpenRtMidiIn(device, receiver, error);
    case MidiApi::Jack: {
      const std::string name = JackDeviceName(MidiInputNames(), device, "input", error);
      return name.empty() ? nullptr : OpenJackIn(name, receiver, error);
    }
    case MidiApi::None:
      break;
    }
    error = kNoSystem;
    return nullptr;
  }
};

class SystemMidiOutBackend final : public IMidiOutBackend {
public:
  std::vector<std::string> DeviceNames() override { return MidiOutputNames(); }

  std::unique_ptr<IMidiOutConnection> Open(uint32_t device, std::string& error) override {
    if (!CurrentMidiApiAvailable()) {
      error = kNoSystem;
      return nullptr;
    }
    switch (CurrentMidiApi()) {
    case MidiApi::Alsa:
      return OpenRtMidiOut(device, error);
    case MidiApi::Jack: {
      const std::string name = JackDeviceName(MidiOutputNames(), device, "output", error);
      return name.empty() ? nullptr : OpenJackOut(name, error);
    }
    case MidiApi::None:
      break;
    }
    error = kNoSystem;
    return nullptr;
  }
};

} // namespace

std::unique_ptr<IMidiInBackend> MakeSystemMidiInBackend() {
  return std::make_unique<SystemMidiInBackend>();
}

std::unique_ptr<IMidiOutBackend> MakeSystemMidiOutBackend() {
  return std::make_unique<SystemMidiOutBackend>();
}

} // namespace vantrel
