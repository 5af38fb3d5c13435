#pragma once
// The session's side of the mixer link: connecting (starting the server
// when nobody serves it), keeping the context's mixer pointer on the link's
// current server, the event loop's watch, the notices for the user, and the
// release at shut-down, after which the context never gets a mixer again.
// It owns no mixer state: values live in the link's mirror. Level meters
// run while any viewer wants them; their latest levels are kept here for
// the views. Dialog thread only.

#include "mixer/mixer_link.h"

#include <functional>
#include <string>
#include <vector>

namespace vantrel {

struct BridgeContext;

class CSessionMixer {
public:
  CSessionMixer(CMixerLink& link, BridgeContext& context);

  // Connects the link (starting the server when nobody serves it). True
  // when a mixer is present.
  bool Connect();
  // Why no mixer is present, in a sentence; empty when nothing said why.
  const std::string& Error() const { return m_link.LastError(); }

  // Takes the link's current server: one started after the program, or
  // none after a release.
  void Follow();
  // The values as they are now count as seen: only later changes are
  // reported.
  void ForgetChanges() { m_link.TakeChangedValues(); }

  // What the event loop waits for before calling ProcessEvents(); nothing
  // after the release.
  MixerEventWatch EventWatch() const;
  // Keeps queued setters flowing and answers the values changed elsewhere
  // (never the program's own echoes).
  CMixerMirror::Slots ProcessEvents();
  // Called when EventWatch() may have changed; it must only take note.
  void SetEventWatchListener(std::function<void()> listener);
  // What the user should hear about the mixer since the last call (the bus
  // went away or came back), one sentence each. Clears them.
  std::vector<std::string> TakeNotices();

  // The window's level meters (a surface asks the link itself). Why the
  // server has none comes once as a notice.
  void WantMeters(bool on) { m_link.SetMetersWanted(MeterViewer::Window, on); }
  const mixer_dbus::CMeterLevels& MeterLevels() const { return m_link.LatestMeters(); }
  // True once after the levels changed in ProcessEvents().
  bool TakeMetersChanged();

  // Drops the server and closes the bus connection for good.
  void Release();

private:
  CMixerLink& m_link;
  BridgeContext& m_context;
  std::vector<std::string> m_notices;
  bool m_released = false;
  uint64_t m_metersShown = 0; // the link's update count when last taken
};

} // namespace vantrel
