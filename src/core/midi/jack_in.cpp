#include "midi/jack_in.h"

#include "midi/input_connection.h"
#include "midi/jack_client.h"
#include "midi/midi_backend.h"

#include <jack/midiport.h>

#include <algorithm>
#include <atomic>

namespace vantrel {
namespace {

// JACK orders the writer and the reader of a port buffer with futexes that
// ThreadSanitizer cannot see; its race check is left out of this copy, which
// would otherwise report (and stall the period symbolising the report).
__attribute__((no_sanitize("thread"))) void CopyFromJackBuffer(uint8_t* to, const uint8_t* from,
                                                               std::size_t size) noexcept {
  for (std::size_t i = 0; i < size; ++i) {
    to[i] = from[i];
  }
}

class JackInConnection final : public CInputConnection, private IJackProcessPart {
public:
  JackInConnection(std::shared_ptr<JackMidiClient> client, IMidiReceiver& receiver)
      : CInputConnection(receiver), m_client(std::move(client)) {}

  ~JackInConnection() override {
    // Once detached no delivery is running or will start. Only a connection
    // that got its port attached may detach the side: a failed open must not
    // take away another connection's.
    if (m_port != nullptr) {
      m_client->Detach(JackMidiClient::Side::Input);
    }
  }

  int Open(const std::string& source, std::string& error) {
    return m_client->OpenSide(JackMidiClient::Side::Input, *this, source, m_port, error);
  }

private:
  // JACK's process thread, before the output: each event of this period
  // that is one short message or one system exclusive message goes to the
  // receiver, in order.
  void Process(jack_port_t* port, jack_nframes_t frames) noexcept override {
    if (!Delivering()) {
      return;
    }
    void* buffer = jack_port_get_buffer(port, frames);
    const uint32_t count = jack_midi_get_event_count(buffer);
    if (count == 0) {
      return;
    }
    const uint32_t timestamp = Timestamp();
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event{};
      if (jack_midi_event_get(&event, buffer, i) != 0) {
        continue;
      }
      // Room for a system exclusive message a surface reads; a longer one
      // is refused by its size without being read further.
      uint8_t bytes[CExclusiveMessage::kMaxSize];
      CopyFromJackBuffer(bytes, event.buffer, std::min(event.size, sizeof bytes));
      Deliver(bytes, event.size, timestamp);
    }
  }

  std::shared_ptr<JackMidiClient> m_client;
  jack_port_t* m_port = nullptr;
};

} // namespace

std::unique_ptr<IMidiInConnection> OpenJackIn(const std::string& source, IMidiReceiver& receiver,
                                              std::string& error) {
  std::shared_ptr<JackMidiClient> client = AcquireJackClient();
  if (client == nullptr) {
    error = "Cannot open the MIDI input: no JACK server answers.";
    return nullptr;
  }
  auto connection = std::make_unique<JackInConnection>(std::move(client), receiver);
  if (connection->Open(source, error) != kMidiOk) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
