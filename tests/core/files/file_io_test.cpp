// The one path by which files are read and replaced: what stands in a
// file's place, links, long names and what a killed save leaves behind.

#include "files/file_io.h"
#include "files/xdg_folders.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

using Status = FileReadResult::Status;

std::vector<std::string> Entries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A process id that no process has: a child that has been reaped.
pid_t DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) {
    ::_exit(0);
  }
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(FileIo, WhatIsNoRegularFileIsRefusedWithoutBlocking) {
  test::TempDir dir;
  const std::filesystem::path fifo = dir.Path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::filesystem::path zero = dir.Path() / "zero";
  std::filesystem::create_symlink("/dev/zero", zero);
  const std::filesystem::path big = dir.Path() / "big";
  std::ofstream(big) << std::string(2000, 'x');

  EXPECT_EQ(ReadWholeFile(fifo).status, Status::Unsuitable);
  EXPECT_EQ(ReadWholeFile(zero, 1000).status, Status::Unsuitable);
  EXPECT_EQ(ReadWholeFile(dir.Path()).status, Status::Unsuitable);
  const FileReadResult tooBig = ReadWholeFile(big, 1999);
  EXPECT_EQ(tooBig.status, Status::Unsuitable);
  EXPECT_NE(tooBig.error.find("larger than 1999 bytes"), std::string::npos) << tooBig.error;
  EXPECT_EQ(ReadWholeFile(big, 2000).text.size(), 2000U);
  EXPECT_EQ(ReadWholeFile(dir.Path() / "none").status, Status::Missing);
}

TEST(FileIo, WriteTargetFollowsLinksEvenToAFileNotYetMade) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "real");
  // p -> sub/link -> ../real/profile (relative links resolve from their own folder).
  std::filesystem::create_directory(dir.Path() / "sub");
  std::filesystem::create_symlink("../real/profile", dir.Path() / "sub" / "link");
  std::filesystem::create_symlink(dir.Path() / "sub" / "link", dir.Path() / "p");
  const std::optional<std::filesystem::path> target = WriteTarget(dir.Path() / "p");
  ASSERT_TRUE(target);
  ASSERT_FALSE(ReplaceFileAtomically(*target, "text", FileReadResult{}));
  EXPECT_EQ(test::ReadTextFile(dir.Path() / "real" / "profile"), "text");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "p"));

  std::filesystem::create_symlink("loop2", dir.Path() / "loop1");
  std::filesystem::create_symlink("loop1", dir.Path() / "loop2");
  EXPECT_FALSE(WriteTarget(dir.Path() / "loop1"));
  EXPECT_EQ(WriteTarget(dir.Path() / "plain"), dir.Path() / "plain");
}

TEST(FileIo, AFileWithTheLongestNameCanBeReplaced) {
  test::TempDir dir;
  const std::filesystem::path path = dir.Path() / std::string(255, 'p');
  ASSERT_FALSE(ReplaceFileAtomically(path, "one", FileReadResult{}));
  ASSERT_FALSE(ReplaceFileAtomically(path, "two", ReadWholeFile(path)));
  EXPECT_EQ(test::ReadTextFile(path), "two");
  EXPECT_EQ(Entries(dir.Path()).size(), 1U);
}

TEST(FileIo, TemporaryFilesOfDeadProcessesGoAtTheNextSave) {
  test::TempDir dir;
  const std::string stale = TemporaryFileName(DeadPid(), 3);
  // The parent of this test is alive: its file may be a save in progress.
  const std::string live = TemporaryFileName(::getppid(), 0);
  for (const std::string& name : {stale, live, std::string(".vantrel-save-x-1")}) {
    std::ofstream(dir.Path() / name) << "half";
  }
  ASSERT_FALSE(ReplaceFileAtomically(dir.Path() / "state", "whole", FileReadResult{}));
  std::vector<std::string> expected{".vantrel-save-x-1", live, "state"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(dir.Path()), expected);
}

TEST(FileIo, TemporaryNamesNameTheirProcess) {
  EXPECT_EQ(TemporaryFileOwner(TemporaryFileName(4242, 7)), 4242);
  for (const char* other : {"profile.INI", ".vantrel-save-", ".vantrel-save-12",
                            ".vantrel-save-12-", ".vantrel-save--1", ".vantrel-save-0-1",
                            ".vantrel-save-1-2x", ".vantrel-save-99999999999999-1"}) {
    EXPECT_FALSE(TemporaryFileOwner(other)) << other;
  }
}

TEST(FileIo, FoldersCreatedAlongTheWayAndRefusedUnderAFile) {
  test::TempDir dir;
  EXPECT_FALSE(CreateParentFolders(dir.Path() / "a" / "b" / "file", 0700));
  struct stat info {};
  ASSERT_EQ(::stat((dir.Path() / "a" / "b").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700U);
  std::ofstream(dir.Path() / "plain") << "x";
  const std::optional<std::string> failure = CreateParentFolders(dir.Path() / "plain" / "c" / "f");
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->find("folder cannot be created"), std::string::npos) << *failure;
}

TEST(XdgFolders, VariablesThenHome) {
  const struct {
    const char* config;
    const char* state;
    const char* home;
    std::optional<std::filesystem::path> configFolder;
    std::optional<std::filesystem::path> stateFolder;
  } cases[] = {
      {"/c", "/s", "/h", "/c/vantrel", "/s/vantrel"},
      {nullptr, nullptr, "/h", "/h/.config/vantrel", "/h/.local/state/vantrel"},
      {"rel", "rel", "/h", "/h/.config/vantrel", "/h/.local/state/vantrel"},
      {"", "", nullptr, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto set = [](const char* name, const char* value) {
      value ? ::setenv(name, value, 1) : ::unsetenv(name);
    };
    set("XDG_CONFIG_HOME", c.config);
    set("XDG_STATE_HOME", c.state);
    set("HOME", c.home);
    EXPECT_EQ(VantrelFolder(XdgBase::Config), c.configFolder);
    EXPECT_EQ(VantrelFolder(XdgBase::State), c.stateFolder);
  }
}

} // namespace
} // namespace vantrel
