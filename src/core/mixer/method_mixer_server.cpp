#include "mixer/method_mixer_server.h"

namespace vantrel {

using mixer_dbus::Method;

int CMethodMixerServer::SetMasterVolume(int32_t channel, int32_t gain) {
  return Set(Method::SetMasterVolume, {channel, gain});
}
int CMethodMixerServer::GetMasterVolume(int32_t channel, int32_t& gain) {
  return Get(Method::GetMasterVolume, {channel}, {&gain});
}
int CMethodMixerServer::SetSourceVolume(int32_t type, int32_t index, int32_t gain) {
  return Set(Method::SetSourceVolume, {type, index, gain});
}
int CMethodMixerServer::GetSourceVolume(int32_t type, int32_t index, int32_t& gain) {
  return Get(Method::GetSourceVolume, {type, index}, {&gain});
}
int CMethodMixerServer::SetSourcePan(int32_t type, int32_t index, int32_t pan) {
  return Set(Method::SetSourcePan, {type, index, pan});
}
int CMethodMixerServer::GetSourcePan(int32_t type, int32_t index, int32_t& pan) {
  return Get(Method::GetSourcePan, {type, index}, {&pan});
}
int CMethodMixerServer::GetSendBus(int32_t type, int32_t index, int32_t send, int32_t& bus) {
  return Get(Method::GetSendBus, {type, index, send}, {&bus});
}
int CMethodMixerServer::SetSendLevel(int32_t type, int32_t index, int32_t send, int32_t level) {
  return Set(Method::SetSendLevel, {type, index, send, level});
}
int CMethodMixerServer::GetSendLevel(int32_t type, int32_t index, int32_t send,
                                     int32_t& level) {
  return Get(Method::GetSendLevel, {type, index, send}, {&level});
}
int CMethodMixerServer::SetAuxEffect(int32_t aux, int32_t effect) {
  return Set(Method::SetAuxEffect, {aux, effect});
}
int32_t CMethodMixerServer::IsBusRouted(int32_t bus) {
  int32_t result = 0;
  Get(Method::IsBusRouted, {bus}, {&result});
  return result;
}
int32_t CMethodMixerServer::IsBusOnOutput(int32_t bus) {
  int32_t result = 0;
  Get(Method::IsBusOnOutput, {bus}, {&result});
  return result;
}
int CMethodMixerServer::GetBusEffect(int32_t bus, int32_t& effect) {
  return Get(Method::GetBusEffect, {bus}, {&effect});
}
int CMethodMixerServer::GetBusOutput(int32_t bus, int32_t& digital, int32_t& pair,
                                     int32_t& third) {
  return Get(Method::GetBusOutput, {bus}, {&digital, &pair, &third});
}
int CMethodMixerServer::SetBusLevel(int32_t bus, int32_t level) {
  return Set(Method::SetBusLevel, {bus, level});
}
int CMethodMixerServer::GetBusLevel(int32_t bus, int32_t& level) {
  return Get(Method::GetBusLevel, {bus}, {&level});
}
int CMethodMixerServer::SetRecordLevel(int32_t level) {
  return Set(Method::SetRecordLevel, {level});
}
int CMethodMixerServer::GetRecordLevel(int32_t& level) {
  return Get(Method::GetRecordLevel, {}, {&level});
}

int CMethodMixerServer::SetMasterMute(int32_t muted) {
  return Set(Method::SetMasterMute, {muted});
}
int CMethodMixerServer::GetMasterMute(int32_t& muted) {
  return Get(Method::GetMasterMute, {}, {&muted});
}
int CMethodMixerServer::SetSourceMute(int32_t type, int32_t index, int32_t muted) {
  return Set(Method::SetSourceMute, {type, index, muted});
}
int CMethodMixerServer::GetSourceMute(int32_t type, int32_t index, int32_t& muted) {
  return Get(Method::GetSourceMute, {type, index}, {&muted});
}
int CMethodMixerServer::SetBusMute(int32_t bus, int32_t muted) {
  return Set(Method::SetBusMute, {bus, muted});
}
int CMethodMixerServer::GetBusMute(int32_t bus, int32_t& muted) {
  return Get(Method::GetBusMute, {bus}, {&muted});
}
int CMethodMixerServer::SetRecordMute(int32_t muted) {
  return Set(Method::SetRecordMute, {muted});
}
int CMethodMixerServer::GetRecordMute(int32_t& muted) {
  return Get(Method::GetRecordMute, {}, {&muted});
}

} // namespace vantrel
