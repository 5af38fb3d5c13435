#pragma once
// The card's mixer as the program uses it: the operations that pages, labels
// and the controller dispatcher call. The D-Bus implementation talks to
// vantrel-mixerd; tests use a recording fake.
//
// Results: kMixerOk or kMixerFailed. A getter that fails never writes its
// out-arguments, so a caller that only shows values may go on: its zeroed
// cell stays 0. Dialog thread only.

#include <cstdint>

namespace vantrel {

inline constexpr int kMixerOk = 0;
inline constexpr int kMixerFailed = 1;

// Source types of the source operations.
enum SourceType : int32_t {
  kSourceAnalog = 0,  // index 0..3 = Analog 1..4
  kSourceDigital = 1, // index 0..1
  kSourceWave = 2,    // index 0
  kSourceMidi = 3,    // index 0
  kSourceUser = 4,    // index 0..4 = User 1..5
};

inline constexpr int32_t kMixerValueMax = 65535;
inline constexpr int kEffectCount = 16;
inline constexpr int kBusCount = 4;

class IMixerServer {
public:
  virtual ~IMixerServer() = default;

  // True while the server does not keep up (the bus or the server is
  // stopped or slow): getters would fail at once, so whoever shows values
  // keeps what it shows. Setters still queue and arrive in order later.
  virtual bool IsStalled() const { return false; }
  // Setters between these only queue; EndBatch sends them together. Nested
  // batches end with the outermost.
  virtual void BeginBatch() {}
  virtual void EndBatch() {}

  virtual int SetMasterVolume(int32_t channel, int32_t gain) = 0;
  virtual int GetMasterVolume(int32_t channel, int32_t& gain) = 0;
  virtual int SetSourceVolume(int32_t type, int32_t index, int32_t gain) = 0;
  virtual int GetSourceVolume(int32_t type, int32_t index, int32_t& gain) = 0;
  virtual int SetSourcePan(int32_t type, int32_t index, int32_t pan) = 0;
  virtual int GetSourcePan(int32_t type, int32_t index, int32_t& pan) = 0;
  virtual int GetSendBus(int32_t type, int32_t index, int32_t send, int32_t& bus) = 0;
  virtual int SetSendLevel(int32_t type, int32_t index, int32_t send, int32_t level) = 0;
  virtual int GetSendLevel(int32_t type, int32_t index, int32_t send, int32_t& level) = 0;
  virtual int SetAuxEffect(int32_t aux, int32_t effect) = 0;
  // Answers 0 when nothing is on the bus (and when the call fails).
  virtual int32_t IsBusRouted(int32_t bus) = 0;
  // Answers non-zero when the bus goes to an output pair, 0 for an effect
  // (and when the call fails).
  virtual int32_t IsBusOnOutput(int32_t bus) = 0;
  virtual int GetBusEffect(int32_t bus, int32_t& effect) = 0;
  virtual int GetBusOutput(int32_t bus, int32_t& digital, int32_t& pair, int32_t& third) = 0;
  virtual int SetBusLevel(int32_t bus, int32_t level) = 0;
  virtual int GetBusLevel(int32_t bus, int32_t& level) = 0;
  virtual int SetRecordLevel(int32_t level) = 0;
  virtual int GetRecordLevel(int32_t& level) = 0;
  // Mutes: muted 0 (sounding) or 1. The master's mutes both sides.
  virtual int SetMasterMute(int32_t muted) = 0;
  virtual int GetMasterMute(int32_t& muted) = 0;
  virtual int SetSourceMute(int32_t type, int32_t index, int32_t muted) = 0;
  virtual int GetSourceMute(int32_t type, int32_t index, int32_t& muted) = 0;
  virtual int SetBusMute(int32_t bus, int32_t muted) = 0;
  virtual int GetBusMute(int32_t bus, int32_t& muted) = 0;
  virtual int SetRecordMute(int32_t muted) = 0;
  virtual int GetRecordMute(int32_t& muted) = 0;
};

} // namespace vantrel
