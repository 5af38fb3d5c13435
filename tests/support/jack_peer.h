#pragma once
// A JACK client of the tests' own with MIDI ports of its own, standing in for
// a MIDI device: it sends through its outputs ("out1", "out2") and records
// what arrives at its inputs ("in1", "in2"). Written against libjack directly
// so that it shares no code with the bridge. Needs the private JACK server of
// scripts/with-test-services.sh.

#include "midi/spsc_ring.h"

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vantrel::test {

struct PeerMessage {
  std::vector<uint8_t> bytes;
  int port = 0; // index of the input port it arrived at
  bool operator==(const PeerMessage&) const = default;
};

// Shows a message as "port 0: B0 07 64" in test failures.
void PrintTo(const PeerMessage& message, std::ostream* out);

// Why JACK tests cannot run here, or empty when the private server is set up.
std::string JackTestServerProblem();

class JackPeer {
public:
  static constexpr int kPorts = 2;
  // Room for a surface's display text and for system exclusive messages
  // longer than any reader takes.
  static constexpr std::size_t kMaxMessage = 128;

  // A client named "vt-peer-<pid>", or the given name (a peer closed and
  // made again under the same name looks like a device plugged in again).
  explicit JackPeer(std::string name = {});
  ~JackPeer();
  JackPeer(const JackPeer&) = delete;
  JackPeer& operator=(const JackPeer&) = delete;

  // Empty when the client is up, else a sentence saying what failed.
  const std::string& Error() const { return m_error; }

  // Full JACK names, "client:port", as they appear in the device lists.
  std::string OutputName(int port) const;
  std::string InputName(int port) const;

  // Queues a message (1 to kMaxMessage bytes) for an output; false when full.
  bool Send(int port, std::vector<uint8_t> bytes);
  // At most this many queued messages go out per JACK period (default: all).
  void SetPacing(unsigned messagesPerPeriod) { m_pacing.store(messagesPerPeriod); }
  // Queued messages not yet handed to JACK.
  bool SendQueueEmpty() const;

  // Waits until at least count messages have arrived in all, or the timeout
  // passes, and returns everything received so far.
  std::vector<PeerMessage> WaitForReceived(std::size_t count, std::chrono::milliseconds timeout);
  // Forgets what has arrived so far.
  void ClearReceived();
  // Everything received so far, after letting a few periods pass.
  std::vector<PeerMessage> ReceivedAfterQuiet();

  // Cycles in which the JACK server reported an overrun: some client did not
  // finish in time, and JACK may have lost that cycle's MIDI.
  uint64_t XrunCount() const { return m_xruns.load(); }

  // Full names of every port on the server, and of the ports connected to
  // the named one, as the server reports them now.
  std::vector<std::string> AllPorts() const;
  std::vector<std::string> ConnectionsOf(const std::string& port) const;

  jack_nframes_t PeriodFrames() const;
  jack_nframes_t SampleRate() const;

private:
  struct Event {
    std::array<uint8_t, kMaxMessage> bytes{};
    uint8_t size = 0;
    uint8_t port = 0;
  };

  static int Process(jack_nframes_t frames, void* user);
  static int OnXrun(void* user);
  void Drain();

  jack_client_t* m_client = nullptr;
  std::array<jack_port_t*, kPorts> m_outputs{};
  std::array<jack_port_t*, kPorts> m_inputs{};
  std::string m_error;
  std::atomic<unsigned> m_pacing{~0u};
  SpscRing<Event, 16384> m_outgoing;
  SpscRing<Event, 16384> m_incoming;
  std::atomic<uint64_t> m_incomingLost{0};
  std::atomic<uint64_t> m_xruns{0};
  std::vector<PeerMessage> m_received;
};

} // namespace vantrel::test
