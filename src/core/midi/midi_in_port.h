#pragma once
// The MIDI input port and the bridge's subclass. Life cycle: closed, then
// open (Open), then started (Start); Stop returns to open and Close to
// closed. Every operation but OnReceive runs on the dialog thread.
//
// OnReceive runs on the MIDI system's thread, under the receive lock, one
// message at a time. It must not allocate, log, wait or take another lock,
// and must not touch page, window or mixer state. A subclass that overrides
// it stops and closes the port in its own destructor, so that no delivery
// reaches it while it is being taken apart.

#include "midi/controller_queue.h"
#include "midi/message_queue.h"
#include "midi/midi_device.h"
#include "midi/midi_message.h"
#include "midi/midi_out_port.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel {

class CMidiInPort : private IMidiReceiver {
public:
  // The receive lock is only remembered here; it must outlive every open
  // state of the port (see MidiProcessObjects).
  explicit CMidiInPort(std::mutex& receiveLock,
                       std::unique_ptr<IMidiInBackend> backend = MakeSystemMidiInBackend());
  // Stops if started, then closes if open.
  ~CMidiInPort() override;
  CMidiInPort(const CMidiInPort&) = delete;
  CMidiInPort& operator=(const CMidiInPort&) = delete;

  // 2 if the index is below 0 or not below the device count; else stores it, 0.
  int SetDevice(int32_t index);
  // Closes an open port first (its failure is returned), then 2 for a bad
  // index with the port closed, else opens the device: 0, or 100 with the
  // port closed. Opening does not start input.
  int Open(int32_t index);
  // 0 if not open; else closes the device, 0 (100 keeps the port open).
  // A closed port is not started either.
  int Close();
  // 0 if already started; else starts delivery: 0, or 100 (also on a port
  // that is not open) with nothing changed.
  int Start();
  // 0 if not started; else stops delivery, 0 or 100.
  int Stop();

  // The devices the port can open, by index, as the system lists them now.
  std::vector<std::string> DeviceNames() const;
  // The sentence of the most recent failure, empty if none.
  const std::string& LastError() const { return m_lastError; }
  // Messages delivered since the program started, read from any thread.
  uint64_t ReceivedCount() const { return m_received.load(std::memory_order_relaxed); }

protected:
  // MIDI thread, under the receive lock. The base does nothing.
  virtual void OnReceive(const CMidiMessage& message);
  // The same for a system exclusive event (null: too long or not well
  // formed). The base does nothing.
  virtual void OnReceiveExclusive(const CExclusiveMessage*) {}
  // Dialog thread, once the device is closed: no delivery runs any more.
  virtual void OnClosed() {}

private:
  void Receive(const CMidiMessage& message) noexcept override;
  void ReceiveExclusive(const CExclusiveMessage* message) noexcept override;

  std::mutex& m_receiveLock;
  std::unique_ptr<IMidiInBackend> m_backend;
  std::unique_ptr<IMidiInConnection> m_connection;
  int32_t m_device = 0;
  bool m_open = false;
  bool m_started = false;
  std::string m_lastError;
  // Written only under the receive lock, so a plain load and store count
  // without a locked instruction on the MIDI thread.
  std::atomic<uint64_t> m_received{0};
};

// The bridge's input: passes every short message through to the thru port
// and hands each Control Change to the dialog thread through the controller
// queue. Set both before the device is opened.
class CBridgeMidiIn : public CMidiInPort {
public:
  using CMidiInPort::CMidiInPort;
  ~CBridgeMidiIn() override;
  CBridgeMidiIn(const CBridgeMidiIn&) = delete;
  CBridgeMidiIn& operator=(const CBridgeMidiIn&) = delete;

  void SetThruPort(CMidiOutPort* port) { m_thru.store(port, std::memory_order_release); }
  void SetControllerQueue(CControllerQueue* queue) {
    m_controllers.store(queue, std::memory_order_release);
  }
  // An input that speaks a surface protocol: while set, every message goes
  // whole into this queue and nothing else happens to it (no thru, no
  // controller hand-off). Null: the bridge's usual path. System exclusive
  // messages go to this queue alone, and nowhere while it is not set.
  void SetSurfaceQueue(CMessageQueue* queue) { m_surface.store(queue, std::memory_order_release); }

  // Thru messages the output could not queue; they were dropped.
  uint64_t ThruDroppedCount() const { return m_thruDropped.load(std::memory_order_relaxed); }

  // A MIDI loop: the thru port's own messages keep coming back to this
  // input (kLoopRun of them in a row, each within CRecentSends' window of
  // its send). From then on a message that comes back is neither passed on
  // nor handed to the dialog thread, so nothing circulates; everything else
  // is, as before. Found again after the input closes or the output opens
  // another device. Any thread.
  static constexpr uint32_t kLoopRun = 100;
  bool LoopFound() const { return m_loopFound.load(std::memory_order_acquire); }
  // Messages that came back through a loop and were dropped.
  uint64_t LoopEchoesDropped() const { return m_loopDropped.load(std::memory_order_relaxed); }

protected:
  void OnReceive(const CMidiMessage& message) override;
  void OnReceiveExclusive(const CExclusiveMessage* message) override;
  void OnClosed() override;

private:
  // MIDI thread: counts a message that matched a recent send (`match`) into
  // the loop watch; true when it came back through a found loop and must
  // not be fed on.
  bool CameBack(CMidiOutPort& thru, const CMidiMessage& message, CRecentSends::Match match,
                int64_t arrival) noexcept;

  std::atomic<CMidiOutPort*> m_thru{nullptr};
  std::atomic<CControllerQueue*> m_controllers{nullptr};
  std::atomic<CMessageQueue*> m_surface{nullptr};
  std::atomic<uint64_t> m_thruDropped{0};
  // The loop watch; the plain members belong to the MIDI thread.
  uint32_t m_run = 0;
  int64_t m_lastCameBack = 0;
  uint32_t m_outputGeneration = 0;
  std::atomic<bool> m_loopFound{false};
  std::atomic<uint64_t> m_loopDropped{0};
};

} // namespace vantrel
