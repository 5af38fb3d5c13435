#pragma once
// The session's side of the mixer link: connecting (starting the server
// when nobody serves it), keeping the context's mixer pointer on the link's
// current server, the event loop's watch, the notices for the user, and the
// release at shut-down, after which the context never gets a mixer again.
// It owns no mixer state: values live in the link's mirror. Level meters
// run while any viewer wants them; their latest levels are kept here for
// the views. Dialog thread only.

#include "mixer/mixer_link.h"

#include <bitset>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

struct BridgeContext;

// Who may want level meters.
enum class MeterViewer : uint8_t { Window, Surface, Count };

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

  // Meters run while at least one viewer wants them; without one, the
  // levels are cleared. Why the server has none comes once as a notice.
  void WantMeters(MeterViewer viewer, bool on);
  const mixer_dbus::CMeterLevels& MeterLevels() const { return m_meterLevels; }
  // True once after new levels came in ProcessEvents().
  bool TakeMetersChanged() { return std::exchange(m_metersChanged, false); }

  // Drops the server and closes the bus connection for good.
  void Release();

private:
  CMixerLink& m_link;
  BridgeContext& m_context;
  std::vector<std::string> m_notices;
  bool m_released = false;
  std::bitset<static_cast<std::size_t>(MeterViewer::Count)> m_meterViewers;
  mixer_dbus::CMeterLevels m_meterLevels;
  bool m_metersChanged = false;
};

} // namespace vantrel
