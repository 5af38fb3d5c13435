#pragma once
// The process's one JACK client, "Vantrel". Opening a JACK client costs tens
// of milliseconds and maps tens of megabytes, so the device lists, the input
// port and the output port all share this one: it is opened when first
// needed and kept until the process ends.
//
// Its process callback serves the input first and the output second, so a
// message that arrives in a period goes out through thru in the same period.
// Each side is a part attached to the client with its port; detaching waits
// for a running callback to finish, so that once Detach returns the part is
// never called again and may be destroyed.

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel {

// One side of the bridge served by the shared client's process callback.
class IJackProcessPart {
public:
  virtual ~IJackProcessPart() = default;
  // JACK's process thread, once per period while attached, with the part's
  // own port. Never allocates, logs or waits.
  virtual void Process(jack_port_t* port, jack_nframes_t frames) noexcept = 0;
};

class JackMidiClient {
public:
  enum class Side { Input, Output };

  // Opens a client without ever starting a server. Null when no server answers.
  static std::unique_ptr<JackMidiClient> Open();
  ~JackMidiClient();
  JackMidiClient(const JackMidiClient&) = delete;
  JackMidiClient& operator=(const JackMidiClient&) = delete;

  // True once the server has shut down; the client is of no further use.
  bool ServerGone() const { return m_serverGone.load(std::memory_order_relaxed); }

  // Full names of the MIDI ports with these flags (JackPortIsOutput: ports
  // the bridge can read from), in the server's order, without any bridge's
  // own ports.
  std::vector<std::string> PortNames(unsigned long flags);

  // Dialog thread. Registers the side's MIDI port (portName, an input port
  // for Side::Input), then serves part with it from the process callback,
  // activating the client on first use. Null with a sentence when the side
  // is taken already or JACK refuses.
  jack_port_t* Attach(Side side, const char* portName, IJackProcessPart& part, std::string& error);
  // Dialog thread. Stops serving the side, then disconnects and unregisters
  // its port. Once it returns, the part's Process is not running and will
  // not run again. Nothing happens for a side with no part.
  void Detach(Side side);

  // 0, or JACK's non-zero result when the ports cannot be connected.
  int Connect(const std::string& source, const std::string& destination);
  // Dialog thread. Attaches part on the side's own port ("MIDI In", "MIDI
  // Out") and connects it to the device's port: kMidiOk, or kMidiFailed with
  // a sentence. `port` keeps what was attached even when the connection
  // fails, so the caller still detaches it.
  int OpenSide(Side side, IJackProcessPart& part, const std::string& device, jack_port_t*& port,
               std::string& error);

  // Dialog thread. Activates the client if it is not active yet, so that
  // JACK reports ports that come and go (see JackDeviceChangeFd). False
  // when JACK refuses.
  bool Activate();

private:
  explicit JackMidiClient(jack_client_t* client);
  struct Slot {
    std::atomic<IJackProcessPart*> part{nullptr};
    jack_port_t* port = nullptr; // written before part is published
  };

  static int Process(jack_nframes_t frames, void* user);
  static void OnShutdown(void* user);
  bool ActivateLocked(); // caller holds m_controlLock
  Slot& SlotOf(Side side) { return m_slots[side == Side::Input ? 0 : 1]; }

  jack_client_t* m_client;
  std::mutex m_controlLock; // dialog-side calls only; never taken by Process
  bool m_activated = false;
  std::array<Slot, 2> m_slots{}; // input first: Process serves them in order
  std::atomic<bool> m_inProcess{false};
  std::atomic<bool> m_serverGone{false};
};

// The shared client, opened now if there is none or the server it talked to
// has gone. Null when no JACK server answers. Dialog thread.
std::shared_ptr<JackMidiClient> AcquireJackClient();

// Readable after ports or clients have come or gone on the server (or the
// server has shut down) while a client of this process was active; one
// descriptor for the whole process, whichever client reported. Read it
// empty to acknowledge. -1 when no eventfd could be made.
int JackDeviceChangeFd();

// Lets go of the shared client (ports still open keep theirs) and opens a
// fresh one: true when a JACK server answers. Used when the MIDI system is
// chosen, so that the answer reflects the server running now.
bool ReopenJackClient();

// Why the last client that could not be opened was refused by a server that
// answered, as a phrase after "the JACK server"; empty when none answered.
std::string JackRefusal();

} // namespace vantrel
