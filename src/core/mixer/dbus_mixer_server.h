#pragma once
// IMixerServer over D-Bus: each call goes to whoever owns org.vantrel.Mixer
// at that moment, so a restarted server is reached without re-creating
// anything. Calls never start a server through bus activation: when nobody
// owns the name they fail at once. Dialog thread only.
//
// Setters are sent without waiting for an answer, in order, and never lost
// to a busy bus: each one joins a queue of our own that is written out as
// fast as the socket takes it. A setter first waits a short budget for the
// socket; when that runs out the link counts as stalled, later setters only
// queue, and the owner's event loop keeps writing whenever the socket is
// writable (EventWatch in CMixerLink) until the queue is empty. A stall that
// lasts so long that the queue passes its bound keeps each target's newest
// setter only (CSetterQueue).
//
// Getters wait for their answer up to a short timeout and write their
// out-arguments only on success. A getter comes after every queued setter,
// so it sees them; while the link is stalled it fails at once. A getter
// that times out also stalls the link until the server answers a probe
// sent without waiting.

#include "mixer/mixer_server.h"
#include "mixer/setter_queue.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace sdbus {
class IConnection;
class IProxy;
} // namespace sdbus

namespace vantrel {

class DbusMixerServer final : public IMixerServer {
public:
  // `connection` must outlive this object and must not run an event loop of
  // its own: calls are made on the caller's thread.
  explicit DbusMixerServer(sdbus::IConnection& connection,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
  ~DbusMixerServer() override;
  DbusMixerServer(const DbusMixerServer&) = delete;
  DbusMixerServer& operator=(const DbusMixerServer&) = delete;

  int SetMasterVolume(int32_t channel, int32_t gain) override;
  int GetMasterVolume(int32_t channel, int32_t& gain) override;
  int SetSourceVolume(int32_t type, int32_t index, int32_t gain) override;
  int GetSourceVolume(int32_t type, int32_t index, int32_t& gain) override;
  int SetSourcePan(int32_t type, int32_t index, int32_t pan) override;
  int GetSourcePan(int32_t type, int32_t index, int32_t& pan) override;
  int GetSendBus(int32_t type, int32_t index, int32_t send, int32_t& bus) override;
  int SetSendLevel(int32_t type, int32_t index, int32_t send, int32_t level) override;
  int GetSendLevel(int32_t type, int32_t index, int32_t send, int32_t& level) override;
  int SetAuxEffect(int32_t aux, int32_t effect) override;
  int32_t IsBusRouted(int32_t bus) override;
  int32_t IsBusOnOutput(int32_t bus) override;
  int GetBusEffect(int32_t bus, int32_t& effect) override;
  int GetBusOutput(int32_t bus, int32_t& digital, int32_t& pair, int32_t& third) override;
  int SetBusLevel(int32_t bus, int32_t level) override;
  int GetBusLevel(int32_t bus, int32_t& level) override;
  int SetRecordLevel(int32_t level) override;
  int GetRecordLevel(int32_t& level) override;

  // True while the server or the bus does not keep up: setters queue
  // without waiting and getters fail at once.
  bool IsStalled() const override { return m_flushStalled || m_probing; }

  // Setters written to nobody yet.
  std::size_t PendingSetters() const { return m_pending.Size(); }
  // When the latest setter was issued.
  std::chrono::steady_clock::time_point LastSetterAt() const { return m_lastSetterAt; }
  // Writes queued setters as far as the socket takes them, without waiting.
  // The socket-writable side of the owner's event loop calls it.
  void WritePendingSetters();
  // The server went away: what was meant for it is dropped, and a
  // replacement starts unstalled.
  void DropPendingSetters();
  // Called whenever IsStalled() or the queue's need for a writable socket
  // may have changed, so an event loop can watch for the right things.
  void SetStateListener(std::function<void()> listener) { m_listener = std::move(listener); }

  // The routing additions of the server, for tools and tests.
  int SetSendBus(int32_t type, int32_t index, int32_t send, int32_t bus);
  int SetBusRouted(int32_t bus, int32_t routed);
  int SetBusOutput(int32_t bus, int32_t digital, int32_t pair);

private:
  int Set(mixer_dbus::Method method, std::initializer_list<int32_t> args);
  // Writes queued setters until the queue is empty (true) or the deadline
  // passes with some still queued (false).
  bool WriteSetters(std::chrono::steady_clock::time_point deadline);
  // Whether sd-bus holds a message the socket has not taken yet.
  bool SocketBacklogged() const;
  void StartProbe();
  void Notify();
  // Writes the results into `out` only when the whole answer arrived.
  int Get(mixer_dbus::Method method, std::initializer_list<int32_t> args,
          std::initializer_list<int32_t*> out);

  sdbus::IConnection& m_connection;
  std::unique_ptr<sdbus::IProxy> m_proxy;
  uint64_t m_timeoutUsec;
  CSetterQueue m_pending;
  std::chrono::steady_clock::time_point m_lastSetterAt{};
  bool m_flushStalled = false; // a flush ran out of budget; the queue has not emptied since
  bool m_probing = false;      // a getter timed out; no answer to the probe yet
  std::function<void()> m_listener;
};

} // namespace vantrel
