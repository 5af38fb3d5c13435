#pragma once
// The seam between the MIDI ports and a MIDI system. The ports keep the flags,
// result codes and locking; a backend only opens, starts, stops and closes one
// device and moves bytes. One implementation per system lives beside this
// file; tests substitute their own to count calls.

#include "midi/exclusive_message.h"
#include "midi/midi_message.h"
#include "midi/midi_result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// Where an open input delivers what it receives.
class IMidiReceiver {
public:
  virtual ~IMidiReceiver() = default;
  // Runs on the MIDI system's thread, one message at a time, only while the
  // input is started. Must not allocate, log or wait.
  virtual void Receive(const CMidiMessage& message) noexcept = 0;
  // As Receive, for a system exclusive event: the whole message, or null for
  // one longer than CExclusiveMessage::kMaxSize or not well formed. A
  // receiver that reads none leaves this as it is.
  virtual void ReceiveExclusive(const CExclusiveMessage*) noexcept {}
};

// One open input device. Destroying it closes the device; once the destructor
// has returned no delivery is running or will start.
class IMidiInConnection {
public:
  virtual ~IMidiInConnection() = default;
  // Dialog thread. kMidiOk, or kMidiFailed with a sentence in error.
  virtual int Start(std::string& error) = 0;
  virtual int Stop(std::string& error) = 0;
};

// One open output device. Destroying it closes the device.
class IMidiOutConnection {
public:
  virtual ~IMidiOutConnection() = default;
  // Sends one whole message. Callers serialise calls; any thread. Never waits
  // and never allocates: false when the message could not be queued, with a
  // sentence left in SendError().
  virtual bool Send(const uint8_t* bytes, std::size_t size) noexcept = 0;
  virtual const char* SendError() const noexcept = 0;
};

class IMidiInBackend {
public:
  virtual ~IMidiInBackend() = default;
  // The devices in the system's order, as it lists them now; a device's
  // index is its position here. Dialog thread.
  virtual std::vector<std::string> DeviceNames() = 0;
  // Opens the device at this index, delivering to receiver once started.
  // Null with a sentence in error on failure.
  virtual std::unique_ptr<IMidiInConnection> Open(uint32_t device, IMidiReceiver& receiver,
                                                  std::string& error) = 0;
};

class IMidiOutBackend {
public:
  virtual ~IMidiOutBackend() = default;
  virtual std::vector<std::string> DeviceNames() = 0;
  virtual std::unique_ptr<IMidiOutConnection> Open(uint32_t device, std::string& error) = 0;
};

// The backends of the system that SelectMidiApi chose; they follow the current
// choice at every call, so ports made before the choice work too.
std::unique_ptr<IMidiInBackend> MakeSystemMidiInBackend();
std::unique_ptr<IMidiOutBackend> MakeSystemMidiOutBackend();

} // namespace vantrel
