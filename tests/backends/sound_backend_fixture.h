#pragma once
// What the back-end tests share: the command-line client, a fixture that
// starts the real server on the private sound server of
// scripts/with-sound-server.sh, and a PulseAudio of a test's own that it can
// stop and start again.

#include "support/mixerd_server.h"
#include "support/sound_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>

namespace vantrel::test {

using namespace std::chrono_literals;

// The server volume the default conversion gives a mixer value: the same
// fraction of the server's scale (65536 is 100 %).
inline long ServerVolumeOf(long value) {
  return std::lround(value / 65535.0 * 65536);
}

// Mixer value 32768 is 50 % on the desktop.
inline const long kHalfVolume = ServerVolumeOf(32768);

// The amplitude a mixer value gives: the server's volume is cubic.
inline double AmplitudeOf(long value) {
  return std::pow(ServerVolumeOf(value) / 65536.0, 3);
}

inline CommandResult Ctl(std::vector<std::string> args) {
  args.insert(args.begin(), MixerctlProgram());
  return RunCommand(args);
}

inline long Get(std::vector<std::string> args) {
  args.insert(args.begin(), "get");
  const CommandResult result = Ctl(args);
  return result.exitCode == 0 ? std::stol(result.out) : -1;
}

inline void Set(std::vector<std::string> args) {
  args.insert(args.begin(), "set");
  const CommandResult result = Ctl(args);
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

class SoundBackendTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("VANTREL_TEST_SOUND_SERVER") == nullptr) {
      GTEST_SKIP() << "needs a private sound server: run through scripts/with-sound-server.sh";
    }
    // Known volumes and mutes before each start.
    Pactl({"set-sink-volume", "vantrel_out", "100%"});
    Pactl({"set-source-volume", "vantrel_in_a", "100%"});
    Pactl({"set-source-volume", "vantrel_in_b", "100%"});
    Pactl({"set-sink-mute", "vantrel_out", "0"});
  }

  // Starts the server with `backend` and a mapping file holding `mapping`.
  void Start(const std::string& backend, const std::string& mapping) {
    m_server = std::make_unique<MixerdProcess>(m_dir.File("mixer.state"),
                                               BackendWithMapping(m_dir, mapping, backend));
    ASSERT_TRUE(m_server->Start()) << m_server->Errors();
    // A stream started before the service reached its sound server plays
    // on at its own volume, so the tests' streams wait for that.
    if (backend == "pulse") {
      ASSERT_TRUE(Eventually([] {
        return Ctl({"dump"}).out.find("backend pulse: waiting") == std::string::npos;
      })) << m_server->Errors();
    }
  }

  TempDir m_dir;
  std::unique_ptr<MixerdProcess> m_server;
};

// A PulseAudio of the test's own, on a socket of its own, that the test can
// stop and start again.
class OwnPulseServer {
public:
  explicit OwnPulseServer(std::string folder) : m_folder(std::move(folder)) {}
  ~OwnPulseServer() { Stop(); }
  OwnPulseServer(const OwnPulseServer&) = delete;
  OwnPulseServer& operator=(const OwnPulseServer&) = delete;

  std::string Address() const { return "unix:" + m_folder + "/native"; }

  // Starts it with the sink vantrel_out, or with no device at all.
  bool Start(bool withSink = true) {
    // Off the session bus, where the suite's own server holds the names.
    std::vector<std::string> args = {"/usr/bin/env",
                                     "-u",
                                     "DBUS_SESSION_BUS_ADDRESS",
                                     "pulseaudio",
                                     "-n",
                                     "-F",
                                     "/dev/null",
                                     "--exit-idle-time=-1",
                                     "--daemonize=no",
                                     "--use-pid-file=no",
                                     "-L",
                                     "module-native-protocol-unix socket=" + m_folder + "/native"};
    if (withSink) {
      args.insert(args.end(), {"-L", "module-null-sink sink_name=vantrel_out"});
    }
    m_pid = StartProgram(args);
    return m_pid > 0 && Eventually([] {
             return RunCommand({"/usr/bin/pactl", "info"}).exitCode == 0;
           });
  }

  void Stop() { EndProgram(m_pid); }

private:
  std::string m_folder;
  pid_t m_pid = 0;
};

// Points this process and the programs it starts at another sound server.
class ScopedPulseServer {
public:
  explicit ScopedPulseServer(const std::string& address) {
    const char* old = std::getenv("PULSE_SERVER");
    m_old = old != nullptr ? old : "";
    ::setenv("PULSE_SERVER", address.c_str(), 1);
  }
  ~ScopedPulseServer() { ::setenv("PULSE_SERVER", m_old.c_str(), 1); }
  ScopedPulseServer(const ScopedPulseServer&) = delete;
  ScopedPulseServer& operator=(const ScopedPulseServer&) = delete;

private:
  std::string m_old;
};

} // namespace vantrel::test
