#pragma once
// The setters a client has issued but the bus has not taken yet, in order.
// Normally it holds a handful; while the server or the bus is stopped it
// grows with every controller change. Past a bound (far beyond any real
// backlog: 59,000 setters are a 1,000-message sweep over every row) it keeps
// only the newest setter of each target, in their order, so memory stays
// bounded however long the stall lasts and every target still ends on its
// last value.

#include "mixer/dbus_mixer_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>

namespace vantrel {

struct QueuedSetter {
  mixer_dbus::Method method;
  std::array<int32_t, mixer_dbus::kMaxInputs> args;
  std::size_t count;
};

class CSetterQueue {
public:
  static constexpr std::size_t kDefaultBound = 1u << 18;

  explicit CSetterQueue(std::size_t bound = kDefaultBound) : m_bound(bound) {}

  void Push(mixer_dbus::Method method, std::initializer_list<int32_t> args);
  bool Empty() const { return m_setters.empty(); }
  std::size_t Size() const { return m_setters.size(); }
  const QueuedSetter& Front() const { return m_setters.front(); }
  const QueuedSetter& At(std::size_t i) const { return m_setters[i]; }
  void Pop() { m_setters.pop_front(); }
  void Clear() { m_setters.clear(); }

private:
  // Drops every setter that a later one of the same target overrides.
  void KeepNewestOfEachTarget();

  std::size_t m_bound;
  std::deque<QueuedSetter> m_setters;
};

} // namespace vantrel
