#pragma once
// IMixerServer over D-Bus: each call goes to whoever owns org.vantrel.Mixer
// at that moment, so a restarted server is reached without re-creating
// anything. Getters wait for the answer (up to a short timeout) and write
// their out-arguments only on success; setters are sent without waiting.
// Calls never start a server through bus activation: when nobody owns the
// name they fail at once. Dialog thread only.

#include "mixer/mixer_server.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace sdbus {
class IConnection;
class IProxy;
} // namespace sdbus

namespace vantrel {

namespace mixer_dbus {
enum class Method : int;
}

class DbusMixerServer final : public IMixerServer {
public:
  // `connection` must outlive this object and must not run an event loop of
  // its own: calls are made on the caller's thread.
  explicit DbusMixerServer(sdbus::IConnection& connection,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
  ~DbusMixerServer() override;
  DbusMixerServer(const DbusMixerServer&) = delete;
  DbusMixerServer& operator=(const DbusMixerServer&) = delete;

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

  // The routing additions of the server, for tools and tests.
  int SetSendBus(int32_t type, int32_t index, int32_t send, int32_t bus);
  int SetBusRouted(int32_t bus, int32_t routed);
  int SetBusOutput(int32_t bus, int32_t digital, int32_t pair);

private:
  int Set(mixer_dbus::Method method, std::initializer_list<int32_t> args);
  // Pushes queued setters to the server within a short time budget.
  void FlushSetters();
  // Writes the results into `out` only when the whole answer arrived.
  int Get(mixer_dbus::Method method, std::initializer_list<int32_t> args,
          std::initializer_list<int32_t*> out);

  sdbus::IConnection& m_connection;
  std::unique_ptr<sdbus::IProxy> m_proxy;
  uint64_t m_timeoutUsec;
  bool m_stalled = false; // the server left the last flush unfinished
};

} // namespace vantrel
