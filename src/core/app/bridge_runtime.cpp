#include "app/bridge_runtime.h"

#include "app/single_instance.h"
#include "midi/midi_backend.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"

namespace vantrel {

// Members in construction order; the MIDI objects' own destructor stops and
// closes the input before its lock goes.
struct CBridgeRuntime::Objects {
  explicit Objects(const CommandLine& options)
      : settings(ProfilePathOf(options)), session(&settings, !options.headless, midi.input,
                                                  midi.output, midi.controllers, mixerLink) {}

  MidiProcessObjects midi;
  CMixerLink mixerLink;
  CSettings settings;
  CBridgeSession session;
};

CBridgeRuntime::CBridgeRuntime(const CommandLine& options) {
  SelectMidiApi(options.midiApi);
  m_objects = std::make_unique<Objects>(options);
}

CBridgeRuntime::~CBridgeRuntime() = default;

CBridgeSession& CBridgeRuntime::Session() {
  return m_objects->session;
}

CSettings& CBridgeRuntime::Settings() {
  return m_objects->settings;
}

int CBridgeRuntime::ControllerWakeFd() const {
  return m_objects->midi.controllers.WakeFd();
}

} // namespace vantrel
