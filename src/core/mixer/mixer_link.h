#pragma once
// CMixerLink: the program's one connection to the mixer server, held for the
// whole run. Its life cycle:
//
//   Startup()  connect to the session bus                       (0 ok, 1 failed)
//   Create()   make sure vantrel-mixerd runs, then build the    (0 ok, 1 failed)
//              IMixerServer. When nobody owns org.vantrel.Mixer it starts
//              vantrel-mixerd from the program's own folder, else from PATH,
//              else through bus activation, and waits briefly for the name.
//   Server()   the IMixerServer, or nullptr while no server could be reached
//   Release()  drop the IMixerServer; Server() answers nullptr afterwards
//   Shutdown() close the bus connection
//
// After a successful Create() every call goes to the current owner of the
// name, and getters answer from the link's mirror of the mixer
// (CMixerMirror): filled by the server's whole state (asked for when a
// server is found; Create() waits a short moment for it, later answers
// arrive on their own) and kept current by the program's setters and the
// server's ValuesChanged signal. When the server dies the mirror keeps the
// last values and a restarted server is read once again. When Create()
// failed, Server() looks for a server again, at most about once a second,
// so one started later is found. Ask Server() for each use rather than
// keeping its pointer across a turn of the event loop. Dialog thread only.
//
// The owner's event loop drives the connection: it waits for what
// EventWatch() names and then calls ProcessEvents(). That writes setters
// the socket could not take at once, hears the server's changes and
// notices a server that went away. A server that dies is started again (at
// most once a second) when the link may start servers; whatever was queued
// for the dead one is dropped, so the new one gets values only when the
// user or a controller moves them. A bus that goes away costs the server
// object (Server() answers nullptr) but not the mirror; the link connects
// again, about once a second, to the same address and carries on.
//
// Level meters run while any of their viewers (the window, a surface) wants
// them (SetMetersWanted): the link asks the server, and asks again whenever
// a new server or a new bus connection comes. Updates wait in a short queue
// for a viewer that takes each one (a surface); the newest levels stay for
// viewers that only draw them (the window).

#include "mixer/meter_levels.h"
#include "mixer/mixer_mirror.h"
#include "mixer/mixer_server.h"

#include <bitset>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sdbus {
class IConnection;
class IProxy;
class Message;
} // namespace sdbus

namespace vantrel {

class DbusMixerServer;

// The link uses the session bus of the environment
// (DBUS_SESSION_BUS_ADDRESS) and starts vantrel-mixerd from the program's
// folder, else from PATH, else through bus activation; the server inherits
// the program's environment.
struct MixerLinkOptions {
  // Whether the link may start a server at all, in Create() and when one
  // dies (the program's --no-mixer-start turns it off).
  bool startServer = true;
  // How long a getter waits for its answer.
  std::chrono::milliseconds callTimeout{1000};
};

// One update of the meters, as the link queues it.
using MeterUpdate = mixer_dbus::MeterUpdate;

// The parts of the program that may want level meters.
enum class MeterViewer : uint8_t { Window, Surface, Count };

// What the owner's event loop waits for before calling ProcessEvents():
// `events` (POLLIN, POLLOUT) on `fd`, or `timeoutMs` passing (-1: none).
struct MixerEventWatch {
  int fd = -1;
  short events = 0;
  int timeoutMs = -1;
};

class CMixerLink {
public:
  CMixerLink();
  explicit CMixerLink(MixerLinkOptions options);
  ~CMixerLink();
  CMixerLink(const CMixerLink&) = delete;
  CMixerLink& operator=(const CMixerLink&) = delete;

  int Startup();
  int Create();
  IMixerServer* Server();
  void Release();
  void Shutdown();

  // Whether someone owns org.vantrel.Mixer on the link's bus right now.
  bool NameHasOwner();
  // "NAME: STATUS" of the server's back end (Backend() of
  // org.vantrel.MixerBackend1), with any faults of its mapping file; empty
  // when no server answers.
  std::string BackendStatus();
  // Asks the server which applications' streams its strips drive (from
  // Targets() of org.vantrel.MixerBackend1): pairs of strip name ("Wave")
  // and application name, each strip's first stream. The answer comes to
  // `answer` inside a later ProcessEvents(), empty when the server could not
  // say; nothing is waited for. False when no server is there to ask.
  using StripApplications = std::vector<std::pair<std::string, std::string>>;
  bool RequestStripApplications(std::function<void(StripApplications)> answer);

  // Why the last step that failed did, in a sentence; empty before any
  // failure, and again once a server is reached.
  const std::string& LastError() const { return m_lastError; }
  MixerEventWatch EventWatch() const;
  // Setters waiting to be written, and when the latest one was issued.
  std::size_t PendingSetters() const;
  std::chrono::steady_clock::time_point LastSetterAt() const;
  void ProcessEvents();
  // Values changed by anything but the program's own setters since the
  // last call (outside changes, a new server's state). Clears them.
  CMixerMirror::Slots TakeChangedValues() { return m_mirror.TakeChanged(); }
  // A sentence about the link for the user when the bus went away or came
  // back since the last call, else empty. Clears it.
  std::string TakeNotice() { return std::exchange(m_notice, std::string()); }
  // Called whenever EventWatch() may have changed or values changed, from
  // inside any call on the link; it must only take note.
  void SetWatchListener(std::function<void()> listener);

  // A viewer asks for level meters (true) or no longer wants them; meters
  // run while any viewer does. Never waits; the answer and the updates come
  // through ProcessEvents().
  void SetMetersWanted(MeterViewer viewer, bool wanted);
  // The oldest meter update not taken yet; false when there is none. At
  // most kMeterQueueLimit wait: a reader that falls behind loses the oldest.
  bool TakeMeterUpdate(MeterUpdate& update);
  // The newest levels (none while meters are off), and how many updates
  // came so far, by which a viewer sees that they changed.
  const mixer_dbus::CMeterLevels& LatestMeters() const { return m_latestMeters; }
  uint64_t MeterUpdateCount() const { return m_meterUpdateCount; }
  // Why the server measures nothing ("the virtual back end plays no
  // sound..."), once per viewer that wanted meters when it said so; else
  // empty.
  std::string TakeMeterNotice(MeterViewer viewer);
  static constexpr std::size_t kMeterQueueLimit = 8;

private:
  bool StartServerProcess();
  bool WaitForName(std::chrono::milliseconds timeout);
  void BuildServer();
  void Subscribe();
  void OnOwnerChanged(bool owned);
  void OnValuesChanged(sdbus::Message& message);
  void OnMeterLevels(sdbus::Message& message);
  // Sends StartMeters to the current server when meters are wanted.
  void RequestMeters();
  void RestartServerIfDue();
  // The bus broke: keep the mirror, drop the connection, connect again later.
  void LoseBus();
  void ReconnectIfDue();
  // Asks again for a state that was not answered.
  void RequestStateIfDue();
  void Notify();

  MixerLinkOptions m_options;
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<DbusMixerServer> m_server;
  // For the calls of org.vantrel.MixerBackend1 whose answers come later.
  std::unique_ptr<sdbus::IProxy> m_backendProxy;
  bool m_created = false; // Create() was called and Release() not yet
  std::chrono::steady_clock::time_point m_nextLookup{};
  std::string m_lastError;
  // The signal subscriptions, as sdbus::Slot (unsubscribed when dropped).
  std::vector<std::unique_ptr<void, std::function<void(void*)>>> m_matches;
  std::function<void()> m_listener;
  CMixerMirror m_mirror;
  std::string m_uniqueName; // ours on the bus: the origin of our own changes
  bool m_busLost = false;
  std::chrono::steady_clock::time_point m_nextReconnect{};
  std::chrono::steady_clock::time_point m_nextStateRequest{};
  std::string m_notice;
  // The name lost its owner and the link may start servers: the next start
  // is due at m_nextRestart.
  bool m_restartWanted = false;
  std::chrono::steady_clock::time_point m_nextRestart{};
  using MeterViewers = std::bitset<static_cast<std::size_t>(MeterViewer::Count)>;
  MeterViewers m_meterViewers;
  std::deque<MeterUpdate> m_meterUpdates;
  mixer_dbus::CMeterLevels m_latestMeters;
  uint64_t m_meterUpdateCount = 0;
  std::string m_meterNotice;
  MeterViewers m_meterNoticeFor; // viewers that have not taken it yet
};

} // namespace vantrel
