#include "ui/app/signal_watch.h"

#include <QSocketNotifier>

#include <cstdio>

namespace vantrel::ui {

CSignalWatch::CSignalWatch(QObject* parent) : QObject(parent) {
  if (!m_catcher.IsCatching()) {
    std::fprintf(stderr, "vantrel: cannot watch for termination signals.\n");
    return;
  }
  m_notifier = new QSocketNotifier(m_catcher.Fd(), QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    while (const int number = m_catcher.TakeSignal()) {
      emit Raised(number);
    }
  });
}

} // namespace vantrel::ui
