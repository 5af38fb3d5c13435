#pragma once
// The main window's behaviour without widgets: reading and writing the four
// main keys, the device choosers, the output channel, the mixer link's
// lifetime, the eight page models, activation and the controller hand-off.
// The Qt main window and the headless bridge both drive one of these.
// Dialog thread only.

#include "app/controller_feedback.h"
#include "app/controller_learn.h"
#include "app/device_follower.h"
#include "app/mute_buttons.h"
#include "mixer/mixer_link.h"
#include "pages/page_model.h"
#include "state/bridge_context.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class CBridgeMidiIn;
class CMidiOutPort;
class CControllerQueue;
class IDeviceWatch;
struct SettingKey;

// What a device chooser's change did.
enum class DeviceChange {
  Unchanged,  // the item was already current: nothing was touched
  Closed,     // "None": the device is stopped and closed
  Opened,     // the new device is open (input: and started)
  OpenFailed, // the open failed; the index stays chosen
};

struct SavedDevicesResult {
  bool outputFailed = false;
  bool inputFailed = false;
};

// What the receive path and the dispatcher have done so far.
struct BridgeStats {
  uint64_t controllersApplied = 0; // changes the dispatcher ran
  uint64_t controllersDropped = 0; // changes lost to a full controller queue
  uint64_t thruDropped = 0;        // thru messages the output could not queue
  uint64_t outputDropped = 0;      // any message the output could not queue
  uint64_t messagesReceived = 0;   // every short message the input delivered
  uint64_t loopEchoesDropped = 0;  // own output that came back through a MIDI loop
};

inline constexpr std::string_view kCannotOpenInput = "Cannot open Midi input!";
inline constexpr std::string_view kCannotOpenOutput = "Cannot open Midi output!";
inline constexpr std::string_view kErrorCaption = "Error!";

class CBridgeSession {
public:
  // settings may be null: then nothing is read or written. With
  // writesProfile false (the headless bridge) the profile is read but never
  // written.
  CBridgeSession(CSettings* settings, bool writesProfile, CBridgeMidiIn& input,
                 CMidiOutPort& output, CControllerQueue& queue, CMixerLink& mixerLink);
  ~CBridgeSession();
  CBridgeSession(const CBridgeSession&) = delete;
  CBridgeSession& operator=(const CBridgeSession&) = delete;

  BridgeContext& Context() { return m_context; }
  const AppState& State() const { return m_context.state; }
  // The page model of a page number 1..8.
  CPageModel& Page(int number);

  // Initialises the eight page models in the order they are added (each
  // fills its slot and loads its controller numbers), for a run without
  // windows; the Qt pages do this one by one as their windows initialise.
  void InitPages();

  // Reads ActivePage, DefaultMidiOut, DefaultMidiIn and DefaultMidiOutChannel
  // and sets the state from them; nothing is range-checked. Also reads the
  // Feedback and SoftTakeover options, the controller modes and the
  // button mapping.
  void LoadMainSettings();

  // Controller feedback (CControllerFeedback) and soft takeover (the
  // parameter table). `remember` writes the option to the profile (never
  // for the headless bridge). Turning feedback on with the output open
  // sends every mapped value.
  bool Feedback() const { return m_feedback.Feedback(); }
  bool SoftTakeover() const { return m_context.table.SoftTakeover(); }
  void SetFeedback(bool on, bool remember);
  void SetSoftTakeover(bool on, bool remember);
  // Options the command line turned on: LoadMainSettings keeps them on
  // whatever the profile says.
  void TurnOnForRun(bool feedback, bool softTakeover);
  // The "Out Chn" number (1-based as shown).
  int32_t ChannelMember() const { return m_channel; }
  // The channel spin or field set "Out Chn": the output channel follows.
  void SetChannelMember(int32_t channel);

  // A device chooser as it should look now: "None", then the devices (item
  // i + 1 is device i), with the chosen device selected (by name) and an
  // item for it while it is gone.
  DeviceChooser Chooser(MidiDirection direction) const { return m_devices.Chooser(direction); }
  const CDeviceFollower& Devices() const { return m_devices; }

  // Connects the mixer link (starting the server when nobody serves it).
  // True when a mixer is present.
  bool ConnectMixer();
  // Why no mixer is present, in a sentence; empty when nothing said why.
  const std::string& MixerError() const;

  // Opens the saved output, hands the output and the controller queue to the
  // input, then opens and starts the saved input.
  SavedDevicesResult OpenSavedDevices();
  // Once the pages exist and the devices are open: feedback and soft
  // takeover start from the mixer's values as they are, and with feedback
  // on an open output gets every mapped value.
  void StartFollowingMixer();
  // One line per saved device, saying whether it opened, e.g.
  // "MIDI input: opened device 1 (name)", or why not; the same wording in
  // every mode.
  std::vector<std::string> DescribeSavedDevices(const SavedDevicesResult& result) const;
  DeviceChange ChooseInput(int item);
  DeviceChange ChooseOutput(int item);
  // Why the last open of the input or output failed, in a sentence.
  std::string InputError() const;
  std::string OutputError() const;

  // The watch that reports changes of the device lists (null: none; then
  // the lists are compared only when FollowDevices is called).
  void SetDeviceWatch(IDeviceWatch* watch);
  // Readable when the device lists may have changed, or -1 without a watch.
  int DeviceWatchFd() const;
  // The watch's descriptor became readable: follows the devices if the
  // lists may have changed.
  DeviceFollowResult OnDeviceWatch();
  // Closes a chosen device that vanished and reopens one that came back.
  DeviceFollowResult FollowDevices();

  // The application became active: the page on screen refreshes.
  void OnActivate();

  // The mixer's side of the event loop. Wait for what EventWatch() names,
  // then call ProcessMixerEvents(): it keeps queued setters flowing and,
  // for values changed elsewhere (never the program's own echoes), updates
  // just those strips of the page on screen and lets feedback and soft
  // takeover follow.
  MixerEventWatch EventWatch() const;
  void ProcessMixerEvents();
  // Called when EventWatch() may have changed; it must only take note.
  void SetEventWatchListener(std::function<void()> listener);
  // What the user should hear about the mixer since the last call (the bus
  // went away or came back), one sentence each. Clears them.
  std::vector<std::string> TakeMixerNotices();
  // Runs the dispatcher once per queued controller change, in order; a
  // change that learning takes is not applied.
  void DrainControllers();
  CControllerLearn& Learn() { return m_learn; }
  // The mute buttons and their lights ("Button Mapping", read by
  // LoadMainSettings).
  CMuteButtons& Buttons() { return m_buttons; }
  // Mutes or unmutes (the window's menu), lighting the mute's button.
  void SetMute(std::size_t mute, bool muted) { m_buttons.SetMute(m_context, mute, muted); }
  bool IsMuted(std::size_t mute) { return CMuteButtons::IsMuted(m_context, mute); }
  // A learned button: kept and, unless headless, saved.
  void SetButton(std::size_t mute, const ButtonBinding& binding);

  BridgeStats Stats() const;

  // Releases the mixer, stops and closes the input, closes the output and
  // writes the four main keys. Afterwards no mixer call is made and queued
  // controller changes are dropped.
  void Shutdown();
  bool IsShutDown() const { return m_shutDown; }

private:
  // Takes the mixer link's current server: one started after the program,
  // or none after a release.
  void FollowMixerLink();
  void WriteOption(const SettingKey& key, bool on);
  // The output has just opened: feedback's values and the buttons' lights.
  void SendAllToOutput();
  // Reads "Controller Modes"; a value that names no mode, or a mode the
  // number cannot carry, is reported and read as absolute.
  void LoadControllerModes();

  CSettings* m_settings;
  bool m_writesProfile;
  CBridgeMidiIn& m_input;
  CMidiOutPort& m_output;
  CControllerQueue& m_queue;
  CMixerLink& m_mixerLink;
  BridgeContext m_context;
  CDeviceFollower m_devices;
  CControllerLearn m_learn;
  IDeviceWatch* m_deviceWatch = nullptr;
  std::array<std::unique_ptr<CPageModel>, kPageCount> m_pages;
  CControllerFeedback m_feedback;
  CMuteButtons m_buttons;
  std::vector<std::string> m_mixerNotices;
  int32_t m_channel = 0;
  bool m_shutDown = false;
  uint64_t m_applied = 0;
  bool m_loopReported = false; // a MIDI loop is reported once per finding
  bool m_feedbackForRun = false;
  bool m_softTakeoverForRun = false;
};

} // namespace vantrel
