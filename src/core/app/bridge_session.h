#pragma once
// The main window's behaviour without widgets. The session owns the
// application's context (state, parameter table, mixer pointer, MIDI
// output), the eight page models, feedback, the mute buttons and MIDI learn,
// and ties together its parts: the profile's main keys (main_keys.h), the
// devices (CSessionDevices), the mixer link (CSessionMixer) and the
// controller hand-off (CControllerDrain). The Qt main window and the
// headless bridge both drive one of these. Dialog thread only.

#include "app/controller_drain.h"
#include "app/controller_feedback.h"
#include "app/controller_learn.h"
#include "app/mute_buttons.h"
#include "app/session_devices.h"
#include "app/session_mixer.h"
#include "app/surface_link.h"
#include "pages/page_model.h"
#include "state/bridge_context.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

class CBridgeMidiIn;
class CMidiOutPort;
class CControllerQueue;
class CMixerLink;
struct SettingKey;

inline constexpr std::string_view kCannotOpenInput = "Cannot open Midi input!";
inline constexpr std::string_view kCannotOpenOutput = "Cannot open Midi output!";
inline constexpr std::string_view kErrorCaption = "Error!";

class CBridgeSession {
public:
  // settings may be null: then nothing is read or written.
  CBridgeSession(CSettings* settings, CBridgeMidiIn& input, CMidiOutPort& output,
                 CControllerQueue& queue, CMixerLink& mixerLink);
  ~CBridgeSession();
  CBridgeSession(const CBridgeSession&) = delete;
  CBridgeSession& operator=(const CBridgeSession&) = delete;

  const AppState& State() const { return m_context.state; }
  // The page model of a page number 1..8.
  CPageModel& Page(int number);
  CSessionDevices& Devices() { return m_devices; }
  const CSessionDevices& Devices() const { return m_devices; }
  CSessionMixer& Mixer() { return m_mixer; }
  CControllerLearn& Learn() { return m_learn; }
  // The mute buttons and their lights ("Button Mapping").
  CMuteButtons& Buttons() { return m_buttons; }

  // Initialises the eight page models in the order they are added (each
  // fills its slot and loads its controller numbers), for a run without
  // windows; the Qt pages do this one by one as their windows initialise.
  void InitPages();
  // Sets the state from the main keys and the options (feedback, soft
  // takeover, controller modes, buttons) from the profile.
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
  // The protocol the MIDI pair speaks (SurfaceProtocol in "Midi Options",
  // read by LoadMainSettings). With a surface on, the input's messages go
  // to it (no thru, no controller mapping) and only the surface writes to
  // the output.
  SurfaceProtocol Surface() const { return m_surfaceProtocol; }
  void SetSurface(SurfaceProtocol protocol, bool remember);
  // The window's "Show meters" (ShowMeters in "Program Options", read by
  // LoadMainSettings, off by default): the window asks for level meters
  // while it is on. `remember` writes it to the profile.
  bool ShowMeters() const { return m_showMeters; }
  void SetShowMeters(bool on, bool remember);
  // A protocol the command line chose: LoadMainSettings keeps it.
  void ChooseSurfaceForRun(SurfaceProtocol protocol) { m_surfaceForRun = protocol; }
  // The surface's watch: the event loop calls OnSurface when it is readable.
  int SurfaceFd() const { return m_surface.Fd(); }
  void OnSurface() { m_surface.OnReady(); }
  // The "Out Chn" number (1-based as shown), kept in the state as the
  // output channel's index.
  int32_t ChannelMember() const;
  // The channel spin or field set "Out Chn": the output channel follows.
  void SetChannelMember(int32_t channel);

  // Once the pages exist and the devices are open: feedback and soft
  // takeover start from the mixer's values as they are, and with feedback
  // on an open output gets every mapped value.
  void StartFollowingMixer();
  // The application became active: the page on screen refreshes.
  void OnActivate();
  // The mixer link's events (see CSessionMixer::ProcessEvents): values
  // changed elsewhere update just those strips of the page on screen, and
  // feedback, soft takeover and the buttons' lights follow.
  void ProcessMixerEvents();
  // Runs the queued controller changes (CControllerDrain).
  void DrainControllers();
  BridgeStats Stats() const;
  // Empty, or a sentence saying that the surface does not answer.
  std::string_view SurfaceNotice() const { return m_surface.Notice(); }

  // Mutes or unmutes (the window's menu), lighting the mute's button.
  void SetMute(std::size_t mute, bool muted) { m_buttons.SetMute(m_context, mute, muted); }
  bool IsMuted(std::size_t mute) { return CMuteButtons::IsMuted(m_context, mute); }
  // A learned button: kept and, unless headless, saved.
  void SetButton(std::size_t mute, const ButtonBinding& binding);

  // Releases the mixer, writes the four main keys, then stops and closes
  // the devices. Afterwards no mixer call is made and queued controller
  // changes are dropped.
  void Shutdown();

private:
  void WriteOption(const SettingKey& key, bool on);
  // The output has just opened: feedback's values and the buttons' lights.
  void SendAllToOutput();

  CSettings* m_settings;
  CMidiOutPort& m_output;
  BridgeContext m_context;
  std::array<std::unique_ptr<CPageModel>, kPageCount> m_pages;
  CControllerFeedback m_feedback;
  CMuteButtons m_buttons;
  CControllerLearn m_learn;
  CSessionDevices m_devices;
  CSessionMixer m_mixer;
  CControllerDrain m_drain;
  CSurfaceLink m_surface;
  SurfaceProtocol m_surfaceProtocol = SurfaceProtocol::None;
  bool m_showMeters = false;
  std::optional<SurfaceProtocol> m_surfaceForRun;
  bool m_shutDown = false;
  bool m_feedbackForRun = false;
  bool m_softTakeoverForRun = false;
};

} // namespace vantrel
