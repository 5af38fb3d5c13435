#include "app/controller_learn.h"

#include <utility>

namespace vantrel {

void CControllerLearn::Arm(LearnTarget target, Listener listener) {
  m_target = target;
  m_listener = std::move(listener);
}

void CControllerLearn::Cancel() {
  m_target.reset();
  m_listener = nullptr;
}

bool CControllerLearn::Take(const ControllerChange& change) {
  // Notes only make buttons: a fader's learn lets them pass.
  if (!m_target || (change.note && !m_target->mute)) {
    return false;
  }
  // Disarmed before the listener runs, so that it may arm again.
  const LearnTarget target = *m_target;
  Listener listener = std::move(m_listener);
  Cancel();
  if (listener) {
    listener(target, change);
  }
  return true;
}

} // namespace vantrel
