#pragma once
// The main window: the page frame with the eight mixer pages above the MIDI
// In and MIDI Out choosers, the "Out Chn" field with its spin and the page
// chooser. Its behaviour lives in the core session; this window shows it and
// forwards the user's choices. Dialog thread only.

#include "app/bridge_session.h"
#include "app/controller_learn.h"
#include "app/device_follower.h"
#include "ui/app/page_host.h"

#include <QString>

#include <functional>
#include <string>

class QComboBox;
class QSocketNotifier;
class QTimer;

namespace vantrel {
class CBridgeSession;
}

namespace vantrel::ui {

class CActivityLight;
class CMixerEventPump;
class CNumberEdit;
class CSpinButtons;

// What the program, or a test, chooses about the window's start-up.
struct WindowOptions {
  bool mixerWarning = true; // a box when no mixer server answers
  // Receives each device line (what opened, what failed and why, what went
  // and came back) before any box about a device; null: the lines go
  // nowhere.
  std::function<void(const std::string& line)> report;
  // Asks the mixer service what stands behind it ("BACK END: STATUS");
  // null or empty: nothing is said.
  std::function<std::string()> mixerBackend;
};

class CBridgeDlg : public CPageHost {
  Q_OBJECT
public:
  // controllerWakeFd: readable while incoming controller changes wait, or
  // -1 when nothing delivers them.
  explicit CBridgeDlg(CBridgeSession& session, int controllerWakeFd = -1,
                      WindowOptions options = {}, QWidget* parent = nullptr);
  ~CBridgeDlg() override;

  // Start-up, in this order: build the controls and the page chooser, load
  // the settings into the device choosers and the channel, connect the mixer
  // and the saved devices, add the eight pages and show the saved one, then
  // connect the controls and the controller wake-up.
  void OnInitDialog();
  // false: show the channel; true: take the channel field into the channel (1..16).
  bool UpdateData(bool saveAndValidate);
  // Enter: shows the channel again; the window stays open.
  void OnOK();
  // The page on screen refreshes when the application becomes active.
  void OnActivateApp(bool active);
  void ShowAboutBox();

  CBridgeSession& Session() { return m_session; }
  // The page of a template, or null when it was not created.
  CMixerPage* PageOfTemplate(int templateId) const;
  CMixerPage* PageOfNumber(int number) const;

  // MIDI learn for one strip: starts it, or stops it when that strip is
  // learning already. Another strip's learning stops first.
  void ToggleLearn(LearnTarget target);
  // Stops any learning; the field shows as before.
  void CancelLearn();

protected:
  std::unique_ptr<CMixerPage> CreatePageObject(int templateId) override;
  void OnPageVisibilityChanged(int templateId, bool shown) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void BuildWindow();
  void LoadSettings();
  void ConnectMixerAndDevices();
  void AddPages();
  void ConnectSignals();
  // Reports which MIDI system serves the devices, and why the others
  // cannot, and puts the same lines in the device row's tooltips.
  void ShowMidiSystem();
  // Reports the mixer service's back end, and tells of mistakes in its
  // mapping file.
  void ShowMixerBackend();
  // Fills both device choosers as the session shows them now.
  void FillDeviceChoosers();
  // The light beside "MIDI In" and the timer that samples the counters
  // for it and its tooltip.
  void PlaceActivityLight();
  void ShowActivity();
  // Reports what went or came back, as the start-up device lines are.
  void ReportDeviceLines(const DeviceFollowResult& result);
  // The device lists may have changed: follows the chosen devices and shows
  // the choosers anew.
  void OnDeviceWatch();
  // The controller number learned: the strip's field takes it.
  void OnLearned(LearnTarget target, const ControllerChange& change);
  // A device chooser's item was picked.
  void OnDeviceChosen(MidiDirection direction, int item);
  void OnPageChosen(int item);
  void AddOptionActions();
  // The meters of every created page follow "Show meters"; the page on
  // screen shows the latest levels.
  void ShowMeters(bool on);
  void ShowLevels();

  CBridgeSession& m_session;
  int m_controllerWakeFd;
  WindowOptions m_options;
  QComboBox* m_midiIn = nullptr;
  QComboBox* m_midiOut = nullptr;
  QComboBox* m_pageChooser = nullptr;
  CNumberEdit* m_channelField = nullptr;
  CSpinButtons* m_channelSpin = nullptr;
  QSocketNotifier* m_controllerNotifier = nullptr;
  QSocketNotifier* m_deviceNotifier = nullptr;
  QSocketNotifier* m_surfaceNotifier = nullptr;
  CActivityLight* m_activityLight = nullptr;
  QTimer* m_activityTimer = nullptr;
  BridgeStats m_shownStats;
  // The chooser items that stand for a chosen device while it is gone.
  int m_inputGoneItem = -1;
  int m_outputGoneItem = -1;
  CMixerEventPump* m_mixerPump = nullptr;
  QString m_midiSystemText;
  bool m_closed = false;
};

} // namespace vantrel::ui
