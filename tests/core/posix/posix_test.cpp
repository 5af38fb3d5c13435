#include "posix/process.h"
#include "posix/stop_signals.h"
#include "posix/unique_fd.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantrel {
namespace {

bool IsOpenFd(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesOnceWhenMovedClosedOrDestroyed) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  {
    CUniqueFd read(pipeEnds[0]);
    CUniqueFd write(pipeEnds[1]);
    CUniqueFd moved(std::move(read));
    EXPECT_FALSE(read.IsOpen());
    EXPECT_EQ(moved.Get(), pipeEnds[0]);
    EXPECT_EQ(write.Close(), 0);
    EXPECT_FALSE(IsOpenFd(pipeEnds[1]));
    EXPECT_EQ(write.Close(), 0); // nothing left to close
    write = std::move(moved);
    EXPECT_TRUE(IsOpenFd(pipeEnds[0]));
  }
  EXPECT_FALSE(IsOpenFd(pipeEnds[0]));
}

// Sets PATH for one test and puts it back.
class ScopedPath {
public:
  explicit ScopedPath(const std::string& value) : m_old(std::getenv("PATH")) {
    ::setenv("PATH", value.c_str(), 1);
  }
  ~ScopedPath() {
    if (m_old) {
      ::setenv("PATH", m_old->c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }

private:
  std::optional<std::string> m_old;
};

TEST(Process, FindsTheFirstExecutableInPathAndStartsIt) {
  test::TempDir dir;
  const std::filesystem::path notExecutable = dir.Path() / "a";
  const std::filesystem::path executable = dir.Path() / "b";
  std::filesystem::create_directories(notExecutable);
  std::filesystem::create_directories(executable);
  const std::filesystem::path marker = dir.Path() / "ran";
  std::ofstream(notExecutable / "vantrel-posix-test") << "#!/bin/sh\n";
  std::ofstream(executable / "vantrel-posix-test") << "#!/bin/sh\ntouch \"$1\"\n";
  std::filesystem::permissions(executable / "vantrel-posix-test",
                               std::filesystem::perms::owner_all);
  const ScopedPath path(notExecutable.string() + "::" + executable.string());

  const std::string found = FindProgram("vantrel-posix-test");
  EXPECT_EQ(found, (executable / "vantrel-posix-test").string());
  EXPECT_EQ(FindProgram("vantrel-no-such-program"), "");

  ASSERT_TRUE(SpawnDetached({found, marker.string()}, {}));
  for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(std::filesystem::exists(marker));
  EXPECT_FALSE(SpawnDetached({(notExecutable / "vantrel-posix-test").string()}, {}));
}

TEST(StopSignals, ABlockedStopSignalMakesTheDescriptorReadable) {
  // In a child, so the test process keeps its signal mask.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!BlockStopSignals()) {
      ::_exit(1);
    }
    const CUniqueFd fd = StopSignalFd(true);
    signalfd_siginfo info{};
    if (!fd.IsOpen() || ::read(fd.Get(), &info, sizeof info) >= 0) {
      ::_exit(2); // nothing may be pending yet
    }
    ::raise(SIGHUP);
    const bool got = ::read(fd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info) &&
                     info.ssi_signo == SIGHUP;
    ::_exit(got ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(StopSignals, ACaughtStopEndsAProcessThatHangsAndNotOneThatLetsGoOfItsCatcher) {
  for (const bool hangs : {true, false}) {
    SCOPED_TRACE(hangs ? "hangs" : "stops in order");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      {
        CStopSignalCatcher catcher;
        ::raise(SIGTERM);
        if (!catcher.IsCatching() || catcher.TakeSignal() != SIGTERM || catcher.TakeSignal() != 0) {
          ::_exit(1);
        }
        while (hangs) {
          ::pause();
        }
      }
      // Well past the deadline: only a countdown that was not called off
      // could end the process now.
      std::this_thread::sleep_for(kStopDeadline * 2);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), hangs ? kExitStopOverdue : 0);
  }
}

// A stop whose thread the machine's other work keeps off the CPU: two busy
// processes share its one CPU at a higher priority, and it waits for the
// CPU longer than the deadline before it is done. That time is the
// machine's, not the stop's: the stop ends in order.
TEST(StopSignals, AStopKeptOffTheCpuByOtherWorkEndsInOrder) {
  if (RunQueueWaitNanos(::gettid()) < 0) {
    GTEST_SKIP() << "the kernel does not say how long a thread waits for a CPU";
  }
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(::sched_getcpu(), &one);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::sched_setaffinity(0, sizeof one, &one);
    pid_t hogs[2] = {};
    for (pid_t& hog : hogs) {
      hog = ::fork();
      if (hog == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (volatile int spin = 0; spin >= 0;) {
          spin = 0;
        }
      }
    }
    int result = 0;
    {
      CStopSignalCatcher catcher;
      ::setpriority(PRIO_PROCESS, 0, 15);
      ::raise(SIGTERM);
      result = catcher.TakeSignal() == SIGTERM ? 0 : 1;
      const auto kept = std::chrono::nanoseconds(kStopDeadline) * 4 / 3;
      while (RunQueueWaitNanos(::gettid()) < kept.count()) {
      }
    }
    for (pid_t hog : hogs) {
      ::kill(hog, SIGKILL);
    }
    ::_exit(result);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace vantrel
