#pragma once
// A MIDI system in memory whose device lists a test changes at will, for
// the ports' backends: devices come and go, opens and starts can be made to
// fail, and
// every open, start, stop and close is logged as "in open 1", "out close 0".
// The receiver of the open input is kept, so a test can deliver messages
// as the system's thread would, and what the open output is sent is noted.

#include "midi/device_watch.h"
#include "midi/midi_device.h"

#include <memory>
#include <string>
#include <vector>

namespace vantrel::test {

struct FakeMidiDevices {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  bool failOpen = false;
  bool failStart = false;
  std::vector<std::string> log;
  IMidiReceiver* receiver = nullptr; // of the open input, or null
  std::vector<std::string> sent;     // each message to an output, as "B0 07 64"
};

std::unique_ptr<IMidiInBackend> MakeFakeInBackend(std::shared_ptr<FakeMidiDevices> devices);
std::unique_ptr<IMidiOutBackend> MakeFakeOutBackend(std::shared_ptr<FakeMidiDevices> devices);

// A device watch that never becomes readable; counts the calls of Follow.
class CountingDeviceWatch : public IDeviceWatch {
public:
  int follows = 0;
  int Fd() const override { return -1; }
  bool Acknowledge() override { return false; }
  void Follow() override { ++follows; }
};

} // namespace vantrel::test
