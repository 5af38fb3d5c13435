#pragma once
// Output straight through libjack, on the process's shared JACK client.
// RtMidi's JACK output spins until its ring has room, which would make a thru
// send wait on the receive path; this one queues into a preallocated ring
// that the client's process callback drains, and a message that does not fit
// is refused at once.

#include "midi/midi_device.h"

#include <memory>
#include <string>

namespace vantrel {

// Registers the output port "MIDI Out" on the shared client and connects it
// to the JACK input port of that full name. Never starts a JACK server.
std::unique_ptr<IMidiOutConnection> OpenJackOut(const std::string& destination, std::string& error);

} // namespace vantrel
