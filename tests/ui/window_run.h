#pragma once
// One run of the program's window for tests: the process-wide objects, a
// session over a profile in a temporary folder, and the window, with the
// parts a test asks for (RunParts).

#include "app/bridge_session.h"
#include "midi/midi_process_objects.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/fake_midi_devices.h"
#include "support/file_text.h"
#include "support/mixerd_fixture.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "ui/app/bridge_dlg.h"
#include "ui/dialog/controls.h"
#include "ui/pages/level_meter.h"
#include "ui/pages/mixer_page.h"

#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

namespace vantrel::test {

// A strip's controller-number field, fader and read-out, found by their
// control ids.
inline ui::CNumberEdit* FieldOf(ui::CMixerPage& page, std::size_t strip) {
  const int id = page.Model().Def().strips[strip].ids.edit;
  return page.findChild<ui::CNumberEdit*>(QString::number(id));
}
inline QSlider* FaderOf(ui::CMixerPage& page, std::size_t strip) {
  const int id = page.Model().Def().strips[strip].ids.fader;
  return page.findChild<QSlider*>(QString::number(id));
}
inline QLabel* ReadoutOf(ui::CMixerPage& page, std::size_t strip) {
  const int id = page.Model().Def().strips[strip].ids.readout;
  return page.findChild<QLabel*>(QString::number(id));
}
// A strip's level meter, the one standing just right of its fader, or null.
inline ui::CLevelMeter* MeterOf(ui::CMixerPage& page, std::size_t strip) {
  const QSlider* slider = FaderOf(page, strip);
  if (slider == nullptr) {
    return nullptr;
  }
  const QRect fader = slider->geometry();
  for (ui::CLevelMeter* meter : page.findChildren<ui::CLevelMeter*>()) {
    const int gap = meter->x() - fader.right();
    if (gap > 0 && gap < 8 && meter->y() == fader.y()) {
      return meter;
    }
  }
  return nullptr;
}

// Another client of the mixer server on the test bus, changing values as a
// second program would. Check Connected().
class OtherClient {
public:
  OtherClient() {
    m_link.Startup();
    m_link.Create();
  }
  bool Connected() { return m_link.Server() != nullptr; }
  // Sets what `p` drives to the mixer value of fader position `faderValue`,
  // and waits until it is written.
  void Set(const Parameter& p, int faderValue) {
    SetParameter(*m_link.Server(), p, MixerValueFromFader(p, faderValue));
    PumpLinkUntil(
        m_link, [this] { return m_link.PendingSetters() == 0; }, std::chrono::seconds(10));
  }

private:
  CMixerLink m_link{ExistingServerOnly()};
};

// Lists a recording device (`devices`, a recording output port's) and
// chooses it as the window's MIDI Out, as a user would; what it is sent
// from then on is in devices.sent.
inline void ChooseRecordingOutput(ui::CBridgeDlg& window, FakeMidiDevices& devices) {
  devices.outputs = {"Recorder"};
  auto* chooser = window.findChild<QComboBox*>(QString::number(ui::kMidiOutChooserId));
  chooser->showPopup(); // an opening list is current
  chooser->hidePopup();
  const int item = chooser->findText(QStringLiteral("Recorder"));
  chooser->setCurrentIndex(item);
  emit chooser->activated(item); // what picking the item does
  devices.sent.clear();
}

// What a level meter shows as the user reads it: the level in its tooltip
// ("Level -6.0 dB"), none while it reads silence or nothing.
inline std::optional<double> ShownLevel(const ui::CLevelMeter& meter) {
  const QString text = meter.toolTip();
  if (!text.startsWith(QStringLiteral("Level ")) || !text.endsWith(QStringLiteral(" dB"))) {
    return std::nullopt;
  }
  bool ok = false;
  const double db = text.mid(6, text.size() - 9).toDouble(&ok);
  return ok ? std::optional(db) : std::nullopt;
}

// What a run has beyond the window: by default no mixer server (the bus
// cannot be reached) and, as MIDI Out, a device in memory that notes what
// it is sent, listed once UseRecordingOutput() is called.
struct RunParts {
  // Without a mixer server the window would say so in a box; only the test
  // of that box asks for it.
  bool mixerWarning = false;
  // The link on the test bus, where the test runs vantrel-mixerd
  // (MixerdProcess) when it wants a mixer; the link starts none itself.
  bool testBus = false;
  // vantrel-mixerd on the test bus, with fresh state, running before the
  // window starts (the test bus then too).
  bool mixerServer = false;
  // The system's MIDI output (a JACK test's) instead of the recording one.
  bool systemOutput = false;
};

// One run of the program's window: the process-wide objects, the session
// over a profile in a temporary folder, and the window.
class Run {
public:
  TempDir dir;
  std::filesystem::path profile = dir.Path() / "vantrel.INI";
  // Made before the MIDI objects, whose input passes thru to it until it
  // is stopped.
  std::shared_ptr<FakeMidiDevices> recorded = std::make_shared<FakeMidiDevices>();
  CMidiOutPort recorder{MakeFakeOutBackend(recorded)};
  MidiProcessObjects midi;
  std::optional<ScopedEnv> noBus;
  std::unique_ptr<MixerdProcess> server; // with RunParts::mixerServer; check Running()
  CMixerLink mixerLink{ExistingServerOnly()};
  CSettings settings{profile};
  std::unique_ptr<CBridgeSession> session;
  std::unique_ptr<ui::CBridgeDlg> window;
  std::vector<std::string> reported; // the window's device lines

  explicit Run(std::string_view profileText = {}, RunParts parts = {}) {
    if (!profileText.empty()) {
      std::ofstream(profile) << profileText;
    }
    if (parts.mixerServer) {
      server = std::make_unique<MixerdProcess>(dir.File("mixer.state"));
      server->Start();
    } else if (!parts.testBus) {
      noBus.emplace("DBUS_SESSION_BUS_ADDRESS", kNoBusAddress);
    }
    session = std::make_unique<CBridgeSession>(&settings, midi.input,
                                               parts.systemOutput ? midi.output : recorder,
                                               midi.controllers, mixerLink);
    window = std::make_unique<ui::CBridgeDlg>(
        *session, midi.controllers.WakeFd(),
        ui::WindowOptions{parts.mixerWarning,
                          [this](const std::string& line) { reported.push_back(line); }, nullptr});
  }
  void Start() {
    window->OnInitDialog();
    window->show();
  }
  // Lists the recording device and chooses it as MIDI Out, as a user would.
  void UseRecordingOutput() { ChooseRecordingOutput(*window, *recorded); }
  // What MIDI Out was sent since the recording device was chosen.
  const std::vector<std::string>& Sent() const { return recorded->sent; }
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
