// The program started where /proc is missing, as in a fresh chroot: it still
// finds the mixer server beside itself and starts it. With --no-mixer-start
// it starts none.

#include "support/bridge_process.h"
#include "support/mixerd_server.h"
#include "support/sound_server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

TEST(ProgramStart, WithoutProcTheMixerServerBesideTheProgramIsStarted) {
  if (RunCommand({"/usr/bin/unshare", "-m", "/bin/true"}).exitCode != 0) {
    GTEST_SKIP() << "needs a mount namespace of its own (root)";
  }
  ASSERT_TRUE(WaitForMixerName(false, 10s)) << "another mixer server owns the name";
  TempDir dir;
  const std::string output = dir.File("output");
  // unshare and sh each replace themselves, so the process id is the
  // program's own.
  pid_t program = StartProgram({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                                "umount -l /proc && XDG_STATE_HOME=\"$1\" exec \"$0\" --headless "
                                "--profile \"$1/vantrel.INI\" "
                                "--midi-api jack --no-mixer-warning >\"$1/output\" 2>&1",
                                std::string(VANTREL_BIN_DIR) + "/vantrel", dir.Path()});
  ASSERT_GT(program, 0);
  EXPECT_TRUE(
      Eventually([&] { return ReadTextFile(output).find("Mixer: ") != std::string::npos; }, 30s))
      << ReadTextFile(output);
  EndProgram(program);
  EXPECT_NE(ReadTextFile(output).find("Mixer: connected"), std::string::npos)
      << ReadTextFile(output);
  EXPECT_TRUE(StopMixerNameOwner());
}

// A server that something else runs is the only one used: none is started
// at start-up (where one would own the name within 2 s) nor when that
// server dies (where one would within a second).
TEST(ProgramStart, WithNoMixerStartTheProgramStartsNoServer) {
  ASSERT_TRUE(StopMixerNameOwner());
  TempDir dir;
  BridgeProcess program({"--headless", "--profile", dir.File("vantrel.INI"), "--midi-api", "jack",
                         "--no-mixer-start"},
                        dir.Path(), {{"XDG_STATE_HOME", dir.Path()}});
  ASSERT_TRUE(program.Start());
  ASSERT_TRUE(program.WaitForOutput("Mixer: no mixer server could be reached"))
      << program.Output() << program.Errors();
  EXPECT_FALSE(WaitForMixerName(true, 4s));

  MixerdProcess server(dir.File("mixer.state"));
  ASSERT_TRUE(server.Start()) << server.Errors();
  server.Kill();
  EXPECT_FALSE(WaitForMixerName(true, 4s));
  EXPECT_EQ(program.Stop(), 0) << program.Output() << program.Errors();
  StopMixerNameOwner();
}

} // namespace
} // namespace vantrel::test
