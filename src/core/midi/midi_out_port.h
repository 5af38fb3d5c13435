#pragma once
// The MIDI output port: one output device, used from the dialog thread
// (fader and filter sends) and from the MIDI callback thread (thru) at once.
// Each message goes out whole under a short lock of the port's own; a send
// never waits for the device.

#include "midi/midi_device.h"
#include "midi/recent_sends.h"
#include "midi/short_message_sink.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

class CMidiOutPort : public IShortMessageSink {
public:
  // What became of one send.
  enum class SendOutcome { Sent, NotOpen, Dropped, NotShortMessage };

  explicit CMidiOutPort(std::unique_ptr<IMidiOutBackend> backend = MakeSystemMidiOutBackend());
  ~CMidiOutPort() override;
  CMidiOutPort(const CMidiOutPort&) = delete;
  CMidiOutPort& operator=(const CMidiOutPort&) = delete;

  // Dialog thread. 2 when the index is not below the device count (so -1
  // passed in is refused too); otherwise stores it, 0.
  int SetDevice(uint32_t index);
  // Dialog thread. 2 for a bad index (an open port stays open on its old
  // device); otherwise closes the old device and opens the new one: 0, or 100
  // with the port left closed.
  int Open(uint32_t index);
  // Dialog thread. 0, also when the port is not open.
  int Close();

  // Any thread. 0 when the message was queued; 100 when the port is not open,
  // the bytes are not a short message, or the device could not take it (the
  // message is dropped and counted).
  int SendShort(uint8_t status, uint8_t data1, uint8_t data2) override;
  // The same, saying why. Never allocates or waits beyond the port's lock.
  // `kind`: what the send is, for telling it when it comes back (see
  // CRecentSends::Kind); a fresh thru copy is noted at `freshThruArrival`,
  // the time the message it copies arrived (MonotonicMicros).
  SendOutcome Send(uint8_t status, uint8_t data1, uint8_t data2,
                   CRecentSends::Kind kind = CRecentSends::Kind::Own,
                   int64_t freshThruArrival = 0) noexcept;

  // Any thread: one whole system exclusive message, 0xF0 to 0xF7 with data
  // bytes between, at most kMaxExclusive bytes. Never allocates or waits
  // beyond the port's lock.
  static constexpr std::size_t kMaxExclusive = 32;
  SendOutcome SendExclusive(std::span<const uint8_t> bytes) noexcept;

  bool IsOpen() const { return m_open; }
  // The devices the port can open, by index, as the system lists them now.
  std::vector<std::string> DeviceNames() const;
  // The sentence of the most recent failure, empty if none.
  std::string LastError() const;
  // Messages the device could not queue.
  uint64_t DroppedCount() const { return m_dropped.load(std::memory_order_relaxed); }

  // Any thread, never waits: whether `message`, arrived at `nowMicros`, is
  // one this port sent moments ago (see CRecentSends), which is then taken.
  CRecentSends::Match TakeRecentSend(const CMidiMessage& message, int64_t nowMicros) noexcept {
    return m_recent.Take(message, nowMicros);
  }
  // Changes each time the port opens a device, so that what the input
  // learnt about the old one can be forgotten. Any thread.
  uint32_t DeviceGeneration() const { return m_generation.load(std::memory_order_acquire); }

private:
  void KeepError(const char* text) noexcept; // caller holds m_sendLock

  std::unique_ptr<IMidiOutBackend> m_backend;
  uint32_t m_device = 0;
  bool m_open = false;
  mutable std::mutex m_sendLock; // guards m_connection and m_lastError
  std::unique_ptr<IMidiOutConnection> m_connection;
  std::array<char, 256> m_lastError{};
  std::atomic<uint64_t> m_dropped{0};
  CRecentSends m_recent;
  std::atomic<uint32_t> m_generation{0};
};

} // namespace vantrel
