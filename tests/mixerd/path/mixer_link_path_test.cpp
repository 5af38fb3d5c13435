// Which server CMixerLink starts: this binary lives in a folder without
// vantrel-mixerd, so the link takes the first one on PATH, here one the test
// wrote.

#include "mixer/mixer_link.h"
#include "support/mixerd_fixture.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Puts `dir` first on PATH and writes `text` there as vantrel-mixerd.
class ServerOnPath {
public:
  ServerOnPath(const std::string& dir, const std::string& text)
      : m_path("PATH", dir + ":" + (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "")),
        m_program(dir + "/vantrel-mixerd") {
    std::ofstream(m_program) << text;
    m_ok = ::chmod(m_program.c_str(), 0755) == 0;
  }
  bool Ok() const { return m_ok; }
  const std::string& Program() const { return m_program; }

private:
  ScopedEnv m_path;
  std::string m_program;
  bool m_ok = false;
};

TEST(MixerLinkRestartTest, AServerThatKeepsDyingIsStartedAtMostOnceASecond) {
  ASSERT_TRUE(StopMixerNameOwner());
  TempDir dir;
  MixerdProcess server(dir.File("mixer.state"));
  ASSERT_TRUE(server.Start());
  // A "server" that only notes that it ran.
  const ServerOnPath script(dir.Path(), "#!/bin/sh\necho started >> " + dir.File("starts\n"));
  ASSERT_TRUE(script.Ok());
  CMixerLink link;
  ASSERT_EQ(link.Startup(), kMixerOk);
  ASSERT_EQ(link.Create(), kMixerOk);
  server.Kill();
  const auto start = Clock::now();
  PumpLinkUntil(
      link, [] { return false; }, 3500ms);
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::ifstream starts(dir.File("starts"));
  int count = 0;
  for (std::string line; std::getline(starts, line);) {
    ++count;
  }
  EXPECT_GE(count, 2);
  EXPECT_LE(count, static_cast<int>(seconds) + 1);
  link.Shutdown();
}

TEST(MixerLinkStartTest, CreateFailsQuicklyWhenTheServerCannotRun) {
  ASSERT_TRUE(StopMixerNameOwner());
  TempDir dir;
  // Executable, but no program the system can run.
  const ServerOnPath broken(dir.Path(), "#!/nonexistent/interpreter\n");
  ASSERT_TRUE(broken.Ok());
  CMixerLink link;
  ASSERT_EQ(link.Startup(), kMixerOk);
  const auto start = Clock::now();
  EXPECT_EQ(link.Create(), kMixerFailed);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(link.Server(), nullptr);
  EXPECT_EQ(link.LastError(), "Cannot run " + broken.Program() + ".");
}

} // namespace
} // namespace vantrel::test
