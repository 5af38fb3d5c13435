#pragma once
// A deliberately slow stand-in for vantrel-mixerd: it owns org.vantrel.Mixer
// on the test bus and answers every method of the interface (getters with
// zeros) only after a delay, one call at a time, as a server on a starved
// machine or a slow back end would. Runs on a thread of its own.

#include <atomic>
#include <chrono>
#include <memory>

namespace sdbus {
class IConnection;
class IObject;
} // namespace sdbus

namespace vantrel::test {

class SlowMixer {
public:
  // Takes the name; check Running().
  explicit SlowMixer(std::chrono::milliseconds delay);
  ~SlowMixer();
  SlowMixer(const SlowMixer&) = delete;
  SlowMixer& operator=(const SlowMixer&) = delete;

  bool Running() const { return m_object != nullptr; }
  void SetDelay(std::chrono::milliseconds delay) { m_delayMs = delay.count(); }
  // Calls answered so far.
  int Answered() const { return m_answered; }

private:
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<sdbus::IObject> m_object;
  std::atomic<long long> m_delayMs;
  std::atomic<int> m_answered{0};
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
