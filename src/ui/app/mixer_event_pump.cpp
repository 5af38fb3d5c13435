#include "ui/app/mixer_event_pump.h"

#include "app/bridge_session.h"

#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>

namespace vantrel::ui {

CMixerEventPump::CMixerEventPump(CBridgeSession& session, QObject* parent)
    : QObject(parent), m_session(session) {
  m_timer = new QTimer(this);
  m_timer->setSingleShot(true);
  m_timer->setTimerType(Qt::PreciseTimer);
  connect(m_timer, &QTimer::timeout, this, &CMixerEventPump::Process);
  // The session calls this from inside mixer calls, even within a turn of
  // its own: the watch is worked out once control is back in the loop.
  m_session.Mixer().SetEventWatchListener([this] { RearmSoon(); });
  Rearm();
}

CMixerEventPump::~CMixerEventPump() {
  Stop();
}

void CMixerEventPump::Stop() {
  if (m_stopped) {
    return;
  }
  m_stopped = true;
  m_session.Mixer().SetEventWatchListener(nullptr);
  Watch(-1);
  m_timer->stop();
}

void CMixerEventPump::Watch(int fd) {
  if (fd == m_fd) {
    return;
  }
  // The bus connection is a new one (or gone): its old notifiers must not
  // fire on a descriptor that may be closed or reused.
  for (QSocketNotifier* notifier : {m_read, m_write}) {
    if (notifier != nullptr) {
      // Later: this may run inside the notifier's own signal.
      notifier->setEnabled(false);
      notifier->deleteLater();
    }
  }
  m_read = nullptr;
  m_write = nullptr;
  m_fd = fd;
  if (fd < 0) {
    return;
  }
  m_read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  m_write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  connect(m_read, &QSocketNotifier::activated, this, &CMixerEventPump::Process);
  connect(m_write, &QSocketNotifier::activated, this, &CMixerEventPump::Process);
}

void CMixerEventPump::Process() {
  if (m_stopped) {
    return;
  }
  m_session.ProcessMixerEvents();
  for (const std::string& notice : m_session.Mixer().TakeNotices()) {
    emit Notice(QString::fromStdString(notice));
  }
  if (m_session.Mixer().TakeMetersChanged()) {
    emit MetersChanged();
  }
  Rearm();
}

void CMixerEventPump::RearmSoon() {
  if (m_rearmQueued || m_stopped) {
    return;
  }
  m_rearmQueued = true;
  QMetaObject::invokeMethod(this, &CMixerEventPump::Rearm, Qt::QueuedConnection);
}

void CMixerEventPump::Rearm() {
  m_rearmQueued = false;
  if (m_stopped) {
    return;
  }
  const MixerEventWatch watch = m_session.Mixer().EventWatch();
  Watch(watch.fd);
  if (m_write != nullptr) {
    m_write->setEnabled((watch.events & POLLOUT) != 0);
  }
  if (watch.timeoutMs < 0) {
    m_timer->stop();
  } else if (!m_timer->isActive() || m_timer->remainingTime() > watch.timeoutMs) {
    m_timer->start(watch.timeoutMs);
  }
}

} // namespace vantrel::ui
