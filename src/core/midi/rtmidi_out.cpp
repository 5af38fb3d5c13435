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
      out_ = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kMidiClientName);
      out_->setErrorCallback(&RtMidiOutConnection::OnError, this);
      const std::vector<RtMidiPort> ports = VisiblePorts(*out_);
      if (device >= ports.size()) {
        error = "The MIDI output device " + std::to_string(device) + " is gone.";
        return 100;
      }
      failed_ = false;
      out_->openPort(ports[device].number, kMidiOutPortName);
      if (failed_ || !out_->isPortOpen()) {
        error = "Cannot open the MIDI output \"" + ports[device].name + "\"" +
                (failed_ ? std::string(": ") + error_.data() : std::string("."));
        return 100;
      }
      return 0;
    } catch (const std::exception& e) {
      error = std::string("Cannot open the MIDI output: ") + e.what();
      return 100;
    }
  }

  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    failed_ = false;
    try {
      out_->sendMessage(bytes, size);
    } catch (const std::exception& e) {
      Keep(e.what());
    }
    return !failed_;
  }

  const char* SendError() const noexcept override { return error_.data(); }

private:
  // Runs on the thread that called into RtMidi, under the output port's lock
  // when sending. Copies into a fixed buffer: no allocation.
  static void OnError(RtMidiError::Type, const std::string& text, void* user) {
    static_cast<RtMidiOutConnection*>(user)->Keep(text.c_str());
  }

  void Keep(const char* text) noexcept {
    failed_ = true;
    const std::size_t length = std::min(std::strlen(text), error_.size() - 1);
    std::memcpy(error_.data(), text, length);
    error_[length] = '\0';
  }

  std::unique_ptr<RtMidiOut> out_;
  bool failed_ = false;
  std::array<char, 200> error_{};
};

} // namespace

std::unique_ptr<IMidiOutConnection> OpenRtMidiOut(uint32_t device, std::string& error) {
  auto connection = std::make_unique<RtMidiOutConnection>();
  if (connection->Open(device, error) != 0) {
    return nullptr;
  }
  return connection;
}

} // namespace vantrel
