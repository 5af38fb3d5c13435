#include "support/slow_mixer.h"

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/mixer_values.h"

#include <sdbus-c++/sdbus-c++.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

namespace vantrel::test {

using namespace mixer_dbus;

ValueResults SlowMixer::Value(Method getter, const std::array<int32_t, kMaxInputs>& args) {
  switch (getter) {
  case Method::GetSendBus:
    return {2 + args[2], 0, 0}; // Aux 3 or Aux 4
  case Method::IsBusRouted:
    return {1, 0, 0};
  case Method::IsBusOnOutput:
  case Method::GetBusOutput:
    return {0, 0, 0};
  case Method::GetBusEffect:
    return {kStateEffect, 0, 0};
  default:
    return {kStateLevel, 0, 0};
  }
}

SlowMixer::SlowMixer(std::chrono::milliseconds delay) : m_delayMs(delay.count()) {
  try {
    m_connection = sdbus::createSessionBusConnection(kBusName);
    auto object = sdbus::createObject(*m_connection, kObjectPath);
    for (const MethodInfo& info : kMethods) {
      const std::size_t outputs = info.outputCount;
      object->registerMethod(
          kInterface, std::string(info.name), std::string(Signature(info.inputCount)),
          std::string(Signature(outputs)), [this, outputs, info](sdbus::MethodCall call) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs.load()));
            ++m_answered;
            if (!info.IsSetter()) {
              ++m_getters;
            }
            if (call.doesntExpectReply()) {
              return;
            }
            std::array<int32_t, kMaxInputs> args{};
            for (std::size_t i = 0; i < info.inputCount; ++i) {
              call >> args[i];
            }
            const ValueResults results = Value(info.id, args);
            auto reply = call.createReply();
            for (std::size_t i = 0; i < outputs; ++i) {
              reply << results[i];
            }
            reply.send();
          });
    }
    object->registerMethod(
        kInterface, kGetStateMethod, "", "a(saiai)", [this](sdbus::MethodCall call) {
          std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs.load()));
          ++m_answered;
          using Entry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;
          std::vector<Entry> entries;
          for (std::size_t slot = 0; slot < kValueCount; ++slot) {
            const ValueKey key = KeyOfSlot(slot);
            const MethodInfo& getter = Info(key.getter);
            const ValueResults results = Value(key.getter, key.args);
            entries.emplace_back(
                std::string(getter.name),
                std::vector<int32_t>(key.args.begin(),
                                     key.args.begin() +
                                         static_cast<std::ptrdiff_t>(getter.inputCount)),
                std::vector<int32_t>(results.begin(), results.begin() + static_cast<std::ptrdiff_t>(
                                                                            getter.outputCount)));
          }
          auto reply = call.createReply();
          reply << entries;
          reply.send();
        });
    object->registerMethod(kInterface, kSetManyMethod, "a(sai)", "", [this](sdbus::MethodCall) {
      std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs.load()));
      ++m_answered;
    });
    object->registerSignal(kInterface, kChangedSignal, "");
    object->registerSignal(kInterface, kValuesChangedSignal, "a(saiais)");
    object->finishRegistration();
    m_connection->enterEventLoopAsync();
    m_object = std::move(object);
  } catch (const sdbus::Error&) {
    m_object.reset();
    m_connection.reset();
  }
}

void SlowMixer::EmitChange(Method getter, std::vector<int32_t> args, std::vector<int32_t> results) {
  using Entry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>, std::string>;
  std::vector<Entry> entries{
      Entry(std::string(Info(getter).name), std::move(args), std::move(results), std::string())};
  auto signal = m_object->createSignal(kInterface, kValuesChangedSignal);
  signal << entries;
  m_object->emitSignal(signal);
}

SlowMixer::~SlowMixer() {
  if (m_connection) {
    m_connection->leaveEventLoop();
  }
  m_object.reset();
}

BusPause::BusPause() {
  const char* pid = std::getenv("VANTREL_TEST_DBUS_PID");
  if (pid != nullptr && std::atoi(pid) > 0 && ::kill(std::atoi(pid), SIGSTOP) == 0) {
    m_pid = std::atoi(pid);
  }
}

BusPause::~BusPause() {
  Resume();
}

void BusPause::Resume() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGCONT);
    m_pid = 0;
  }
}

} // namespace vantrel::test
