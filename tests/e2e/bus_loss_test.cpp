// The session bus goes away under the running program, window or headless:
// it neither aborts nor loses the profile, says once that the mixer is
// unreachable, and carries on with a bus started again at the same address.

#include "support/bridge_process.h"
#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

// A bus daemon of the test's own at a fixed address, so killing it touches
// no other test.
class PrivateBus {
public:
  explicit PrivateBus(std::string path) : m_path(std::move(path)) {}
  ~PrivateBus() { Kill(); }
  std::string Address() const { return "unix:path=" + m_path; }
  bool Start() {
    std::filesystem::remove(m_path);
    const CommandResult result = RunCommand(
        {"/usr/bin/dbus-daemon", "--session", "--fork", "--print-pid", "--address=" + Address()});
    m_pid = result.exitCode == 0 ? std::atoi(result.out.c_str()) : 0;
    return m_pid > 0;
  }
  void Kill() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      m_pid = 0;
    }
  }

private:
  std::string m_path;
  pid_t m_pid = 0;
};

TEST(BusLossTest, LosingTheBusNeitherAbortsNorLosesTheProfileAndABusThatComesBackIsUsed) {
  TempDir dir;
  for (const bool headless : {false, true}) {
    const std::string folder = dir.File(headless ? "headless" : "window");
    std::filesystem::create_directory(folder);
    const std::string profile = folder + "/vantrel.INI";
    std::ofstream(profile) << "[CC Mapping]\nAux1CC=20\n";
    PrivateBus bus(folder + "/bus");
    ASSERT_TRUE(bus.Start());
    std::vector<std::string> args = {"--profile", profile, "--midi-api", "jack",
                                     "--no-mixer-warning"};
    if (headless) {
      args.push_back("--headless");
    }
    BridgeProcess program(args, folder,
                          {{"QT_QPA_PLATFORM", "offscreen"},
                           {"DBUS_SESSION_BUS_ADDRESS", bus.Address()},
                           {"XDG_STATE_HOME", folder}});
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForOutput("MIDI input:", 30s)) << program.Errors();

    bus.Kill();
    ASSERT_TRUE(program.WaitForOutput("Mixer: The session bus went away", 15s))
        << program.Output() << program.Errors();
    ASSERT_TRUE(bus.Start());
    ASSERT_TRUE(program.WaitForOutput("Mixer: The session bus is back", 15s))
        << program.Output() << program.Errors();

    EXPECT_EQ(program.Stop(SIGTERM), 0) << program.Output() << program.Errors();
    EXPECT_EQ(program.Errors().find("terminate called"), std::string::npos) << program.Errors();
    const std::string saved = ReadTextFile(profile);
    EXPECT_NE(saved.find("Aux1CC=20"), std::string::npos) << saved;
    if (!headless) {
      EXPECT_NE(saved.find("ActivePage="), std::string::npos) << saved;
    }
  }
}

} // namespace
} // namespace vantrel::test
