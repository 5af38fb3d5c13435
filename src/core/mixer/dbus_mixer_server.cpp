#include "mixer/dbus_mixer_server.h"

#include "mixer/dbus_mixer_protocol.h"

#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <poll.h>
#include <string>

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

// How long a setter may wait for the socket before the link counts as
// stalled, and how long a probe of a stalled server waits for its answer.
constexpr std::chrono::milliseconds kFlushBudget{250};
constexpr std::chrono::seconds kProbeTimeout{5};

// sd-bus reports a call that ran out of time with either name.
bool IsTimeout(const sdbus::Error& error) {
  return error.getName() == "org.freedesktop.DBus.Error.Timeout" ||
         error.getName() == "org.freedesktop.DBus.Error.NoReply";
}

} // namespace

DbusMixerServer::DbusMixerServer(sdbus::IConnection& connection, std::chrono::milliseconds timeout)
    : m_connection(connection), m_proxy(sdbus::createProxy(connection, kBusName, kObjectPath)),
      m_timeoutUsec(static_cast<uint64_t>(timeout.count()) * 1000u) {}

DbusMixerServer::~DbusMixerServer() = default;

int DbusMixerServer::Set(Method method, std::initializer_list<int32_t> args) {
  m_pending.Push(method, args);
  // Within the budget the setter normally leaves at once. A link that
  // already stalled does not wait again: the event loop writes the rest.
  const auto now = std::chrono::steady_clock::now();
  m_lastSetterAt = now;
  const bool wasStalled = m_flushStalled;
  try {
    m_flushStalled = !WriteSetters(m_flushStalled ? now : now + kFlushBudget);
  } catch (const sdbus::Error&) {
    // The bus connection broke: nothing queued can ever be written.
    m_pending.Clear();
    return kMixerFailed;
  }
  if (m_flushStalled != wasStalled || m_flushStalled) {
    Notify();
  }
  return kMixerOk;
}

bool DbusMixerServer::SocketBacklogged() const {
  return (m_connection.getEventLoopPollData().events & POLLOUT) != 0;
}

bool DbusMixerServer::WriteSetters(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    // sd-bus gets one message at a time, only while its own queue is empty:
    // its queue costs a copy of the whole queue per message written, ours
    // costs nothing and has no length limit.
    while (!m_pending.Empty() && !SocketBacklogged()) {
      const QueuedSetter setter = m_pending.Front();
      m_pending.Pop();
      auto call = m_proxy->createMethodCall(kInterface, std::string(Info(setter.method).name));
      for (std::size_t i = 0; i < setter.count; ++i) {
        call << setter.args[i];
      }
      DisableAutoStart(call);
      call.dontExpectReply();
      m_proxy->callMethod(call);
    }
    const auto poll = m_connection.getEventLoopPollData();
    if ((poll.events & POLLOUT) == 0) {
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{poll.fd, POLLOUT, 0};
    if (::poll(&fd, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) > 0) {
      m_connection.processPendingRequest();
    } else if (left.count() <= 0) {
      return false;
    }
  }
}

void DbusMixerServer::WritePendingSetters() {
  const bool wasStalled = IsStalled();
  try {
    if (WriteSetters(std::chrono::steady_clock::now())) {
      m_flushStalled = false;
    }
  } catch (const sdbus::Error&) {
    m_pending.Clear();
    m_flushStalled = false;
  }
  if (IsStalled() != wasStalled) {
    Notify();
  }
}

void DbusMixerServer::DropPendingSetters() {
  m_pending.Clear();
  m_flushStalled = false;
  m_probing = false;
  Notify();
}

void DbusMixerServer::StartProbe() {
  m_probing = true;
  Notify();
  try {
    auto call =
        m_proxy->createMethodCall(kInterface, std::string(Info(Method::GetRecordLevel).name));
    DisableAutoStart(call);
    // The answer comes in order after everything sent before it; any answer,
    // even an error, shows that the server reads again. Only a timeout
    // leaves it stalled, and then the next probe goes out.
    m_proxy->callMethod(
        call,
        [this](sdbus::MethodReply&, const sdbus::Error* error) {
          if (error != nullptr && IsTimeout(*error)) {
            StartProbe();
            return;
          }
          m_probing = false;
          Notify();
        },
        kProbeTimeout);
  } catch (const sdbus::Error&) {
    m_probing = false;
  }
}

void DbusMixerServer::Notify() {
  if (m_listener) {
    m_listener();
  }
}

int DbusMixerServer::Get(Method method, std::initializer_list<int32_t> args,
                         std::initializer_list<int32_t*> out) {
  try {
    // Nothing else reads this connection between event loop turns: handle
    // what arrived (a probe's answer, signals, error answers to setters) so
    // it cannot pile up.
    while (m_connection.processPendingRequest()) {
    }
    if (m_probing) {
      return kMixerFailed;
    }
    // The getter must see every setter queued before it.
    const auto now = std::chrono::steady_clock::now();
    if (!m_pending.Empty() && !WriteSetters(m_flushStalled ? now : now + kFlushBudget)) {
      if (!m_flushStalled) {
        m_flushStalled = true;
        Notify();
      }
      return kMixerFailed;
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
  } catch (const sdbus::Error& error) {
    if (IsTimeout(error) && !m_probing) {
      StartProbe();
    }
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
