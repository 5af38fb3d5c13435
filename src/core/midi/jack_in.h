#pragma once
// Input straight through libjack, on the process's shared JACK client: the
// port "MIDI In", read by the client's process callback, which delivers on
// JACK's process thread.

#include "midi/midi_device.h"
#include "midi/midi_message.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantrel {

// Registers the input port on the shared client and connects the JACK output
// port of that full name to it. Never starts a JACK server.
std::unique_ptr<IMidiInConnection> OpenJackIn(const std::string& source, IMidiReceiver& receiver,
                                              std::string& error);

// Reads one JACK MIDI event as one short message: it must start with a status
// byte (not 0xF0 or 0xF7) and hold that message's data bytes, each below 0x80.
// Bytes after the message are ignored; events of more than three bytes
// (system exclusive) are refused. The timestamp is left as it is.
bool ShortMessageFromEvent(const uint8_t* bytes, std::size_t size, CMidiMessage& message) noexcept;

} // namespace vantrel
