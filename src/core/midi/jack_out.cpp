#include "midi/jack_out.h"

#include "midi/jack_client.h"
#include "midi/midi_backend.h"
#include "midi/spsc_ring.h"

#include <jack/midiport.h>

#include <array>
#include <cstring>

namespace vantrel {
namespace {

struct QueuedMessage {
  std::array<uint8_t, 3> bytes{};
  uint8_t size = 0;
};

class JackOutConnection final : public IMidiOutConnection, private IJackProcessPart {
public:
  explicit JackOutConnection(std::shared_ptr<JackMidiClient> client) : client_(std::move(client)) {}

  ~JackOutConnection() override {
    // Only a connection that got its port attached may detach the side: a
    // failed open must not take away another connection's.
    if (port_ != nullptr) {
      client_->Detach(JackMidiClient::Side::Output);
    }
  }

  int Open(const std::string& destination, std::string& error) {
    std::string reason;
    port_ = client_->Attach(JackMidiClient::Side::Output, kMidiOutPortName, *this, reason);
    if (port_ == nullptr) {
      error = "Cannot open the MIDI output: " + reason;
      return 100;
    }
    if (client_->Connect(jack_port_name(port_), destination) != 0) {
      error = "Cannot connect the MIDI output to \"" + destination + "\".";
      return 100;
    }
    return 0;
  }

  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    if (client_->ServerGone()) {
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
  // JACK's process thread, after the input: moves what is queued into this
  // period's buffer, all at its first frame. What does not fit waits for the
  // next period.
  void Process(jack_port_t* port, jack_nframes_t frames) noexcept override {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    QueuedMessage message;
    while (ring_.Peek(message)) {
      if (jack_midi_event_write(buffer, 0, message.bytes.data(), message.size) != 0) {
        break;
      }
      ring_.Discard();
    }
  }

  std::shared_ptr<JackMidiClient> client_;
  jack_port_t* port_ = nullptr;
  SpscRing<QueuedMessage, 4096> ring_;
  char error_[64] = {};
};

} // namespace

std::unique_ptr<IMidiOutConnection> OpenJackOut(const std::string& destination,
                                                std::string& error) {
  std::shared_ptr<JackMidiClient> client = AcquireJackClient();
  if (client == nullptr) {
    error = "Cannot open the MIDI output: no JACK server answers.";
    return nullptr;
  }
  auto connection = std::make_unique<JackOutConnection>(std::move(client));
  if (connection->Open(destination, error) != 0) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
