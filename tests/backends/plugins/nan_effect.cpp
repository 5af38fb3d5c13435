// A LADSPA effect for the tests that plays what a broken effect plays: NaN
// on the left channel whatever comes in, the right channel as it came.
// Declared here from the LADSPA interface, whose header Debian ships only
// with its SDK.

#include <cstdlib>
#include <limits>

namespace {

using Data = float;
using Handle = void*;

struct PortRangeHint {
  int hintDescriptor;
  Data lowerBound;
  Data upperBound;
};

struct Descriptor {
  unsigned long uniqueId;
  const char* label;
  int properties;
  const char* name;
  const char* maker;
  const char* copyright;
  unsigned long portCount;
  const int* portDescriptors;
  const char* const* portNames;
  const PortRangeHint* portRangeHints;
  void* implementationData;
  Handle (*instantiate)(const Descriptor*, unsigned long sampleRate);
  void (*connectPort)(Handle, unsigned long port, Data* location);
  void (*activate)(Handle);
  void (*run)(Handle, unsigned long sampleCount);
  void (*runAdding)(Handle, unsigned long sampleCount);
  void (*setRunAddingGain)(Handle, Data gain);
  void (*deactivate)(Handle);
  void (*cleanup)(Handle);
};

constexpr int kInput = 0x1;
constexpr int kOutput = 0x2;
constexpr int kAudio = 0x8;

struct Ports {
  Data* in[2] = {nullptr, nullptr};
  Data* out[2] = {nullptr, nullptr};
};

const int kPortDescriptors[] = {kInput | kAudio, kInput | kAudio, kOutput | kAudio,
                                kOutput | kAudio};
const char* const kPortNames[] = {"Input L", "Input R", "Output L", "Output R"};
const PortRangeHint kHints[] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};

Handle Instantiate(const Descriptor*, unsigned long) {
  return new Ports;
}

void ConnectPort(Handle handle, unsigned long port, Data* location) {
  auto& ports = *static_cast<Ports*>(handle);
  (port < 2 ? ports.in[port] : ports.out[port - 2]) = location;
}

void Run(Handle handle, unsigned long count) {
  const auto& ports = *static_cast<Ports*>(handle);
  for (unsigned long i = 0; i < count; ++i) {
    ports.out[0][i] = std::numeric_limits<Data>::quiet_NaN();
    ports.out[1][i] = ports.in[1][i];
  }
}

void Cleanup(Handle handle) {
  delete static_cast<Ports*>(handle);
}

const Descriptor kDescriptor{4242001, "nan_left", 0, "NaN on the left", "Vantrel tests", "None",
                             4, kPortDescriptors, kPortNames, kHints, nullptr, Instantiate,
                             ConnectPort, nullptr, Run, nullptr, nullptr, nullptr, Cleanup};

} // namespace

extern "C" __attribute__((visibility("default"))) const Descriptor*
ladspa_descriptor(unsigned long index) {
  return index == 0 ? &kDescriptor : nullptr;
}
