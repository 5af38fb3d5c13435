#pragma once
// The JACK client of a benchmark's peer: opened without starting a server,
// with the MIDI ports "in" and "out" it asks for, active once built and
// closed when it goes. Its owner declares it last, so the process callback
// (given the owner) only runs once everything else of the owner is built
// and stops before any of it goes.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <string>

namespace vantrel::bench {

class BenchJackClient {
public:
  BenchJackClient(const std::string& name, bool in, bool out, JackProcessCallback process,
                  void* owner)
      : m_wantsIn(in), m_wantsOut(out) {
    m_client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (m_client == nullptr) {
      return;
    }
    if (out) {
      m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    }
    if (in) {
      m_in = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    }
    jack_set_process_callback(m_client, process, owner);
    jack_activate(m_client);
  }
  ~BenchJackClient() {
    if (m_client != nullptr) {
      jack_client_close(m_client);
    }
  }
  BenchJackClient(const BenchJackClient&) = delete;
  BenchJackClient& operator=(const BenchJackClient&) = delete;

  bool Ok() const {
    return m_client != nullptr && (!m_wantsIn || m_in != nullptr) &&
           (!m_wantsOut || m_out != nullptr);
  }
  jack_client_t* Client() const { return m_client; }
  jack_port_t* In() const { return m_in; }
  jack_port_t* Out() const { return m_out; }
  std::string InName() const { return jack_port_name(m_in); }
  std::string OutName() const { return jack_port_name(m_out); }

private:
  bool m_wantsIn;
  bool m_wantsOut;
  jack_client_t* m_client = nullptr;
  jack_port_t* m_in = nullptr;
  jack_port_t* m_out = nullptr;
};

} // namespace vantrel::bench
