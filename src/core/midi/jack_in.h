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

} // namespace vantrel
