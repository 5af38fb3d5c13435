#pragma once
// The program's session as a test builds it beside a server it started:
// the process-wide MIDI objects and a session over a profile in a temporary
// folder, whose link never starts a server of its own. Its MIDI output is a
// port over devices in memory (none listed until a test lists one) that
// note what they are sent.

#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/fake_midi_devices.h"
#include "support/mixerd_fixture.h"
#include "support/temp_dir.h"

namespace vantrel::test {

struct ServerSession {
  TempDir dir;
  // Made before the MIDI objects, whose input passes thru to it.
  std::shared_ptr<FakeMidiDevices> recorded = std::make_shared<FakeMidiDevices>();
  CMidiOutPort recorder{MakeFakeOutBackend(recorded)};
  MidiProcessObjects midi;
  CMixerLink link{ExistingServerOnly()};
  CSettings settings{dir.Path() / "vantrel.INI"};
  CBridgeSession session{&settings, midi.input, recorder, midi.controllers, link};
};

} // namespace vantrel::test
