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

JackPeer::JackPeer() {
  if (error_ = JackTestServerProblem(); !error_.empty()) {
    return;
  }
  const std::string name = "vt-peer-" + std::to_string(getpid());
  jack_status_t status{};
  client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (client_ == nullptr) {
    error_ = "The test peer cannot reach the private JACK server.";
    return;
  }
  for (int i = 0; i < kPorts; ++i) {
    const std::string suffix = std::to_string(i + 1);
    outputs_[i] = jack_port_register(client_, ("out" + suffix).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                     JackPortIsOutput, 0);
    inputs_[i] = jack_port_register(client_, ("in" + suffix).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                    JackPortIsInput, 0);
    if (outputs_[i] == nullptr || inputs_[i] == nullptr) {
      error_ = "The test peer cannot register its ports.";
      return;
    }
  }
  jack_set_process_callback(client_, &JackPeer::Process, this);
  jack_set_xrun_callback(client_, &JackPeer::OnXrun, this);
  if (jack_activate(client_) != 0) {
    error_ = "The test peer cannot activate its client.";
  }
}

JackPeer::~JackPeer() {
  if (client_ != nullptr) {
    jack_client_close(client_);
  }
}

std::string JackPeer::OutputName(int port) const {
  return jack_port_name(outputs_.at(port));
}

std::string JackPeer::InputName(int port) const {
  return jack_port_name(inputs_.at(port));
}

bool JackPeer::Send(int port, std::vector<uint8_t> bytes) {
  Event event;
  if (bytes.empty() || bytes.size() > event.bytes.size()) {
    return false;
  }
  event.size = static_cast<uint8_t>(bytes.size());
  event.port = static_cast<uint8_t>(port);
  std::memcpy(event.bytes.data(), bytes.data(), bytes.size());
  return outgoing_.Push(event);
}

bool JackPeer::SendQueueEmpty() const {
  Event event;
  return !outgoing_.Peek(event);
}

int JackPeer::Process(jack_nframes_t frames, void* user) {
  auto* self = static_cast<JackPeer*>(user);
  // Copies every input event first: the buffers belong to the senders, and
  // a sender that runs its next cycle early clears them.
  std::array<Event, 256> arrived{};
  std::size_t arrivedCount = 0;
  for (int i = 0; i < kPorts; ++i) {
    void* in = jack_port_get_buffer(self->inputs_[i], frames);
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
    if (!self->incoming_.Push(arrived[e])) {
      self->incomingLost_.fetch_add(1);
    }
  }
  std::array<void*, kPorts> out{};
  for (int i = 0; i < kPorts; ++i) {
    out[i] = jack_port_get_buffer(self->outputs_[i], frames);
    jack_midi_clear_buffer(out[i]);
  }
  const unsigned pacing = self->pacing_.load();
  Event event;
  for (unsigned sent = 0; sent < pacing && self->outgoing_.Peek(event); ++sent) {
    // Spread paced messages over the period as a device's would be.
    const jack_nframes_t frame = pacing == ~0u ? 0 : sent * frames / pacing;
    if (jack_midi_event_write(out[event.port], frame, event.bytes.data(), event.size) != 0) {
      break;
    }
    self->outgoing_.Discard();
  }
  return 0;
}

int JackPeer::OnXrun(void* user) {
  static_cast<JackPeer*>(user)->xruns_.fetch_add(1);
  return 0;
}

void JackPeer::Drain() {
  Event event;
  while (incoming_.Pop(event)) {
    received_.push_back(
        {std::vector<uint8_t>(event.bytes.begin(), event.bytes.begin() + event.size), event.port});
  }
}

std::vector<PeerMessage> JackPeer::WaitForReceived(std::size_t count,
                                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Drain();
  while (received_.size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Drain();
  }
  return received_;
}

void JackPeer::ClearReceived() {
  Drain();
  received_.clear();
}

std::vector<PeerMessage> JackPeer::ReceivedAfterQuiet() {
  const auto period = std::chrono::microseconds(static_cast<int64_t>(PeriodFrames()) * 1'000'000 /
                                                std::max<jack_nframes_t>(SampleRate(), 1));
  std::this_thread::sleep_for(period * 8 + std::chrono::milliseconds(20));
  Drain();
  return received_;
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
  return TakeNames(jack_get_ports(client_, nullptr, nullptr, 0));
}

std::vector<std::string> JackPeer::ConnectionsOf(const std::string& port) const {
  jack_port_t* handle = jack_port_by_name(client_, port.c_str());
  return handle == nullptr ? std::vector<std::string>()
                           : TakeNames(jack_port_get_all_connections(client_, handle));
}

jack_nframes_t JackPeer::PeriodFrames() const {
  return jack_get_buffer_size(client_);
}

jack_nframes_t JackPeer::SampleRate() const {
  return jack_get_sample_rate(client_);
}

} // namespace vantrel::test
