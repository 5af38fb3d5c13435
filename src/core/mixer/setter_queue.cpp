#include "mixer/setter_queue.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace vantrel {

namespace {

// A setter's target: the method and every argument but the value, which is
// always the last one. Two setters of one target leave the state of the later.
auto TargetOf(const QueuedSetter& s) {
  std::array<int32_t, mixer_dbus::kMaxInputs> where{};
  std::copy_n(s.args.begin(), s.count > 0 ? s.count - 1 : 0, where.begin());
  return std::tuple(s.method, s.count, where);
}

} // namespace

void CSetterQueue::Push(mixer_dbus::Method method, std::initializer_list<int32_t> args) {
  QueuedSetter setter{method, {}, std::min(args.size(), mixer_dbus::kMaxInputs)};
  std::copy_n(args.begin(), setter.count, setter.args.begin());
  m_setters.push_back(setter);
  if (m_setters.size() > m_bound) {
    KeepNewestOfEachTarget();
  }
}

void CSetterQueue::KeepNewestOfEachTarget() {
  std::set<decltype(TargetOf(m_setters.front()))> seen;
  std::deque<QueuedSetter> kept;
  for (auto it = m_setters.rbegin(); it != m_setters.rend(); ++it) {
    if (seen.insert(TargetOf(*it)).second) {
      kept.push_front(*it);
    }
  }
  m_setters = std::move(kept);
}

} // namespace vantrel
