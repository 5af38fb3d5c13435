#include "mixer/dbus_mixer_server.h"

#include "mixer/dbus_mixer_protocol.h"

#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <poll.h>

namespace vantrel {

using namespace mixer_dbus;
using namespace std::chrono_literals;

namespace {

// sdbus-c++ 1.2 has no call for the NO_AUTO_START flag, so reach the message
// handle through a pointer to the protected member: well-defined, and the
// only way short of bypassing the library for every call.
struct MessageHandle : sdbus::Message {
  static constexpr void* sdbus::Message::*kHandle = &MessageHandle::msg_;
};

void DisableAutoStart(sdbus::MethodCall& call) {
  sd_bus_message_set_auto_start(static_cast<sd_bus_message*>(call.*MessageHandle::kHandle), 0);
}

} // namespace

DbusMixerServer::DbusMixerServer(sdbus::IConnection& connection, std::chrono::milliseconds timeout)
    : m_connection(connection), m_proxy(sdbus::createProxy(connection, kBusName, kObjectPath)),
      m_timeoutUsec(static_cast<uint64_t>(timeout.count()) * 1000u) {}

DbusMixerServer::~DbusMixerServer() = default;

int DbusMixerServer::Set(Method method, std::initializer_list<int32_t> args) {
  try {
    auto call = m_proxy->createMethodCall(kInterface, std::string(Info(method).name));
    for (int32_t arg : args) {
      call << arg;
    }
    DisableAutoStart(call);
    call.dontExpectReply();
    m_proxy->callMethod(call);
    FlushSetters();
    return kMixerOk;
  } catch (const sdbus::Error&) {
    return kMixerFailed;
  }
}

void DbusMixerServer::FlushSetters() {
  // A message the socket could not take at once waits in the connection's
  // queue, and nothing else drives this connection: left there, the last
  // values of a burst would reach the server only with the next call. So
  // push the queue out now, waiting for the server to read within a short
  // budget. Once a server has let the budget run out it is not waited for
  // again until its queue has drained, so a server that stopped reading
  // slows each call by nothing, not by the budget.
  constexpr std::chrono::milliseconds kFlushBudget{250};
  const auto deadline = std::chrono::steady_clock::now() + (m_stalled ? 0ms : kFlushBudget);
  for (;;) {
    const auto poll = m_connection.getEventLoopPollData();
    if ((poll.events & POLLOUT) == 0) {
      m_stalled = false;
      return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{poll.fd, POLLOUT, 0};
    if (::poll(&fd, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) > 0) {
      m_connection.processPendingRequest();
    } else if (left.count() <= 0) {
      m_stalled = true;
      return;
    }
  }
}

int DbusMixerServer::Get(Method method, std::initializer_list<int32_t> args,
                         std::initializer_list<int32_t*> out) {
  try {
    // Nothing else reads this connection: drop what arrived unasked (error
    // answers to setters, bus notices) so it cannot pile up.
    while (m_connection.processPendingRequest()) {
    }
    auto call = m_proxy->createMethodCall(kInterface, std::string(Info(method).name));
    for (int32_t arg : args) {
      call << arg;
    }
    DisableAutoStart(call);
    auto reply = m_proxy->callMethod(call, m_timeoutUsec);
    std::array<int32_t, kMaxOutputs> results{};
    for (std::size_t i = 0; i < out.size(); ++i) {
      reply >> results[i];
    }
    std::size_t i = 0;
    for (int32_t* cell : out) {
      *cell = results[i++];
    }
    return kMixerOk;
  } catch (const sdbus::Error&) {
    return kMixerFailed;
  }
}

int DbusMixerServer::SetMasterVolume(int32_t channel, int32_t gain) {
  return Set(Method::SetMasterVolume, {channel, gain});
}
int DbusMixerServer::GetMasterVolume(int32_t channel, int32_t& gain) {
  return Get(Method::GetMasterVolume, {channel}, {&gain});
}
int DbusMixerServer::SetSourceVolume(int32_t type, int32_t index, int32_t gain) {
  return Set(Method::SetSourceVolume, {type, index, gain});
}
int DbusMixerServer::GetSourceVolume(int32_t type, int32_t index, int32_t& gain) {
  return Get(Method::GetSourceVolume, {type, index}, {&gain});
}
int DbusMixerServer::SetSourcePan(int32_t type, int32_t index, int32_t pan) {
  return Set(Method::SetSourcePan, {type, index, pan});
}
int DbusMixerServer::GetSourcePan(int32_t type, int32_t index, int32_t& pan) {
  return Get(Method::GetSourcePan, {type, index}, {&pan});
}
int DbusMixerServer::GetSendBus(int32_t type, int32_t index, int32_t send, int32_t& bus) {
  return Get(Method::GetSendBus, {type, index, send}, {&bus});
}
int DbusMixerServer::SetSendLevel(int32_t type, int32_t index, int32_t send, int32_t level) {
  return Set(Method::SetSendLevel, {type, index, send, level});
}
int DbusMixerServer::GetSendLevel(int32_t type, int32_t index, int32_t send, int32_t& level) {
  return Get(Method::GetSendLevel, {type, index, send}, {&level});
}
int DbusMixerServer::SetAuxEffect(int32_t aux, int32_t effect) {
  return Set(Method::SetAuxEffect, {aux, effect});
}
int32_t DbusMixerServer::IsBusRouted(int32_t bus) {
  int32_t result = 0;
  Get(Method::IsBusRouted, {bus}, {&result});
  return result;
}
int32_t DbusMixerServer::IsBusOnOutput(int32_t bus) {
  int32_t result = 0;
  Get(Method::IsBusOnOutput, {bus}, {&result});
  return result;
}
int DbusMixerServer::GetBusEffect(int32_t bus, int32_t& effect) {
  return Get(Method::GetBusEffect, {bus}, {&effect});
}
int DbusMixerServer::GetBusOutput(int32_t bus, int32_t& digital, int32_t& pair, int32_t& third) {
  return Get(Method::GetBusOutput, {bus}, {&digital, &pair, &third});
}
int DbusMixerServer::SetBusLevel(int32_t bus, int32_t level) {
  return Set(Method::SetBusLevel, {bus, level});
}
int DbusMixerServer::GetBusLevel(int32_t bus, int32_t& level) {
  return Get(Method::GetBusLevel, {bus}, {&level});
}
int DbusMixerServer::SetRecordLevel(int32_t level) {
  return Set(Method::SetRecordLevel, {level});
}
int DbusMixerServer::GetRecordLevel(int32_t& level) {
  return Get(Method::GetRecordLevel, {}, {&level});
}
int DbusMixerServer::SetSendBus(int32_t type, int32_t index, int32_t send, int32_t bus) {
  return Set(Method::SetSendBus, {type, index, send, bus});
}
int DbusMixerServer::SetBusRouted(int32_t bus, int32_t routed) {
  return Set(Method::SetBusRouted, {bus, routed});
}
int DbusMixerServer::SetBusOutput(int32_t bus, int32_t digital, int32_t pair) {
  return Set(Method::SetBusOutput, {bus, digital, pair});
}

} // namespace vantrel
