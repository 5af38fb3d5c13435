#pragma once
// The MIDI objects that live for the whole run, in their construction order:
// input port, output port, receive lock, controller queue. Members are
// destroyed in reverse, which would take the receive lock away while input
// may still be delivering; so the destructor first stops and closes the
// input, and only then do the members go. Make one before the application
// object runs and keep it until the process ends.

#include "midi/controller_queue.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

#include <memory>
#include <mutex>

namespace vantrel {

struct MidiProcessObjects {
  // The input only remembers the lock's address here; nothing can enter the
  // lock before the input is opened, long after construction.
  MidiProcessObjects() : input(*std::addressof(receiveLock)) {}
  ~MidiProcessObjects() {
    input.Stop();
    input.Close();
  }
  MidiProcessObjects(const MidiProcessObjects&) = delete;
  MidiProcessObjects& operator=(const MidiProcessObjects&) = delete;

  CBridgeMidiIn input;
  CMidiOutPort output;
  // Taken only by the input's delivery, around each message.
  std::mutex receiveLock;
  CControllerQueue controllers;
};

} // namespace vantrel
