#include "midi/jack_out.h"

#include "midi/jack_client.h"
#include "midi/midi_backend.h"
#include "midi/spsc_ring.h"

#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// How long opening waits for the new wire, and closing for queued messages
// to reach the server. A running server takes a few periods; one that has
// stopped answering must not hold up the window or a stop signal for longer
// than this.
constexpr auto kFlushLimit = 250ms;

// Room for a short message or a surface's display text (a system exclusive
// message of the output port's largest size).
struct QueuedMessage {
  std::array<uint8_t, 32> bytes{};
  uint8_t size = 0;
};

class JackOutConnection final : public IMidiOutConnection, private IJackProcessPart {
public:
  explicit JackOutConnection(std::shared_ptr<JackMidiClient> client)
      : m_client(std::move(client)) {}

  ~JackOutConnection() override {
    // Only a connection that got its port attached may detach the side: a
    // failed open must not take away another connection's.
    if (m_port != nullptr) {
      Flush();
      m_client->Detach(JackMidiClient::Side::Output);
    }
  }

  // Returns once the wire to the destination carries what is sent: a
  // connection takes effect at a period's start, so a message written in
  // the period that was running when it was made would reach nobody.
  int Open(const std::string& destination, std::string& error) {
    const int result =
        m_client->OpenSide(JackMidiClient::Side::Output, *this, destination, m_port, error);
    if (result == kMidiOk) {
      WaitForPeriods(m_periods.load(std::memory_order_acquire) + 2);
    }
    return result;
  }

  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    if (m_client->ServerGone()) {
      std::strcpy(m_error, "The JACK server has shut down; the message is lost.");
      return false;
    }
    QueuedMessage message;
    if (size > message.bytes.size()) {
      std::strcpy(m_error, "The MIDI message is too long for the output queue.");
      return false;
    }
    std::memcpy(message.bytes.data(), bytes, size);
    message.size = static_cast<uint8_t>(size);
    if (!m_ring.Push(message)) {
      std::strcpy(m_error, "The MIDI output queue is full; the message is dropped.");
      return false;
    }
    return true;
  }

  const char* SendError() const noexcept override { return m_error; }

private:
  // Dialog thread, at close, once nothing is sent any more: every message
  // reported as sent goes out before the port does. Waits until the ring
  // is empty and two more periods have begun: the one that emptied it has
  // then ended (its buffer was read by the connected ports), and the last
  // one cleared the buffer, so nothing is read twice once the callback
  // stops serving the port.
  void Flush() {
    const auto deadline = std::chrono::steady_clock::now() + kFlushLimit;
    while (!m_client->ServerGone() && std::chrono::steady_clock::now() < deadline) {
      const uint64_t periods = m_periods.load(std::memory_order_acquire);
      if (m_ring.Empty()) {
        WaitForPeriods(periods + 2, deadline);
        return;
      }
      std::this_thread::sleep_for(1ms);
    }
  }

  // Dialog thread: until `count` process calls have begun, the server is
  // gone or the deadline passes.
  void WaitForPeriods(uint64_t count, std::chrono::steady_clock::time_point deadline =
                                          std::chrono::steady_clock::now() + kFlushLimit) {
    while (m_periods.load(std::memory_order_acquire) < count && !m_client->ServerGone() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
  }

  // JACK's process thread, after the input: moves what is queued into this
  // period's buffer, all at its first frame. What does not fit waits for the
  // next period.
  void Process(jack_port_t* port, jack_nframes_t frames) noexcept override {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    QueuedMessage message;
    while (m_ring.Peek(message)) {
      if (jack_midi_event_write(buffer, 0, message.bytes.data(), message.size) != 0) {
        break;
      }
      m_ring.Discard();
    }
    m_periods.fetch_add(1, std::memory_order_release);
  }

  std::shared_ptr<JackMidiClient> m_client;
  jack_port_t* m_port = nullptr;
  SpscRing<QueuedMessage, 4096> m_ring;
  std::atomic<uint64_t> m_periods{0}; // Process calls so far
  char m_error[64] = {};
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
  if (connection->Open(destination, error) != kMidiOk) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
