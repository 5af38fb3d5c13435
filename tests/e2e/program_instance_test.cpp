// The real program twice on one profile: the second, headless or with its
// window, refuses to run, names the first and leaves it running.

#include "support/bridge_process.h"
#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace vantrel::test {
namespace {

using ProgramInstanceTest = MixerdFixture;

TEST_F(ProgramInstanceTest, ASecondProgramOnOneProfileSaysWhoHoldsItAndEnds) {
  const std::string profile = m_dir.File("vantrel.INI");
  const std::map<std::string, std::string> environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  std::filesystem::create_directory(m_dir.File("first"));
  BridgeProcess first({"--profile", profile, "--midi-api", "jack", "--headless"},
                      m_dir.File("first"), environment);
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(first.WaitForOutput("Running")) << first.Output() << first.Errors();
  const std::string holder = "(process " + std::to_string(first.Pid()) + ")";

  for (const bool windowed : {false, true}) {
    const std::string folder = m_dir.File(windowed ? "window" : "headless");
    std::filesystem::create_directory(folder);
    std::vector<std::string> args = {"--profile", profile, "--midi-api", "jack"};
    if (!windowed) {
      args.push_back("--headless");
    }
    BridgeProcess second(args, folder, environment);
    ASSERT_TRUE(second.Start());
    // The window shows the sentence in a box as well, which a stop closes.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (second.Errors().find(holder) == std::string::npos &&
           std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_NE(second.Errors().find("is in use by another running Vantrel " + holder),
              std::string::npos)
        << second.Errors();
    // Headless it ends by itself; a stop sent as it ends would race its
    // exit (a process whose handlers are gone dies of the signal). The
    // window waits in its box until stopped.
    EXPECT_EQ(second.Stop(windowed ? SIGTERM : 0), 3) << second.Errors();
  }
  EXPECT_EQ(::kill(first.Pid(), 0), 0) << "the first program runs on";
  EXPECT_EQ(first.Stop(), 0);
}

} // namespace
} // namespace vantrel::test
