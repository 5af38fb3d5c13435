#include "settings/settings.h"

#include "mixer/catalogue.h"
#include "pages/page_table.h"
#include "state/app_state.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

using namespace std::string_literals;
using test::ReadTextFile;
using test::TempDir;
using test::WriteTextFile;

std::vector<SettingKey> AllKeys() {
  std::vector<SettingKey> keys = {kActivePageKey, kDefaultMidiInKey, kDefaultMidiOutKey,
                                  kDefaultMidiOutChannelKey};
  // Page by page, as the pages write them.
  for (int page = 1; page <= kPageCount; ++page) {
    for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
      if (PageOfRow(row) == page) {
        keys.push_back(CcMappingKey(kCatalogue[row].key));
      }
    }
  }
  return keys;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Whether every line of before is still in after, in the same order and
// byte for byte, except the first line equal to changedLine.
bool KeepsOtherLines(const std::string& before, const std::string& after,
                     std::string_view changedLine) {
  std::vector<std::string> old = SplitLines(before);
  const auto changed = std::find(old.begin(), old.end(), changedLine);
  if (changed != old.end()) {
    old.erase(changed);
  }
  const std::vector<std::string> now = SplitLines(after);
  std::size_t at = 0;
  for (const std::string& line : old) {
    while (at < now.size() && now[at] != line) {
      ++at;
    }
    if (at == now.size()) {
      return false;
    }
    ++at;
  }
  return true;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

bool IsRoot() {
  return ::geteuid() == 0;
}

TEST(Settings, AllKeysOfAFreshProfileReadBackAsWritten) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "config" / "vantrel" / "vantrel.INI";
  CSettings settings(path);
  const std::vector<SettingKey> keys = AllKeys();
  ASSERT_EQ(keys.size(), 65U);
  for (const SettingKey& key : keys) {
    EXPECT_EQ(settings.Read(key), "");
    EXPECT_EQ(settings.ReadInt(key, -1), -1);
  }
  EXPECT_FALSE(std::filesystem::exists(path)) << "reading must not create the file";

  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_TRUE(settings.WriteInt(keys[i], static_cast<int32_t>(i) - 2));
  }
  const CSettings reopened(path);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(reopened.ReadInt(keys[i], 999), static_cast<int32_t>(i) - 2) << keys[i].name;
  }
  const std::string text = ReadTextFile(path);
  for (const char* line : {"[Program Options]\n", "[Midi Options]\n", "[CC Mapping]\n",
                           "NRPN Cut=45\n", "NRPN Res=46\n", "ActivePage=-2\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(FolderEntries(path.parent_path()), std::vector<std::string>{"vantrel.INI"})
      << "no temporary file may be left behind";
}

TEST(Settings, FindsSectionsAndKeysWhateverTheirCase) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[PROGRAM options]\nactivepage=4\n[cc MAPPING]\nnrpn cut=9\n");
  CSettings settings(path);
  EXPECT_EQ(settings.ReadInt(kActivePageKey, 1), 4);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("NRPN Cut"), -1), 9);
  ASSERT_TRUE(settings.WriteInt(CcMappingKey("NRPN Cut"), 10));
  EXPECT_EQ(ReadTextFile(path), "[PROGRAM options]\nactivepage=4\n[cc MAPPING]\nnrpn cut=10\n");
}

TEST(Settings, ReadsTheFileAtEveryCall) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  CSettings settings(path);
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 2));
  WriteTextFile(path, "[Program Options]\nActivePage=5\n");
  EXPECT_EQ(settings.ReadInt(kActivePageKey, 1), 5);
  ASSERT_TRUE(settings.WriteInt(kDefaultMidiInKey, 0));
  EXPECT_EQ(ReadTextFile(path),
            "[Program Options]\nActivePage=5\n\n[Midi Options]\nDefaultMidiIn=0\n");
}

TEST(Settings, AReadOnlyStoreReadsAndLeavesTheFileAndAMissingOneAlone) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[Program Options]\nActivePage=5\n");
  CSettings settings(path, ProfileAccess::ReadOnly);
  EXPECT_EQ(settings.ReadInt(kActivePageKey, 1), 5);
  EXPECT_TRUE(settings.WriteInt(kActivePageKey, 2));
  EXPECT_TRUE(settings.WriteMany(std::vector<SettingWrite>{{kDefaultMidiInKey, "0"}}));
  EXPECT_EQ(ReadTextFile(path), "[Program Options]\nActivePage=5\n");
  CSettings missing(folder.Path() / "none" / "p.INI", ProfileAccess::ReadOnly);
  EXPECT_TRUE(missing.Write(kActivePageKey, "3"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "none"));
}

TEST(Settings, ConvertsTextWithAtoiRulesAndEmptyTextToTheFallback) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[CC Mapping]\nA=\nB=   \nC= 12x\nD=abc\nE=-7\n");
  const CSettings settings(path);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("A"), -1), -1);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("B"), -1), -1);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("C"), -1), 12);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("D"), -1), 0);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("E"), -1), -7);
  EXPECT_EQ(settings.ReadInt(CcMappingKey("Missing"), 3), 3);
}

struct HostileCase {
  const char* name;
  std::string text;
};

class SettingsOnHostileFile : public testing::TestWithParam<HostileCase> {};

TEST_P(SettingsOnHostileFile, WritesKeepEveryOtherLine) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  const std::string original = GetParam().text;
  WriteTextFile(path, original);
  CSettings settings(path);
  (void)settings.Read(kActivePageKey);

  ASSERT_TRUE(settings.WriteInt(CcMappingKey("A1VolCC"), 7));
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 3));
  ASSERT_TRUE(settings.WriteInt(kDefaultMidiOutChannelKey, 16));
  EXPECT_EQ(settings.ReadInt(CcMappingKey("A1VolCC"), -1), 7);
  EXPECT_EQ(settings.ReadInt(kActivePageKey, 1), 3);
  EXPECT_EQ(settings.ReadInt(kDefaultMidiOutChannelKey, 1), 16);
  const std::string after = ReadTextFile(path);
  const bool crlf = original.find("\r\n") != std::string::npos;
  EXPECT_TRUE(KeepsOtherLines(original, after, crlf ? "A1VolCC=1\r" : "A1VolCC=1"));
}

const std::string kFiveMegabytes(5 * 1024 * 1024, 'L');

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsOnHostileFile,
    testing::Values(
        HostileCase{"empty", ""},
        HostileCase{"garbage", "@@@ not ini\n[[[]]\n=\n[CC Mapping\nA1VolCC 5\n;c\n#c\n\n"},
        HostileCase{"no_final_newline", "[CC Mapping]\nA1VolCC=1"},
        HostileCase{"crlf", "[Program Options]\r\nOther=2\r\n[CC Mapping]\r\nA1VolCC=1\r\n"},
        HostileCase{"duplicates", "[CC Mapping]\nA1VolCC=1\nA1VolCC=2\n[cc mapping]\nA1VolCC=3\n"},
        HostileCase{"five_megabyte_line", "[CC Mapping]\n" + kFiveMegabytes + "\nA1VolCC=1\n"},
        HostileCase{"nul_bytes", "\0\0\0\n[CC Mapping]\nA1VolCC=1\nX=\0\n\0"s},
        HostileCase{"invalid_utf8", "\xff\xfe\xfd\n[CC Mapping]\n\xc3\x28=\xa0\xa1\nA1VolCC=1\n"},
        HostileCase{"unknown_sections", "[Window]\nX=1\n[CC Mapping]\nA1VolCC=1\nFoo=bar\n"}),
    [](const testing::TestParamInfo<HostileCase>& testInfo) {
      return std::string(testInfo.param.name);
    });

TEST(Settings, WriteManyStoresAllKeysOrNone) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  CSettings settings(path);
  EXPECT_TRUE(settings.WriteMany({}));
  EXPECT_FALSE(std::filesystem::exists(path));

  const std::vector<SettingWrite> good = {{kActivePageKey, "4"},
                                          {CcMappingKey("NRPN Cut"), "-1"},
                                          {kDefaultMidiOutChannelKey, "16"},
                                          {kActivePageKey, "5"}};
  ASSERT_TRUE(settings.WriteMany(good));
  EXPECT_EQ(ReadTextFile(path), "[Program Options]\nActivePage=5\n\n[CC Mapping]\nNRPN Cut=-1\n\n"
                                "[Midi Options]\nDefaultMidiOutChannel=16\n");

  const std::string before = ReadTextFile(path);
  const std::vector<SettingWrite> oneBad = {{kActivePageKey, "1"}, {kDefaultMidiInKey, "2\n"}};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(settings.WriteMany(oneBad));
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("2 settings"), std::string::npos) << message;
  EXPECT_EQ(ReadTextFile(path), before);
}

TEST(Settings, WritingTheSameValueLeavesTheFileAlone) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  CSettings settings(path);
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 2));
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 2));
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(Settings, KeepsThePermissionsOfTheFile) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[A]\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  CSettings settings(path);
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 2));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640U);
}

TEST(Settings, RootKeepsTheOwnerOfTheFile) {
  if (!IsRoot()) {
    GTEST_SKIP() << "only root can give files away";
  }
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[A]\n");
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  CSettings settings(path);
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 2));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534U);
  EXPECT_EQ(info.st_gid, 65534U);
}

TEST(Settings, WritesThroughASymbolicLinkAndKeepsTheLink) {
  TempDir folder;
  const std::filesystem::path real = folder.Path() / "real.INI";
  const std::filesystem::path link = folder.Path() / "p.INI";
  WriteTextFile(real, "; mine\n");
  std::filesystem::create_symlink(real, link);
  CSettings settings(link);
  ASSERT_TRUE(settings.WriteInt(kActivePageKey, 6));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadTextFile(real), "; mine\n\n[Program Options]\nActivePage=6\n");
}

TEST(Settings, ADanglingLinkIsWrittenThroughAndALongNameSaves) {
  TempDir folder;
  const std::filesystem::path link = folder.Path() / "p.INI";
  std::filesystem::create_symlink("kept/real.INI", link);
  CSettings linked(link);
  ASSERT_TRUE(linked.WriteInt(kActivePageKey, 6));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadTextFile(folder.Path() / "kept" / "real.INI"), "[Program Options]\nActivePage=6\n");

  // The longest name most file systems allow: the temporary file beside it
  // must still fit.
  CSettings longName(folder.Path() / (std::string(251, 'n') + ".INI"));
  ASSERT_TRUE(longName.WriteInt(kActivePageKey, 2));
  EXPECT_EQ(longName.ReadInt(kActivePageKey, 0), 2);
}

TEST(Settings, AHugeProfileIsReadOnceForManyKeysWithOneWarning) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[Program Options]\nActivePage=4\n" + std::string(kLargeProfileBytes, ';') +
                          "\n[Midi Options]\nDefaultMidiIn=2\n");
  // Old enough that its time proves it unchanged.
  const timespec old[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  CSettings settings(path);
  testing::internal::CaptureStderr();
  for (int round = 0; round < 100; ++round) {
    ASSERT_EQ(settings.ReadInt(kActivePageKey, 0), 4);
    ASSERT_EQ(settings.ReadInt(kDefaultMidiInKey, 0), 2);
  }
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
  EXPECT_NE(warning.find("1 MB"), std::string::npos) << warning;
  // A change is still seen at once.
  WriteTextFile(path, "[Program Options]\nActivePage=5\n");
  EXPECT_EQ(settings.ReadInt(kActivePageKey, 0), 5);
}

// A write that cannot be done: returns false, leaves the old file as it
// was, leaves no temporary file, and says why in one line naming the file.
void ExpectFailedWrite(CSettings& settings, const std::filesystem::path& inspect,
                       const std::string& expectedBytes) {
  testing::internal::CaptureStderr();
  const bool written = settings.WriteInt(kActivePageKey, 8);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(written);
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  EXPECT_NE(message.find(settings.Path().string()), std::string::npos) << message;
  EXPECT_EQ(ReadTextFile(inspect), expectedBytes);
}

TEST(Settings, AFolderInPlaceOfTheFileReadsEmptyAndRefusesWrites) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  std::filesystem::create_directory(path);
  WriteTextFile(path / "inside", "kept");
  CSettings settings(path);
  testing::internal::CaptureStderr();
  EXPECT_EQ(settings.Read(kActivePageKey), "");
  EXPECT_EQ(settings.ReadInt(kDefaultMidiInKey, -1), -1);
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << "one warning per object";

  ExpectFailedWrite(settings, path / "inside", "kept");
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"p.INI"});
}

TEST(Settings, AFileThatCannotBeOpenedIsNeverReplaced) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  // A link to itself cannot be opened, even by root.
  std::filesystem::create_symlink("p.INI", path);
  CSettings settings(path);
  EXPECT_EQ(settings.Read(kActivePageKey), "");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(settings.WriteInt(kActivePageKey, 8));
  EXPECT_NE(testing::internal::GetCapturedStderr().find(path.string()), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"p.INI"});
}

TEST(Settings, AnUnreadableFileIsNeverReplaced) {
  if (IsRoot()) {
    GTEST_SKIP() << "root reads files whatever their permissions";
  }
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[Program Options]\nActivePage=2\n; precious\n");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  CSettings settings(path);
  EXPECT_EQ(settings.ReadInt(kActivePageKey, 1), 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(settings.WriteInt(kActivePageKey, 8));
  (void)testing::internal::GetCapturedStderr();
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadTextFile(path), "[Program Options]\nActivePage=2\n; precious\n");
}

TEST(Settings, AReadOnlyFileOrFolderIsLeftAsItIs) {
  if (IsRoot()) {
    GTEST_SKIP() << "root writes whatever the permissions";
  }
  const std::string original = "[Program Options]\nActivePage=2\n";
  {
    TempDir folder;
    const std::filesystem::path path = folder.Path() / "p.INI";
    WriteTextFile(path, original);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    CSettings settings(path);
    ExpectFailedWrite(settings, path, original);
  }
  {
    TempDir folder;
    const std::filesystem::path path = folder.Path() / "p.INI";
    WriteTextFile(path, original);
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0555), 0);
    CSettings settings(path);
    ExpectFailedWrite(settings, path, original);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"p.INI"});
  }
}

TEST(Settings, AFolderThatCannotBeCreatedFailsTheWrite) {
  TempDir folder;
  WriteTextFile(folder.Path() / "file", "not a folder");
  CSettings settings(folder.Path() / "file" / "vantrel" / "p.INI");
  ExpectFailedWrite(settings, folder.Path() / "file", "not a folder");
}

TEST(Settings, AValueWithALineEndIsRefused) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  WriteTextFile(path, "[A]\n");
  CSettings settings(path);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(settings.Write(kActivePageKey, "1\n[Injected]"));
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(ReadTextFile(path), "[A]\n");
}

TEST(Settings, AFullDiskLeavesTheOldFileWhole) {
  TempDir folder;
  const std::filesystem::path path = folder.Path() / "p.INI";
  const std::string original = "[Program Options]\nActivePage=2\n" + std::string(4096, ';') + "\n";
  WriteTextFile(path, original);
  // A file size limit makes writes fail as a full disk does; it is set in a
  // child so that the test process keeps writing its own files.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    CSettings settings(path);
    ::_exit(settings.WriteInt(kActivePageKey, 3) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write must report failure";
  EXPECT_EQ(ReadTextFile(path), original);
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"p.INI"});
}

} // namespace
} // namespace vantrel
