#include "app/bridge_runtime.h"

#include "app/single_instance.h"
#include "midi/device_watch.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"

namespace vantrel {

namespace {
// Getters wait at most this long: a server that misses it counts as
// stalled, so a slow or hung server cannot freeze the window.
constexpr std::chrono::milliseconds kMixerCallTimeout{250};

MixerLinkOptions LinkOptions(const CommandLine& commandLine) {
  MixerLinkOptions options;
  options.startServer = commandLine.startMixer;
  options.callTimeout = kMixerCallTimeout;
  return options;
}
} // namespace

// Members in construction order; the MIDI objects' own destructor stops and
// closes the input before its lock goes.
struct CBridgeRuntime::Objects {
  explicit Objects(const CommandLine& options)
      : mixerLink(LinkOptions(options)),
        // The headless bridge reads the profile but never writes it.
        settings(ProfilePathOf(options),
                 options.headless ? ProfileAccess::ReadOnly : ProfileAccess::ReadWrite),
        session(&settings, midi.input, midi.output, midi.controllers, mixerLink) {
    session.Devices().SetWatch(deviceWatch.get());
  }

  MidiProcessObjects midi;
  CMixerLink mixerLink;
  CSettings settings;
  std::unique_ptr<IDeviceWatch> deviceWatch = MakeSystemDeviceWatch();
  CBridgeSession session;
};

CBridgeRuntime::CBridgeRuntime(const CommandLine& options) {
  SelectMidiApi(options.midiApi);
  m_objects = std::make_unique<Objects>(options);
  m_objects->session.TurnOnForRun(options.feedback, options.softTakeover);
  if (options.surface) {
    m_objects->session.ChooseSurfaceForRun(*options.surface);
  }
}

CBridgeRuntime::~CBridgeRuntime() = default;

CBridgeSession& CBridgeRuntime::Session() {
  return m_objects->session;
}

CSettings& CBridgeRuntime::Settings() {
  return m_objects->settings;
}

std::string CBridgeRuntime::MixerBackendStatus() {
  return m_objects->mixerLink.BackendStatus();
}

int CBridgeRuntime::ControllerWakeFd() const {
  return m_objects->midi.controllers.WakeFd();
}

} // namespace vantrel
