#pragma once
// The widget side of one mixer page: the controls of its template, bound to
// the page's model (which holds the controller numbers, read-outs and labels
// and does everything a move, a refresh, a commit or a save means).
//
// Data exchange: UpdateData(false) shows the model's members in the
// controls; UpdateData(true) commits every CC field
// in the page's exchange order. Typing alone commits nothing; Enter in the
// page and every spin step commit the whole page. A refused field stops the
// commit with a message and takes the focus.
//
// Faders: a vertical QSlider has its maximum at the top, so the slider's
// value is the fader value itself. A move by the user (drag, click, keys) goes to the model, and
// the release at the end of a drag sends the final value again; positioning from the program
// (refresh, incoming controllers) never sends. Dialog thread only.

#include "mixer/meter_levels.h"
#include "pages/page_model.h"

#include <QWidget>

#include <optional>

#include <vector>

class QComboBox;
class QLabel;
class QMenu;
class QSlider;

namespace vantrel::ui {

class CLevelMeter;
class CNumberEdit;
class CSpinButtons;

class CMixerPage : public QWidget, public IPageView {
  Q_OBJECT
public:
  // A page object is made without a parent; Create attaches it to its host.
  CMixerPage(int templateId, CPageModel& model);
  ~CMixerPage() override;

  CPageModel& Model() { return m_model; }

  // Builds the page's controls as a hidden, disabled child of host and
  // initialises it (page slot, controller numbers). False, with nothing
  // built, when the template is unknown, belongs to another page than the
  // model's, or lacks a control that a strip needs.
  bool Create(QWidget& host);

  // Hooks of the page host.
  void OnPageShow();
  void OnPageHide();

  // false: show the members; true: commit the CC fields. Returns false when
  // a field was refused.
  bool UpdateData(bool saveAndValidate);
  // Enter within the page.
  void OnOK();

  // The aux label above the strip, or null for a fixed caption.
  QLabel* Label(std::size_t strip) const { return m_strips[strip].label; }

  // Level meters: a thin one beside each fader whose value has a meter
  // (volumes, Master, Record, the aux bus levels), in the gap the fader
  // leaves under its read-out. Made the first time they are shown; while
  // off they do not exist or are hidden, so the page looks as without them.
  void ShowMeters(bool on);
  void ShowLevels(const mixer_dbus::CMeterLevels& levels);

  // IPageView
  void ShowFaderValue(std::size_t strip, int value) override;
  void ShowMembers() override;
  void ShowStrip(std::size_t strip) override;
  bool IsFaderHeld(std::size_t strip) const override;

  // MIDI learn. The context menu of a CC field: the field's own editing
  // actions and "Learn", checked while that field is learning; choosing it
  // asks for learning to start or, when checked, to stop. Beside it the
  // "Controller mode" submenu sets how the field's number is read. The
  // caller owns the menu.
  QMenu* FieldMenu(std::size_t strip);
  // The context menu of a volume strip's fader: "Mute", checked while the
  // strip is muted, and "Learn mute button", checked while it learns. The
  // caller owns the menu; null for a strip without a mute.
  QMenu* MuteMenu(std::size_t strip);
  // Marks the field that waits for a controller (or, for a mute button,
  // the strip's read-out), or none.
  void ShowLearning(std::optional<std::size_t> strip, bool mute = false);
  // A controller number was learned for the strip: it goes into the field
  // and the page commits as Enter would.
  void TakeLearned(std::size_t strip, int controller);

signals:
  void LearnToggled(std::size_t strip);
  void MuteLearnToggled(std::size_t strip);
  // "Mute" chosen: the strip's mute should turn over.
  void MuteToggled(std::size_t mute);
  // Esc while a field of this page is learning.
  void LearnCancelRequested();

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  struct StripWidgets {
    QSlider* fader = nullptr;
    CNumberEdit* field = nullptr;
    CSpinButtons* spin = nullptr;
    QLabel* readout = nullptr;
    QLabel* label = nullptr;
    CLevelMeter* meter = nullptr;
  };

  void OnInitDialog();
  void DescribeFader(std::size_t strip);
  void AddModeMenu(QMenu& menu, std::size_t strip);

  const int m_templateId;
  CPageModel& m_model;
  std::vector<StripWidgets> m_strips;
  std::vector<std::pair<QComboBox*, int>> m_effectChoosers; // chooser, aux bus
  std::optional<std::size_t> m_learning;
  bool m_learningMute = false;
};

} // namespace vantrel::ui
