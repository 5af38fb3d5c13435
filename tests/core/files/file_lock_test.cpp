// One program per file: the lock refuses a second holder, names the first,
// follows links and goes with its holder, however that one ends.

#include "files/file_lock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

using State = CFileLock::State;

TEST(FileLock, ASecondLockIsRefusedAndToldTheHolderUntilTheFirstGoes) {
  test::TempDir dir;
  const std::filesystem::path profile = dir.Path() / "vantrel.INI";
  const std::filesystem::path link = dir.Path() / "other-name.INI";
  std::filesystem::create_symlink(profile, link);
  {
    const CFileLock first(profile);
    ASSERT_EQ(first.GetState(), State::Held) << first.Error();
    EXPECT_EQ(LockPathOf(profile), dir.Path() / ".vantrel.INI.lock");
    EXPECT_TRUE(std::filesystem::is_regular_file(LockPathOf(profile)));
    for (const auto& name : {profile, link}) {
      const CFileLock second(name);
      EXPECT_EQ(second.GetState(), State::HeldByOther) << name;
      EXPECT_EQ(second.Holder(), ::getpid());
    }
  }
  EXPECT_EQ(CFileLock(link).GetState(), State::Held);
}

TEST(FileLock, AKilledHolderLeavesNoLockBehind) {
  test::TempDir dir;
  const std::filesystem::path profile = dir.Path() / std::string(252, 'p'); // lock name too long
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const CFileLock lock(profile);
    const char held = lock.GetState() == State::Held ? '1' : '0';
    [[maybe_unused]] const ssize_t written = ::write(ready[1], &held, 1);
    ::pause();
    ::_exit(0);
  }
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, '1');
  {
    const CFileLock second(profile);
    EXPECT_EQ(second.GetState(), State::HeldByOther);
    EXPECT_EQ(second.Holder(), child);
    EXPECT_LE(LockPathOf(profile).filename().string().size(), 255U);
    EXPECT_TRUE(std::filesystem::is_regular_file(LockPathOf(profile)));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(CFileLock(profile).GetState(), State::Held);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(FileLock, NoPlaceForALockIsReportedNotFatal) {
  test::TempDir dir;
  std::filesystem::create_symlink("/nonexistent", dir.Path() / ".p.INI.lock");
  const CFileLock lock(dir.Path() / "p.INI");
  EXPECT_EQ(lock.GetState(), State::Unavailable);
  EXPECT_FALSE(lock.Error().empty());
}

} // namespace
} // namespace vantrel
