#include "midi/rtmidi_out.h"

#include "midi/midi_backend.h"
#include "midi/rtmidi_ports.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

class RtMidiOutConnection final : public IMidiOutConnection {
public:
  int Open(uint32_t device, std::string& error) {
    try {
      m_out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kMidiClientName);
      m_out->setErrorCallback(&RtMidiOutConnection::OnError, this);
      const std::vector<RtMidiPort> ports = VisiblePorts(*m_out);
      if (device >= ports.size()) {
        error = "The MIDI output device " + std::to_string(device) + " is gone.";
        return kMidiFailed;
      }
      m_failed = false;
      m_out->openPort(ports[device].number, kMidiOutPortName);
      if (m_failed || !m_out->isPortOpen()) {
        error = "Cannot open the MIDI output \"" + ports[device].name + "\"" +
                (m_failed ? std::string(": ") + m_error.data() : std::string("."));
        return kMidiFailed;
      }
      return kMidiOk;
    } catch (const std::exception& e) {
      error = std::string("Cannot open the MIDI output: ") + e.what();
      return kMidiFailed;
    }
  }

  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    m_failed = false;
    try {
      m_out->sendMessage(bytes, size);
    } catch (const std::exception& e) {
      Keep(e.what());
    }
    return !m_failed;
  }

  const char* SendError() const noexcept override { return m_error.data(); }

private:
  // Runs on the thread that called into RtMidi, under the output port's lock
  // when sending. Copies into a fixed buffer: no allocation.
  static void OnError(RtMidiError::Type, const std::string& text, void* user) {
    static_cast<RtMidiOutConnection*>(user)->Keep(text.c_str());
  }

  void Keep(const char* text) noexcept {
    m_failed = true;
    const std::size_t length = std::min(std::strlen(text), m_error.size() - 1);
    std::memcpy(m_error.data(), text, length);
    m_error[length] = '\0';
  }

  std::unique_ptr<RtMidiOut> m_out;
  bool m_failed = false;
  std::array<char, 200> m_error{};
};

} // namespace

std::unique_ptr<IMidiOutConnection> OpenRtMidiOut(uint32_t device, std::string& error) {
  auto connection = std::make_unique<RtMidiOutConnection>();
  if (connection->Open(device, error) != kMidiOk) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
