#pragma once
// One run of the program's window for tests: the process-wide objects, a
// session over a profile in a temporary folder, no MIDI system and no mixer
// server, and the window. Recording fakes can stand in for the mixer and
// the MIDI output.

#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/file_text.h"
#include "support/recording_mixer.h"
#include "support/recording_sink.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "ui/app/bridge_dlg.h"
#include "ui/dialog/controls.h"
#include "ui/pages/mixer_page.h"

#include <QComboBox>

#include <fstream>
#include <sstream>

namespace vantrel::test {

// A recording mixer that notes what the profile held at its first read.
class SnapshotMixer : public RecordingMixer {
public:
  std::filesystem::path profile;
  std::string atFirstRead;
  int GetSendLevel(int32_t type, int32_t index, int32_t send, int32_t& level) override {
    if (atFirstRead.empty()) {
      atFirstRead = ReadTextFile(profile);
    }
    return RecordingMixer::GetSendLevel(type, index, send, level);
  }
};

// A strip's controller-number field, found by its control id.
inline ui::CNumberEdit* FieldOf(ui::CMixerPage& page, std::size_t strip) {
  const int id = page.Model().Def().strips[strip].ids.edit;
  return page.findChild<ui::CNumberEdit*>(QString::number(id));
}

// One run of the program's window: the process-wide objects, the session
// over a profile in a temporary folder, and the window.
class Run {
public:
  TempDir dir;
  std::filesystem::path profile = dir.Path() / "vantrel.INI";
  MidiProcessObjects midi;
  ScopedEnv noBus{"DBUS_SESSION_BUS_ADDRESS", kNoBusAddress};
  CMixerLink mixerLink; // on a bus that cannot be reached
  CSettings settings{profile};
  std::unique_ptr<CBridgeSession> session;
  std::unique_ptr<ui::CBridgeDlg> window;
  SnapshotMixer mixer;
  RecordingSink sink;
  std::vector<std::string> reported; // the window's device lines

  // Without a mixer server the window would say so in a box; only the test
  // of that box asks for it.
  explicit Run(std::string_view profileText = {}, bool mixerWarning = false) {
    if (!profileText.empty()) {
      std::ofstream(profile) << profileText;
    }
    mixer.profile = profile;
    session = std::make_unique<CBridgeSession>(&settings, midi.input, midi.output, midi.controllers,
                                               mixerLink);
    window = std::make_unique<ui::CBridgeDlg>(
        *session, midi.controllers.WakeFd(),
        ui::WindowOptions{mixerWarning,
                          [this](const std::string& line) { reported.push_back(line); }, nullptr});
  }
  void Start() {
    window->OnInitDialog();
    window->show();
  }
  // The recording fakes in place of the mixer and the MIDI output.
  void UseFakes() {
    session->Context().mixer = &mixer;
    session->Context().midiOut = &sink;
  }
  template <typename T> T* Control(int id) const {
    return window->findChild<T*>(QString::number(id));
  }
  void Choose(int chooserId, int item) {
    auto* chooser = Control<QComboBox>(chooserId);
    chooser->setCurrentIndex(item);
    emit chooser->activated(item); // what picking the item does
  }
  ui::CMixerPage* Visible() const {
    for (const auto& entry : window->Entries()) {
      if (entry->created && entry->page->isVisible()) {
        return entry->page.get();
      }
    }
    return nullptr;
  }
};

} // namespace vantrel::test
