#pragma once
// A deliberately slow stand-in for vantrel-mixerd: it owns org.vantrel.Mixer
// on the test bus and answers every method of the interface only after a
// delay, one call at a time, as a server on a starved machine or a slow back
// end would. Every level, volume and pan reads kStateLevel, every bus is
// routed to effect kStateEffect, and send 1 of a source feeds Aux 3, send 2
// Aux 4; setters change nothing. Runs on a thread of its own.

#include "mixer/mixer_values.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace sdbus {
class IConnection;
class IObject;
} // namespace sdbus

namespace vantrel::test {

class SlowMixer {
public:
  static constexpr int32_t kStateLevel = 40000;
  static constexpr int32_t kStateEffect = 5;
  // What the stand-in answers for a getter with these arguments.
  static mixer_dbus::ValueResults Value(mixer_dbus::Method getter,
                                        const std::array<int32_t, mixer_dbus::kMaxInputs>& args);

  // Takes the name; check Running().
  explicit SlowMixer(std::chrono::milliseconds delay);
  ~SlowMixer();
  SlowMixer(const SlowMixer&) = delete;
  SlowMixer& operator=(const SlowMixer&) = delete;

  bool Running() const { return m_object != nullptr; }
  // Says that a value changed elsewhere, as the real server would after an
  // outside change (a ValuesChanged entry with no origin).
  void EmitChange(mixer_dbus::Method getter, std::vector<int32_t> args,
                  std::vector<int32_t> results);
  void SetDelay(std::chrono::milliseconds delay) { m_delayMs = delay.count(); }
  // Calls answered so far, and how many of them were per-value getters.
  int Answered() const { return m_answered; }
  int GetterCalls() const { return m_getters; }

private:
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<sdbus::IObject> m_object;
  std::atomic<long long> m_delayMs;
  std::atomic<int> m_answered{0};
  std::atomic<int> m_getters{0};
};

// Stops the bus daemon of the test command (SIGSTOP) while it lives and
// lets it go on (SIGCONT) when it goes, whatever the test did meanwhile.
class BusPause {
public:
  BusPause();
  ~BusPause();
  BusPause(const BusPause&) = delete;
  BusPause& operator=(const BusPause&) = delete;
  // False when the test command gave no bus daemon to stop.
  bool Paused() const { return m_pid > 0; }
  void Resume();

private:
  int m_pid = 0;
};

} // namespace vantrel::test
