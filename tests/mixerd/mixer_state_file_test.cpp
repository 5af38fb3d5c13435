#include "mixer_state_file.h"
#include "support/mixerd_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace vantrel::mixerd {
namespace {

MixerState ChangedState() {
  MixerState state = DefaultMixerState();
  state.master = {1, 65535};
  state.sources[3].volume = 12;
  state.sources[12].pan = 0;
  state.sources[7].sends[1] = {3, 65535};
  state.buses[1] = {500, false, true, 15, true, 2};
  state.record = 7;
  state.masterMuted = true;
  state.buses[3].muted = true;
  state.sources[12].muted = true;
  state.apps = {"Firefox", "Music Player Daemon"};
  return state;
}

// `text` with its first `from` replaced by `to`.
std::string WithFirst(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(MixerStateFile, SavedStateReadsBackUnchanged) {
  test::TempDir dir;
  const std::string path = dir.File("deeper/still/mixer.state");
  std::string message;
  ASSERT_TRUE(SaveStateFile(path, ChangedState(), message)) << message;
  MixerState loaded;
  EXPECT_EQ(LoadStateFile(path, loaded, message), LoadResult::Loaded) << message;
  EXPECT_EQ(loaded, ChangedState());
  // Nothing but the state file is left in its folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("deeper/still")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(MixerStateFile, AFileFromBeforeMutesReadsWithNothingMuted) {
  std::string text = FormatState(ChangedState());
  const std::size_t mutes = text.find("mutes ");
  ASSERT_NE(mutes, std::string::npos);
  text.erase(mutes, text.find('\n', mutes) + 1 - mutes);
  MixerState parsed;
  std::string message;
  ASSERT_TRUE(ParseState(text, parsed, message)) << message;
  MixerState expected = ChangedState();
  expected.masterMuted = false;
  expected.buses[3].muted = false;
  expected.sources[12].muted = false;
  EXPECT_EQ(parsed, expected);
}

TEST(MixerStateFile, MissingFileGivesTheDefaultsWithAMessage) {
  test::TempDir dir;
  MixerState loaded = ChangedState();
  std::string message;
  EXPECT_EQ(LoadStateFile(dir.File("none"), loaded, message), LoadResult::Missing);
  EXPECT_EQ(loaded, DefaultMixerState());
  EXPECT_NE(message.find("defaults"), std::string::npos);
}

TEST(MixerStateFile, DamagedFilesGiveTheDefaultsAndAreKeptAside) {
  const std::string good = FormatState(ChangedState());
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"garbage", "\x01\x02 not a state file\n"},
      {"other version", "vantrel-mixer-state 2\n" + good.substr(good.find('\n') + 1)},
      {"cut short", good.substr(0, good.size() / 2)},
      {"no end line", good.substr(0, good.rfind("end"))},
      {"value out of range", WithFirst(good, "record 7", "record 65536")},
      {"bus out of range", WithFirst(good, "send 3 65535", "send 4 65535")},
      {"not a number", WithFirst(good, "master 0 1", "master 0 x")},
      {"line missing",
       [&] {
         std::string t = good;
         const std::size_t at = t.find("bus 2");
         t.erase(at, t.find('\n', at) - at + 1);
         return t;
       }()},
      {"unknown line", good + "volume 3\n"},
      {"applications out of order", WithFirst(good, "app 2 ", "app 3 ")},
      {"application without a name", WithFirst(good, "app 2 Music Player Daemon", "app 2")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const std::string path = dir.File("mixer.state");
    WriteText(path, c.text);
    MixerState loaded = ChangedState();
    std::string message;
    EXPECT_EQ(LoadStateFile(path, loaded, message), LoadResult::Invalid);
    EXPECT_EQ(loaded, DefaultMixerState());
    EXPECT_NE(message.find("unreadable"), std::string::npos) << message;
    std::ifstream aside(path + ".unreadable", std::ios::binary);
    EXPECT_TRUE(aside.good());
  }
}

TEST(MixerStateFile, APipeADeviceOrAHugeFileIsRefusedAtOnce) {
  test::TempDir dir;
  const std::string fifo = dir.File("fifo.state");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero = dir.File("zero.state");
  std::filesystem::create_symlink("/dev/zero", zero);
  const std::string huge = dir.File("huge.state");
  WriteText(huge, FormatState(ChangedState()) + std::string(kMaxStateFileBytes, '#'));
  for (const std::string& path : {fifo, zero, huge}) {
    MixerState loaded = ChangedState();
    std::string message;
    EXPECT_EQ(LoadStateFile(path, loaded, message), LoadResult::Invalid) << path;
    EXPECT_EQ(loaded, DefaultMixerState());
    EXPECT_NE(message.find("unreadable"), std::string::npos) << message;
    // A save afterwards writes a regular file in its place.
    ASSERT_TRUE(SaveStateFile(path, ChangedState(), message)) << message;
    EXPECT_EQ(LoadStateFile(path, loaded, message), LoadResult::Loaded) << message;
  }
}

TEST(MixerStateFile, FailedSaveLeavesTheOldFileAsItWas) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root writes into read-only folders";
  }
  test::TempDir dir;
  const std::string path = dir.File("mixer.state");
  std::string message;
  ASSERT_TRUE(SaveStateFile(path, ChangedState(), message));
  ::chmod(dir.Path().c_str(), 0500);
  EXPECT_FALSE(SaveStateFile(path, DefaultMixerState(), message));
  EXPECT_FALSE(message.empty());
  ::chmod(dir.Path().c_str(), 0700);
  MixerState loaded;
  EXPECT_EQ(LoadStateFile(path, loaded, message), LoadResult::Loaded);
  EXPECT_EQ(loaded, ChangedState());
}

TEST(MixerStateFile, SaveIntoAPathUnderAFileFailsWithAMessage) {
  test::TempDir dir;
  WriteText(dir.File("file"), "x");
  std::string message;
  EXPECT_FALSE(SaveStateFile(dir.File("file/mixer.state"), DefaultMixerState(), message));
  EXPECT_NE(message.find("file/mixer.state"), std::string::npos) << message;
}

TEST(MixerModel, DefaultsAreSensibleAndValid) {
  const MixerState state = DefaultMixerState();
  EXPECT_TRUE(IsValidMixerState(state));
  for (const SourceState& source : state.sources) {
    EXPECT_EQ(source.sends[0].bus, 0);
    EXPECT_EQ(source.sends[1].bus, 1);
  }
  EXPECT_FALSE(state.buses[0].onOutput);
  EXPECT_EQ(state.buses[0].effect, 0);
  EXPECT_FALSE(state.buses[1].onOutput);
  EXPECT_EQ(state.buses[1].effect, 1);
  EXPECT_TRUE(state.buses[2].onOutput);
  EXPECT_TRUE(state.buses[3].onOutput);
  for (const BusState& bus : state.buses) {
    EXPECT_TRUE(bus.routed);
  }
}

} // namespace
} // namespace vantrel::mixerd
