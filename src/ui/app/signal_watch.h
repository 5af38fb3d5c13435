#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the dialog thread, so
// that they close the main window the same orderly way its close button
// does. The handler only writes one byte into a pipe (CStopSignalCatcher,
// which also ends a stop that overruns its deadline); a socket notifier
// reads it on the event loop.

#include "posix/stop_signals.h"

#include <QObject>

class QSocketNotifier;

namespace vantrel::ui {

class CSignalWatch : public QObject {
  Q_OBJECT
public:
  explicit CSignalWatch(QObject* parent = nullptr);
  ~CSignalWatch() override = default;
  CSignalWatch(const CSignalWatch&) = delete;
  CSignalWatch& operator=(const CSignalWatch&) = delete;

signals:
  void Raised(int signal);

private:
  CStopSignalCatcher m_catcher;
  QSocketNotifier* m_notifier = nullptr;
};

} // namespace vantrel::ui
