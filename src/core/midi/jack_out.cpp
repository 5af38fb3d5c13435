#include "midi/jack_out.h"

#include "midi/midi_backend.h"
#include "midi/spsc_ring.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <cstring>

namespace vantrel {
namespace {

struct QueuedMessage {
  std::array<uint8_t, 3> bytes{};
  uint8_t size = 0;
};

class JackOutConnection final : public IMidiOutConnection {
public:
  ~JackOutConnection() override {
    if (client_ != nullptr) {
      // Closing deactivates and joins the process thread: once it returns the
      // callback has run for the last time.
      jack_client_close(client_);
    }
  }

  int Open(const std::string& destination, std::string& error) {
    jack_status_t status{};
    client_ = jack_client_open(kMidiClientName, JackNoStartServer, &status);
    if (client_ == nullptr) {
      error = "Cannot open the MIDI output: no JACK server answers.";
      return 100;
    }
    port_ =
        jack_port_register(client_, kMidiOutPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port_ == nullptr) {
      error = "Cannot open the MIDI output: JACK refused to register its port.";
      return 100;
    }
    jack_set_process_callback(client_, &JackOutConnection::Process, this);
    jack_on_shutdown(client_, &JackOutConnection::OnShutdown, this);
    if (jack_activate(client_) != 0) {
      error = "Cannot open the MIDI output: JACK refused to activate its client.";
      return 100;
    }
    if (jack_connect(client_, jack_port_name(port_), destination.c_str()) != 0) {
      error = "Cannot connect the MIDI output to \"" + destination + "\".";
      return 100;
    }
    return 0;
  }

  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    if (serverGone_.load(std::memory_order_relaxed)) {
      std::strcpy(error_, "The JACK server has shut down; the message is lost.");
      return false;
    }
    QueuedMessage message;
    std::memcpy(message.bytes.data(), bytes, size);
    message.size = static_cast<uint8_t>(size);
    if (!ring_.Push(message)) {
      std::strcpy(error_, "The MIDI output queue is full; the message is dropped.");
      return false;
    }
    return true;
  }

  const char* SendError() const noexcept override { return error_; }

private:
  // JACK's process thread: moves what is queued into this period's buffer,
  // all at its first frame. What does not fit waits for the next period.
  static int Process(jack_nframes_t frames, void* user) {
    auto* self = static_cast<JackOutConnection*>(user);
    void* buffer = jack_port_get_buffer(self->port_, frames);
    jack_midi_clear_buffer(buffer);
    QueuedMessage message;
    while (self->ring_.Peek(message)) {
      if (jack_midi_event_write(buffer, 0, message.bytes.data(), message.size) != 0) {
        break;
      }
      self->ring_.Discard();
    }
    return 0;
  }

  static void OnShutdown(void* user) {
    static_cast<JackOutConnection*>(user)->serverGone_.store(true, std::memory_order_relaxed);
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  SpscRing<QueuedMessage, 4096> ring_;
  std::atomic<bool> serverGone_{false};
  char error_[64] = {};
};

} // namespace

std::unique_ptr<IMidiOutConnection> OpenJackOut(const std::string& destination,
                                                std::string& error) {
  auto connection = std::make_unique<JackOutConnection>();
  if (connection->Open(destination, error) != 0) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
