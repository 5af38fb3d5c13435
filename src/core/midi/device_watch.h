#pragma once
// Tells the dialog thread (or the headless loop) that the MIDI system's
// device lists may have changed, through a descriptor it watches beside the
// controller queue's: JACK's port and client registration notices, the ALSA
// sequencer's announcements, or, where a system reports nothing, a timer
// that asks for a fresh look every second. Nothing here runs on the MIDI
// thread, and nothing here asks for the lists: whoever is woken compares
// them.

#include "midi/midi_backend.h"

#include <memory>

namespace vantrel {

class IDeviceWatch {
public:
  virtual ~IDeviceWatch() = default;
  // Readable while a change may be waiting to be looked at.
  virtual int Fd() const = 0;
  // Dialog thread, when Fd is readable: clears it. True when the lists may
  // have changed.
  virtual bool Acknowledge() = 0;
  // Dialog thread: a chosen device is missing, so its return must be
  // noticed even though no device of this process is open.
  virtual void Follow() {}
};

// The watch for the system SelectMidiApi chose, or null when there is none.
std::unique_ptr<IDeviceWatch> MakeSystemDeviceWatch();

// The watch that looks again every interval, for systems that report
// nothing. Null when no timer can be made.
std::unique_ptr<IDeviceWatch> MakePollingDeviceWatch(int intervalMilliseconds);

// Whether an ALSA sequencer event type from the announce port changes the
// device lists: clients and ports that start, exit or change.
bool IsDeviceListEvent(int alsaEventType);

} // namespace vantrel
