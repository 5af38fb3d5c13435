#include "midi/midi_backend.h"

#include "midi/jack_client.h"
#include "midi/pipewire_jack.h"
#include "midi/rtmidi_ports.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace vantrel {
namespace {

std::atomic<MidiApi> g_api{MidiApi::None};
std::atomic<bool> g_available{false};
std::vector<std::string> g_systemLines; // dialog thread

// Tries one system: empty when it answers, else why not. On JACK the client
// that answers is kept: the lists and ports use it next.
std::string Unavailability(MidiApi api) {
  switch (api) {
  case MidiApi::Alsa:
    return AlsaSequencerError();
  case MidiApi::Jack:
    return ReopenJackClient() ? std::string() : JackUnavailableReason();
  case MidiApi::None:
    break;
  }
  return "no MIDI system was asked for";
}

// On JACK: the ports of other clients with these flags, asked of the shared
// client. On ALSA: RtMidi's port list, through a short-lived sequencer client.
template <typename RtMidiClass> std::vector<std::string> PortNames(unsigned long jackFlags) {
  if (!CurrentMidiApiAvailable()) {
    return {};
  }
  switch (CurrentMidiApi()) {
  case MidiApi::Jack: {
    const std::shared_ptr<JackMidiClient> client = AcquireJackClient();
    return client == nullptr ? std::vector<std::string>() : client->PortNames(jackFlags);
  }
  case MidiApi::Alsa:
    break;
  case MidiApi::None:
    return {};
  }
  try {
    RtMidiClass midi(RtMidi::LINUX_ALSA, kMidiClientName);
    midi.setErrorCallback(&IgnoreRtMidiError, nullptr);
    std::vector<std::string> names;
    for (RtMidiPort& port : VisiblePorts(midi)) {
      names.push_back(std::move(port.name));
    }
    return names;
  } catch (const std::exception&) {
    // The system went away since selection: it offers no devices.
    return {};
  }
}

} // namespace

MidiApi SelectMidiApi(std::optional<MidiApi> forced) {
  std::vector<MidiApi> candidates = {MidiApi::Alsa, MidiApi::Jack};
  if (forced) {
    candidates = {*forced};
  }
  MidiApi api = forced.value_or(MidiApi::None);
  bool available = false;
  std::vector<std::string> lines;
  for (const MidiApi candidate : candidates) {
    const std::string why = Unavailability(candidate);
    if (why.empty()) {
      api = candidate;
      available = true;
      break;
    }
    lines.push_back(std::string("MIDI system ") + MidiApiName(candidate) + ": unavailable, " + why +
                    ".");
  }
  std::string inUse = std::string("MIDI system: ") + MidiApiName(available ? api : MidiApi::None);
  if (available && api == MidiApi::Jack && UsingPipeWireJack()) {
    inUse += ", served by PipeWire through its JACK library";
  }
  lines.push_back(std::move(inUse));
  g_systemLines = std::move(lines);
  g_available.store(available);
  g_api.store(api);
  return api;
}

std::vector<std::string> MidiSystemLines() {
  return g_systemLines;
}

std::string AlsaSequencerError() {
  const int fd = open("/dev/snd/seq", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    return std::string("/dev/snd/seq cannot be opened (") + std::strerror(errno) + ")";
  }
  close(fd);
  return {};
}

MidiApi CurrentMidiApi() {
  return g_api.load();
}

bool CurrentMidiApiAvailable() {
  return g_available.load();
}

std::optional<MidiApi> ParseMidiApi(std::string_view name) {
  for (const MidiApi api : {MidiApi::Alsa, MidiApi::Jack}) {
    if (name == MidiApiName(api)) {
      return api;
    }
  }
  return std::nullopt;
}

const char* MidiApiName(MidiApi api) {
  // In MidiApi's order.
  constexpr std::array<const char*, 3> kNames = {"none", "alsa", "jack"};
  const auto index = static_cast<std::size_t>(api);
  return index < kNames.size() ? kNames[index] : "none";
}

std::vector<std::string> MidiInputNames() {
  return PortNames<RtMidiIn>(JackPortIsOutput);
}

std::vector<std::string> MidiOutputNames() {
  return PortNames<RtMidiOut>(JackPortIsInput);
}

bool IsBridgePortName(std::string_view portName) {
  const std::string_view client = portName.substr(0, portName.find(':'));
  const std::string_view own = kMidiClientName;
  if (client.substr(0, own.size()) != own) {
    return false;
  }
  std::string_view rest = client.substr(own.size());
  if (rest.empty()) {
    return true;
  }
  if (rest.front() != '-' || rest.size() < 2) {
    return false;
  }
  rest.remove_prefix(1);
  for (const char c : rest) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
      return false;
    }
  }
  return true;
}

std::vector<RtMidiPort> VisiblePorts(RtMidi& midi) {
  std::vector<RtMidiPort> ports;
  const unsigned count = midi.getPortCount();
  for (unsigned number = 0; number < count; ++number) {
    std::string name = midi.getPortName(number);
    if (!name.empty() && !IsBridgePortName(name)) {
      ports.push_back({number, std::move(name)});
    }
  }
  return ports;
}

void IgnoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

} // namespace vantrel
