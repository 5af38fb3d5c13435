#include "mixer/dbus_mixer_server.h"

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/meter_levels.h"
#include "mixer/mixer_values.h"

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

// How long the whole-state answer may take.
constexpr std::chrono::seconds kStateTimeout{10};
// Setters per SetMany message: a controller on every row is one message.
constexpr std::size_t kBatchLimit = 256;

using SetEntry = sdbus::Struct<std::string, std::vector<int32_t>>;
using StateEntry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;

} // namespace

DbusMixerServer::DbusMixerServer(sdbus::IConnection& connection, CMixerMirror& mirror)
    : m_connection(connection), m_mirror(mirror),
      m_proxy(sdbus::createProxy(connection, kBusName, kObjectPath)) {}

DbusMixerServer::~DbusMixerServer() = default;

int DbusMixerServer::Set(Method method, std::initializer_list<int32_t> args) {
  m_mirror.NoteOwnSet(method, std::span(args.begin(), args.size()));
  m_pending.Push(method, args);
  m_lastSetterAt = std::chrono::steady_clock::now();
  if (m_batchDepth == 0) {
    Flush();
  }
  return kMixerOk;
}

void DbusMixerServer::EndBatch() {
  if (m_batchDepth > 0 && --m_batchDepth == 0 && !m_pending.Empty()) {
    Flush();
  }
}

void DbusMixerServer::Flush() {
  // Setters leave at once while the socket takes them; a socket that does
  // not is never waited for: the event loop writes the rest.
  const bool wasStalled = m_flushStalled;
  try {
    m_flushStalled = !WriteSetters(std::chrono::steady_clock::now());
  } catch (const sdbus::Error&) {
    // The bus connection broke: nothing queued can ever be written.
    m_pending.Clear();
    m_flushStalled = false;
  }
  if (m_flushStalled != wasStalled || m_flushStalled) {
    Notify();
  }
}

bool DbusMixerServer::SocketBacklogged() const {
  return (m_connection.getEventLoopPollData().events & POLLOUT) != 0;
}

void DbusMixerServer::WriteFront() {
  const std::size_t count = std::min(m_pending.Size(), kBatchLimit);
  auto call = [&] {
    if (count == 1) {
      const QueuedSetter& setter = m_pending.Front();
      auto single = m_proxy->createMethodCall(kInterface, std::string(Info(setter.method).name));
      for (std::size_t i = 0; i < setter.count; ++i) {
        single << setter.args[i];
      }
      return single;
    }
    std::vector<SetEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const QueuedSetter& setter = m_pending.At(i);
      entries.emplace_back(
          std::string(Info(setter.method).name),
          std::vector<int32_t>(setter.args.begin(),
                               setter.args.begin() + static_cast<std::ptrdiff_t>(setter.count)));
    }
    auto many = m_proxy->createMethodCall(kInterface, kSetManyMethod);
    many << entries;
    return many;
  }();
  DisableAutoStart(call);
  call.dontExpectReply();
  m_proxy->callMethod(call);
  for (std::size_t i = 0; i < count; ++i) {
    const QueuedSetter& setter = m_pending.Front();
    m_mirror.NoteWritten(setter.method, std::span(setter.args.data(), setter.count));
    m_pending.Pop();
  }
}

bool DbusMixerServer::WriteSetters(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    // sd-bus gets one message at a time, only while its own queue is empty:
    // its queue costs a copy of the whole queue per message written, ours
    // costs nothing and has no length limit.
    while (!m_pending.Empty() && !SocketBacklogged()) {
      WriteFront();
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

bool DbusMixerServer::WritePendingSetters() {
  const bool wasStalled = m_flushStalled;
  bool connected = true;
  try {
    if (WriteSetters(std::chrono::steady_clock::now())) {
      m_flushStalled = false;
    }
  } catch (const sdbus::Error&) {
    m_pending.Clear();
    m_flushStalled = false;
    connected = false;
  }
  if (m_flushStalled != wasStalled) {
    Notify();
  }
  return connected;
}

void DbusMixerServer::DropPendingSetters() {
  m_pending.Clear();
  m_flushStalled = false;
  m_stateAwaited = false;
  m_mirror.ForgetServer();
  Notify();
}

void DbusMixerServer::RequestState() {
  if (m_stateAwaited) {
    return;
  }
  try {
    auto call = m_proxy->createMethodCall(kInterface, kGetStateMethod);
    DisableAutoStart(call);
    m_proxy->callMethod(
        call,
        [this](sdbus::MethodReply& reply, const sdbus::Error* error) {
          OnStateReply(reply, error);
        },
        kStateTimeout);
    m_stateAwaited = true;
  } catch (const sdbus::Error&) {
    // No bus: the link asks again once it has one.
  }
}

void DbusMixerServer::StartMeters(std::function<void(std::string why)> answer) {
  try {
    auto call = m_proxy->createMethodCall(kInterface, kStartMetersMethod);
    DisableAutoStart(call);
    m_proxy->callMethod(
        call,
        [answer = std::move(answer)](sdbus::MethodReply& reply, const sdbus::Error* error) {
          std::string why;
          try {
            if (error != nullptr) {
              why = "the mixer server did not take the request for meters (" + error->getMessage() +
                    ")";
            } else {
              reply >> why;
            }
          } catch (const sdbus::Error& bad) {
            why = "the mixer server's answer about meters is unreadable (" + bad.getMessage() + ")";
          }
          answer(std::move(why));
        },
        kStateTimeout);
  } catch (const sdbus::Error&) {
    // No bus: the link asks again once a server is found.
  }
}

void DbusMixerServer::StopMeters() {
  try {
    auto call = m_proxy->createMethodCall(kInterface, kStopMetersMethod);
    DisableAutoStart(call);
    call.dontExpectReply();
    m_proxy->callMethod(call);
  } catch (const sdbus::Error&) {
    // No bus: the server stops the meters itself when we leave it.
  }
}

void DbusMixerServer::AwaitState(std::chrono::milliseconds budget) {
  const auto deadline = std::chrono::steady_clock::now() + budget;
  try {
    for (;;) {
      while (m_connection.processPendingRequest()) {
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (!m_stateAwaited || left.count() <= 0) {
        return;
      }
      const auto poll = m_connection.getEventLoopPollData();
      pollfd fd{poll.fd, static_cast<short>(poll.events | POLLIN), 0};
      ::poll(&fd, 1, static_cast<int>(left.count()));
    }
  } catch (const sdbus::Error&) {
    // The bus broke: the link notices on its next turn.
  }
}

void DbusMixerServer::OnStateReply(sdbus::MethodReply& reply, const sdbus::Error* error) {
  m_stateAwaited = false;
  std::vector<StateEntry> entries;
  try {
    if (error == nullptr) {
      reply >> entries;
    }
  } catch (const sdbus::Error&) {
    entries.clear();
  }
  if (error == nullptr) {
    for (const StateEntry& entry : entries) {
      if (const auto value = ParseValueEntry(entry.get<0>(), entry.get<1>(), entry.get<2>())) {
        m_mirror.ApplyState(value->slot, value->results);
      }
    }
    m_mirror.FinishState();
  }
  // A server that could not answer is asked again by the link.
  Notify();
}

void DbusMixerServer::Notify() {
  if (m_listener) {
    m_listener();
  }
}

int DbusMixerServer::Get(Method method, std::initializer_list<int32_t> args,
                         std::initializer_list<int32_t*> out) {
  const auto slot = ValueSlot(method, std::span(args.begin(), args.size()));
  const auto results = slot ? m_mirror.Get(*slot) : std::nullopt;
  if (!results) {
    return kMixerFailed;
  }
  std::size_t i = 0;
  for (int32_t* cell : out) {
    *cell = (*results)[i++];
  }
  return kMixerOk;
}

} // namespace vantrel
