#pragma once
// IMixerServer spoken as the method table: each operation becomes its
// Method and its arguments in order, so a mixer that works in methods (the
// D-Bus client, a recorder) writes one setter and one getter instead of one
// function per operation. Dialog thread only.

#include "mixer/dbus_mixer_protocol.h"

#include <initializer_list>

namespace vantrel {

class CMethodMixerServer : public IMixerServer {
public:
  int SetMasterVolume(int32_t channel, int32_t gain) override;
  int GetMasterVolume(int32_t channel, int32_t& gain) override;
  int SetSourceVolume(int32_t type, int32_t index, int32_t gain) override;
  int GetSourceVolume(int32_t type, int32_t index, int32_t& gain) override;
  int SetSourcePan(int32_t type, int32_t index, int32_t pan) override;
  int GetSourcePan(int32_t type, int32_t index, int32_t& pan) override;
  int GetSendBus(int32_t type, int32_t index, int32_t send, int32_t& bus) override;
  int SetSendLevel(int32_t type, int32_t index, int32_t send, int32_t level) override;
  int GetSendLevel(int32_t type, int32_t index, int32_t send, int32_t& level) override;
  int SetAuxEffect(int32_t aux, int32_t effect) override;
  int32_t IsBusRouted(int32_t bus) override;
  int32_t IsBusOnOutput(int32_t bus) override;
  int GetBusEffect(int32_t bus, int32_t& effect) override;
  int GetBusOutput(int32_t bus, int32_t& digital, int32_t& pair, int32_t& third) override;
  int SetBusLevel(int32_t bus, int32_t level) override;
  int GetBusLevel(int32_t bus, int32_t& level) override;
  int SetRecordLevel(int32_t level) override;
  int GetRecordLevel(int32_t& level) override;
  int SetMasterMute(int32_t muted) override;
  int GetMasterMute(int32_t& muted) override;
  int SetSourceMute(int32_t type, int32_t index, int32_t muted) override;
  int GetSourceMute(int32_t type, int32_t index, int32_t& muted) override;
  int SetBusMute(int32_t bus, int32_t muted) override;
  int GetBusMute(int32_t bus, int32_t& muted) override;
  int SetRecordMute(int32_t muted) override;
  int GetRecordMute(int32_t& muted) override;

protected:
  // A setter with its arguments: kMixerOk or kMixerFailed.
  virtual int Set(mixer_dbus::Method method, std::initializer_list<int32_t> args) = 0;
  // A getter with its arguments; `out` holds one cell per result, in the
  // table's order. kMixerOk with every cell written, or kMixerFailed with
  // none written.
  virtual int Get(mixer_dbus::Method method, std::initializer_list<int32_t> args,
                  std::initializer_list<int32_t*> out) = 0;
};

} // namespace vantrel
