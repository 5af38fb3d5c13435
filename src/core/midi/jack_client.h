#pragma once
// The process's one JACK client, "Vantrel". Opening a JACK client costs tens
// of milliseconds and maps tens of megabytes, so the device lists, the input
// port and the output port all share this one: it is opened when first
// needed and kept until the process ends.
//
// Its process callback serves the input first and the output second, so a
// message that arrives in a period goes out through thru in the same period.
// Each side is a part attached to the client; detaching waits for a running
// callback to finish, so that once Detach returns the part is never called
// again and may be destroyed.

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
  // JACK's process thread, once per period while attached. Never allocates,
  // logs or waits.
  virtual void Process(jack_nframes_t frames) noexcept = 0;
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
  bool ServerGone() const { return serverGone_.load(std::memory_order_relaxed); }

  // Full names of the MIDI ports with these flags (JackPortIsOutput: ports
  // the bridge can read from), in the server's order, without any bridge's
  // own ports.
  std::vector<std::string> PortNames(unsigned long flags);

  // Registers a MIDI port of this client; null with a sentence on failure.
  jack_port_t* RegisterPort(const char* name, unsigned long flags, std::string& error);
  // Disconnects the port, then takes it away.
  void UnregisterPort(jack_port_t* port);
  // 0, or JACK's non-zero result when the ports cannot be connected.
  int Connect(const std::string& source, const std::string& destination);

  // Dialog thread. Makes part the one served for this side and activates the
  // client on first use. False when the side already has a part or JACK
  // refuses to activate.
  bool Attach(Side side, IJackProcessPart& part, std::string& error);
  // Dialog thread. Once it returns, the part's Process is not running and
  // will not run again.
  void Detach(Side side);

private:
  explicit JackMidiClient(jack_client_t* client);
  static int Process(jack_nframes_t frames, void* user);
  static void OnShutdown(void* user);

  jack_client_t* client_;
  std::mutex controlLock_; // dialog-side calls only; never taken by Process
  bool activated_ = false;
  std::array<std::atomic<IJackProcessPart*>, 2> parts_{};
  std::atomic<bool> inProcess_{false};
  std::atomic<bool> serverGone_{false};
};

// The shared client, opened now if there is none or the server it talked to
// has gone. Null when no JACK server answers. Dialog thread.
std::shared_ptr<JackMidiClient> AcquireJackClient();

// Lets go of the shared client (ports still open keep theirs) and opens a
// fresh one: true when a JACK server answers. Used when the MIDI system is
// chosen, so that the answer reflects the server running now.
bool ReopenJackClient();

} // namespace vantrel
