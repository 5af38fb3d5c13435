#include "support/jack_peer.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace vantrel::test {

void PrintTo(const PeerMessage& message, std::ostream* out) {
  *out << "port " << message.port << ":";
  for (const uint8_t byte : message.bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", byte);
    *out << hex;
  }
}

namespace {

// JACK orders the writer and the reader of a port buffer with futexes that
// ThreadSanitizer cannot see. Its race check on this copy would report (and
// stall the peer's cycle symbolising the report); the copy is left out of it.
__attribute__((no_sanitize("thread"))) void CopyFromJackBuffer(uint8_t* to, const uint8_t* from,
                                                               std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    to[i] = from[i];
  }
}

} // namespace

std::string JackTestServerProblem() {
  const char* server = std::getenv("JACK_DEFAULT_SERVER");
  if (server == nullptr || *server == '\0') {
    return "JACK_DEFAULT_SERVER is not set: run the tests through scripts/with-test-services.sh, "
           "which starts a private JACK server, so that no real server is touched.";
  }
  return {};
}

JackPeer::JackPeer(std::string name) {
  if (m_error = JackTestServerProblem(); !m_error.empty()) {
    return;
  }
  if (name.empty()) {
    name = "vt-peer-" + std::to_string(getpid());
  }
  jack_status_t status{};
  m_client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (m_client == nullptr) {
    m_error = "The test peer cannot reach the private JACK server.";
    return;
  }
  for (int i = 0; i < kPorts; ++i) {
    const std::string suffix = std::to_string(i + 1);
    m_outputs[i] = jack_port_register(m_client, ("out" + suffix).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                      JackPortIsOutput, 0);
    m_inputs[i] = jack_port_register(m_client, ("in" + suffix).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                     JackPortIsInput, 0);
    if (m_outputs[i] == nullptr || m_inputs[i] == nullptr) {
      m_error = "The test peer cannot register its ports.";
      return;
    }
  }
  jack_set_process_callback(m_client, &JackPeer::Process, this);
  jack_set_xrun_callback(m_client, &JackPeer::OnXrun, this);
  if (jack_activate(m_client) != 0) {
    m_error = "The test peer cannot activate its client.";
  }
}

JackPeer::~JackPeer() {
  if (m_client != nullptr) {
    jack_client_close(m_client);
  }
}

std::string JackPeer::OutputName(int port) const {
  return jack_port_name(m_outputs.at(port));
}

std::string JackPeer::InputName(int port) const {
  return jack_port_name(m_inputs.at(port));
}

bool JackPeer::Send(int port, std::vector<uint8_t> bytes) {
  Event event;
  if (bytes.empty() || bytes.size() > event.bytes.size()) {
    return false;
  }
  event.size = static_cast<uint8_t>(bytes.size());
  event.port = static_cast<uint8_t>(port);
  std::memcpy(event.bytes.data(), bytes.data(), bytes.size());
  return m_outgoing.Push(event);
}

bool JackPeer::SendQueueEmpty() const {
  Event event;
  return !m_outgoing.Peek(event);
}

int JackPeer::Process(jack_nframes_t frames, void* user) {
  auto* self = static_cast<JackPeer*>(user);
  // Copies every input event first: the buffers belong to the senders, and
  // a sender that runs its next cycle early clears them.
  std::array<Event, 256> arrived{};
  std::size_t arrivedCount = 0;
  for (int i = 0; i < kPorts; ++i) {
    void* in = jack_port_get_buffer(self->m_inputs[i], frames);
    const uint32_t count = jack_midi_get_event_count(in);
    for (uint32_t e = 0; e < count && arrivedCount < arrived.size(); ++e) {
      jack_midi_event_t midi{};
      if (jack_midi_event_get(&midi, in, e) != 0) {
        continue;
      }
      Event& event = arrived[arrivedCount++];
      event.port = static_cast<uint8_t>(i);
      event.size = static_cast<uint8_t>(std::min<std::size_t>(midi.size, event.bytes.size()));
      CopyFromJackBuffer(event.bytes.data(), midi.buffer, event.size);
    }
  }
  for (std::size_t e = 0; e < arrivedCount; ++e) {
    if (!self->m_incoming.Push(arrived[e])) {
      self->m_incomingLost.fetch_add(1);
    }
  }
  std::array<void*, kPorts> out{};
  for (int i = 0; i < kPorts; ++i) {
    out[i] = jack_port_get_buffer(self->m_outputs[i], frames);
    jack_midi_clear_buffer(out[i]);
  }
  const unsigned pacing = self->m_pacing.load();
  Event event;
  for (unsigned sent = 0; sent < pacing && self->m_outgoing.Peek(event); ++sent) {
    // Spread paced messages over the period as a device's would be.
    const jack_nframes_t frame = pacing == ~0u ? 0 : sent * frames / pacing;
    if (jack_midi_event_write(out[event.port], frame, event.bytes.data(), event.size) != 0) {
      break;
    }
    self->m_outgoing.Discard();
  }
  return 0;
}

int JackPeer::OnXrun(void* user) {
  static_cast<JackPeer*>(user)->m_xruns.fetch_add(1);
  return 0;
}

void JackPeer::Drain() {
  Event event;
  while (m_incoming.Pop(event)) {
    m_received.push_back(
        {std::vector<uint8_t>(event.bytes.begin(), event.bytes.begin() + event.size), event.port});
  }
}

std::vector<PeerMessage> JackPeer::WaitForReceived(std::size_t count,
                                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Drain();
  while (m_received.size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Drain();
  }
  return m_received;
}

void JackPeer::ClearReceived() {
  Drain();
  m_received.clear();
}

std::vector<PeerMessage> JackPeer::ReceivedAfterQuiet() {
  const auto period = std::chrono::microseconds(static_cast<int64_t>(PeriodFrames()) * 1'000'000 /
                                                std::max<jack_nframes_t>(SampleRate(), 1));
  std::this_thread::sleep_for(period * 8 + std::chrono::milliseconds(20));
  Drain();
  return m_received;
}

namespace {

std::vector<std::string> TakeNames(const char** names) {
  std::vector<std::string> result;
  if (names != nullptr) {
    for (const char** name = names; *name != nullptr; ++name) {
      result.emplace_back(*name);
    }
    jack_free(static_cast<void*>(names));
  }
  return result;
}

} // namespace

std::vector<std::string> JackPeer::AllPorts() const {
  return TakeNames(jack_get_ports(m_client, nullptr, nullptr, 0));
}

std::vector<std::string> JackPeer::ConnectionsOf(const std::string& port) const {
  jack_port_t* handle = jack_port_by_name(m_client, port.c_str());
  return handle == nullptr ? std::vector<std::string>()
                           : TakeNames(jack_port_get_all_connections(m_client, handle));
}

jack_nframes_t JackPeer::PeriodFrames() const {
  return jack_get_buffer_size(m_client);
}

jack_nframes_t JackPeer::SampleRate() const {
  return jack_get_sample_rate(m_client);
}

} // namespace vantrel::test
