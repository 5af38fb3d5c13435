#pragma once
// Runs the mixer's side of the session in the window's event loop: watches
// the bus connection for what CBridgeSession::EventWatch() names (readable
// always, writable while setters wait for the socket, a deadline) and calls
// ProcessMixerEvents() when any of them fires. What to watch is worked out
// again after every turn and whenever the session says it changed. Dialog
// thread only.

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace vantrel {
class CBridgeSession;
}

namespace vantrel::ui {

class CMixerEventPump : public QObject {
  Q_OBJECT
public:
  // Does nothing when the session has no bus connection.
  CMixerEventPump(CBridgeSession& session, QObject* parent);
  ~CMixerEventPump() override;

  // Stops watching for good, before the session closes the connection.
  void Stop();

private:
  void Process();
  void Rearm();
  void RearmSoon();

  CBridgeSession& m_session;
  QSocketNotifier* m_read = nullptr;
  QSocketNotifier* m_write = nullptr;
  QTimer* m_timer = nullptr;
  bool m_rearmQueued = false;
  bool m_stopped = false;
};

} // namespace vantrel::ui
