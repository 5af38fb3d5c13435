#pragma once
// IMixerServer over D-Bus: each call goes to whoever owns org.vantrel.Mixer
// at that moment, so a restarted server is reached without re-creating
// anything. Calls never start a server through bus activation: when nobody
// owns the name they fail at once. Dialog thread only.
//
// Getters answer from the program's mirror of the mixer (CMixerMirror) and
// never wait on the bus; a value not heard of yet fails the getter, which
// then leaves its out-arguments alone. IsStalled() is true until the
// server's whole state has arrived: callers keep what they show till then.
//
// Setters change the mirror at once and are sent without waiting for an
// answer, in order, and never lost to a busy bus: each one joins a queue of
// our own that is written out as fast as the socket takes it, several
// queued setters in one SetMany message. Between BeginBatch() and EndBatch()
// setters only queue, so everything one controller change sets leaves as
// one message. A setter never waits for the socket: what it does not take
// at once stays queued, and the owner's event loop keeps writing whenever
// the socket is writable (EventWatch in CMixerLink) until the queue is
// empty. A stall that lasts so long that the queue passes its
// bound keeps each target's newest setter only (CSetterQueue).

#include "mixer/method_mixer_server.h"
#include "mixer/mixer_mirror.h"
#include "mixer/setter_queue.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace sdbus {
class IConnection;
class IProxy;
class MethodReply;
class Error;
} // namespace sdbus

namespace vantrel {

class DbusMixerServer final : public CMethodMixerServer {
public:
  // `connection` must outlive this object and must not run an event loop of
  // its own: calls are made on the caller's thread. `mirror` holds the
  // values and outlives this object too.
  DbusMixerServer(sdbus::IConnection& connection, CMixerMirror& mirror);
  ~DbusMixerServer() override;
  DbusMixerServer(const DbusMixerServer&) = delete;
  DbusMixerServer& operator=(const DbusMixerServer&) = delete;

  // True until the server's whole state has arrived.
  bool IsStalled() const override { return !m_mirror.HasState(); }
  void BeginBatch() override { ++m_batchDepth; }
  void EndBatch() override;

  // Asks the server for its whole state, without waiting; the answer fills
  // the mirror when it arrives. Nothing is asked while an answer is awaited.
  void RequestState();
  // Waits up to `budget` for the state asked for, handling what arrives.
  void AwaitState(std::chrono::milliseconds budget);
  // Asks the server to measure levels for this client, without waiting:
  // `answer` gets why it has no meters (empty: they run) when it answers.
  void StartMeters(std::function<void(std::string why)> answer);
  // Tells the server this client no longer wants meters; no answer.
  void StopMeters();

  // Setters written to nobody yet.
  std::size_t PendingSetters() const { return m_pending.Size(); }
  // When the latest setter was issued.
  std::chrono::steady_clock::time_point LastSetterAt() const { return m_lastSetterAt; }
  // Writes queued setters as far as the socket takes them, without waiting.
  // The socket-writable side of the owner's event loop calls it. False when
  // the bus connection broke.
  bool WritePendingSetters();
  // The server went away: what was meant for it is dropped, and its
  // replacement's state is asked for once it appears.
  void DropPendingSetters();
  // Called whenever IsStalled() or the queue's need for a writable socket
  // may have changed, so an event loop can watch for the right things.
  void SetStateListener(std::function<void()> listener) { m_listener = std::move(listener); }

protected:
  int Set(mixer_dbus::Method method, std::initializer_list<int32_t> args) override;
  // Writes the mirror's results into `out` when it knows the value.
  int Get(mixer_dbus::Method method, std::initializer_list<int32_t> args,
          std::initializer_list<int32_t*> out) override;

private:
  // Writes queued setters until the queue is empty (true) or the deadline
  // passes with some still queued (false).
  bool WriteSetters(std::chrono::steady_clock::time_point deadline);
  // Hands sd-bus the queued setters at the front: one plain call, or up to
  // kBatchLimit of them in one SetMany.
  void WriteFront();
  // Writes within the flush budget, or not at all while stalled.
  void Flush();
  // Whether sd-bus holds a message the socket has not taken yet.
  bool SocketBacklogged() const;
  void OnStateReply(sdbus::MethodReply& reply, const sdbus::Error* error);
  void Notify();

  sdbus::IConnection& m_connection;
  CMixerMirror& m_mirror;
  std::unique_ptr<sdbus::IProxy> m_proxy;
  CSetterQueue m_pending;
  std::chrono::steady_clock::time_point m_lastSetterAt{};
  bool m_flushStalled = false; // a flush ran out of budget; the queue has not emptied since
  bool m_stateAwaited = false; // GetState went out and has not been answered
  int m_batchDepth = 0;
  std::function<void()> m_listener;
};

} // namespace vantrel
