#include "support/slow_mixer.h"

#include "mixer/dbus_mixer_protocol.h"

#include <sdbus-c++/sdbus-c++.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

namespace vantrel::test {

using namespace mixer_dbus;

SlowMixer::SlowMixer(std::chrono::milliseconds delay) : m_delayMs(delay.count()) {
  try {
    m_connection = sdbus::createSessionBusConnection(kBusName);
    auto object = sdbus::createObject(*m_connection, kObjectPath);
    for (const MethodInfo& info : kMethods) {
      const std::size_t outputs = info.outputCount;
      object->registerMethod(
          kInterface, std::string(info.name), std::string(Signature(info.inputCount)),
          std::string(Signature(outputs)), [this, outputs](sdbus::MethodCall call) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs.load()));
            ++m_answered;
            if (call.doesntExpectReply()) {
              return;
            }
            auto reply = call.createReply();
            for (std::size_t i = 0; i < outputs; ++i) {
              reply << int32_t{0};
            }
            reply.send();
          });
    }
    object->registerSignal(kInterface, kChangedSignal, "");
    object->finishRegistration();
    m_connection->enterEventLoopAsync();
    m_object = std::move(object);
  } catch (const sdbus::Error&) {
    m_object.reset();
    m_connection.reset();
  }
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
