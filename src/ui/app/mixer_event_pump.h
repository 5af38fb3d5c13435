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
  // Follows the bus connection as it comes and goes.
  CMixerEventPump(CBridgeSession& session, QObject* parent);
  ~CMixerEventPump() override;

  // Stops watching for good, before the session closes the connection.
  void Stop();

signals:
  // A sentence for the user about the mixer (the bus went away or is back).
  void Notice(const QString& text);
  // New level meter readings (or none any more) for the page on screen.
  void MetersChanged();

private:
  void Process();
  void Rearm();
  void RearmSoon();
  // Watches this descriptor (-1: none) from now on.
  void Watch(int fd);

  CBridgeSession& m_session;
  QSocketNotifier* m_read = nullptr;
  QSocketNotifier* m_write = nullptr;
  QTimer* m_timer = nullptr;
  int m_fd = -1;
  bool m_rearmQueued = false;
  bool m_stopped = false;
};

} // namespace vantrel::ui
