// vantrel-mixerctl's output and exit codes against the real server.

#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace vantrel::test {
namespace {

CommandResult Ctl(std::vector<std::string> args) {
  args.insert(args.begin(), MixerctlProgram());
  return RunCommand(args);
}

int CountLines(const std::string& text, const std::string& start) {
  int count = 0;
  for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
    count += text.compare(at, start.size(), start) == 0 ? 1 : 0;
    if (text.find('\n', at) == std::string::npos) {
      break;
    }
  }
  return count;
}

using MixerctlTest = MixerdFixture;

std::string ReadAll(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// "vantrel-mixerctl watch" running beside the test, its output in files.
class Watch {
public:
  Watch(const std::string& dir, std::vector<std::string> args)
      : m_out(dir + "/watch.out"), m_err(dir + "/watch.err") {
    args.insert(args.begin(), {MixerctlProgram(), "watch"});
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::posix_spawn(&m_pid, argv[0], &files, nullptr, argv.data(), environ) != 0) {
      m_pid = 0;
    }
    posix_spawn_file_actions_destroy(&files);
  }
  ~Watch() {
    Signal(SIGKILL);
    Wait();
  }

  // Until the watch says on standard error that it listens.
  bool WaitUntilWatching() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ReadAll(m_err).find("watching") == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  void Signal(int signal) const {
    if (m_pid > 0) { // never 0: that would signal the test's whole process group
      ::kill(m_pid, signal);
    }
  }

  // The exit code (-1: killed) and what it printed; killed after 30 s.
  CommandResult Wait() {
    int status = 0;
    for (int waited = 0; m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++waited) {
      if (waited == 3000) {
        Signal(SIGKILL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = 0;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(m_out), ReadAll(m_err)};
  }

private:
  std::string m_out;
  std::string m_err;
  pid_t m_pid = 0;
};

TEST_F(MixerctlTest, DumpShowsEveryParameterAndRoute) {
  const CommandResult result = Ctl({"dump"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(CountLines(result.out, "master left 49152 right 49152"), 1) << result.out;
  EXPECT_EQ(CountLines(result.out, "record 32768"), 1);
  EXPECT_EQ(CountLines(result.out, "source "), 13);
  EXPECT_EQ(CountLines(result.out, "bus "), 4);
  EXPECT_NE(result.out.find("source 4 4 User 5    volume 49152 pan 32768 send0 bus 0 level 0 "
                            "send1 bus 1 level 0\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("bus 0 Aux 1 level 49152 routed yes to effect 0 (Reverb)\n"),
            std::string::npos);
  EXPECT_NE(result.out.find("bus 3 Aux 4 level 49152 routed yes to output analog pair 4 (A7+8)\n"),
            std::string::npos);
}

TEST_F(MixerctlTest, SetAndRoutingCommandsAreSeenByGetAndDump) {
  EXPECT_EQ(Ctl({"set", "SourceVolume", "0", "3", "1000"}).exitCode, 0);
  EXPECT_EQ(Ctl({"set", "SetSendLevel", "4", "2", "1", "77"}).exitCode, 0);
  EXPECT_EQ(Ctl({"route-send", "4", "2", "1", "3"}).exitCode, 0);
  EXPECT_EQ(Ctl({"route-effect", "1", "13"}).exitCode, 0);
  EXPECT_EQ(Ctl({"route-output", "0", "digital", "2"}).exitCode, 0);
  EXPECT_EQ(Ctl({"route-off", "2"}).exitCode, 0);

  EXPECT_EQ(Ctl({"get", "SourceVolume", "0", "3"}).out, "1000\n");
  EXPECT_EQ(Ctl({"get", "GetSendBus", "4", "2", "1"}).out, "3\n");
  EXPECT_EQ(Ctl({"get", "BusRouted", "2"}).out, "0\n");
  EXPECT_EQ(Ctl({"get", "BusOutput", "0"}).out, "digital 1\npair 2\nthird 0\n");
  const std::string dump = Ctl({"dump"}).out;
  EXPECT_NE(dump.find("send1 bus 3 level 77"), std::string::npos) << dump;
  EXPECT_NE(dump.find("bus 0 Aux 1 level 49152 routed yes to output digital pair 2 (D2)"),
            std::string::npos);
  EXPECT_NE(dump.find("bus 1 Aux 2 level 49152 routed yes to effect 13 (ParamEQ2)"),
            std::string::npos);
  EXPECT_NE(dump.find("bus 2 Aux 3 level 49152 routed no"), std::string::npos);

  EXPECT_EQ(Ctl({"route-on", "2"}).exitCode, 0);
  EXPECT_EQ(Ctl({"get", "IsBusRouted", "2"}).out, "1\n");
}

TEST_F(MixerctlTest, SetManySetsInOrderOrRefusesEverything) {
  EXPECT_EQ(
      Ctl({"set-many", "RecordLevel", "7", "SetBusLevel", "1", "2", "RecordLevel", "8"}).exitCode,
      0);
  EXPECT_EQ(Ctl({"get", "RecordLevel"}).out, "8\n");
  EXPECT_EQ(Ctl({"get", "BusLevel", "1"}).out, "2\n");
  const std::string before = Ctl({"dump"}).out;
  const CommandResult refused =
      Ctl({"set-many", "RecordLevel", "9", "SourceVolume", "2", "1", "5"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("entry 2 of 2: SetSourceVolume(2, 1, 5)"), std::string::npos)
      << refused.err;
  EXPECT_EQ(Ctl({"dump"}).out, before);
}

TEST_F(MixerctlTest, WatchPrintsEachChangeWithItsOrigin) {
  Watch watch(m_dir.Path(), {"--count", "5", "--timeout", "30"});
  ASSERT_TRUE(watch.WaitUntilWatching());
  EXPECT_EQ(Ctl({"set", "SourceVolume", "2", "0", "30000"}).exitCode, 0);
  EXPECT_EQ(
      Ctl({"set-many", "RecordLevel", "5", "RecordLevel", "5", "AuxEffect", "2", "13"}).exitCode,
      0);
  const CommandResult result = watch.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(std::regex_replace(result.out, std::regex(":1\\.[0-9]+"), "X"),
            "SourceVolume Wave = 30000 (from X)\n"
            "RecordLevel = 5 (from X)\n"
            "RecordLevel = 5 (from X)\n"
            "BusEffect Aux 3 = 13 (ParamEQ2) (from X)\n"
            "BusOnOutput Aux 3 = 0\n");
}

TEST_F(MixerctlTest, WatchEndsCleanlyOnAStopSignalOrItsTimeout) {
  for (int signal : {SIGINT, SIGTERM}) {
    Watch watch(m_dir.Path(), {});
    ASSERT_TRUE(watch.WaitUntilWatching());
    watch.Signal(signal);
    EXPECT_EQ(watch.Wait().exitCode, 0) << signal;
  }
  const CommandResult quiet = Ctl({"watch", "--timeout", "1"});
  EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  // A script that waits for changes learns that they did not all come.
  const CommandResult missing = Ctl({"watch", "--count", "1", "--timeout", "1"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("0 of 1 changes"), std::string::npos) << missing.err;
}

TEST_F(MixerctlTest, MetersOnTheVirtualCardSayWhyInOneLineAndFail) {
  const CommandResult result = Ctl({"meters", "--count", "1", "--timeout", "5"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "vantrel-mixerctl: no meters: the virtual back end plays no sound, so there is no "
            "level to measure.\n");
}

TEST_F(MixerctlTest, BadCommandsExitWithAUsageError) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"get"},
      {"get", "Nothing"},
      {"get", "SourceVolume", "0"},
      {"get", "SourceVolume", "0", "x"},
      {"get", "SourceVolume", "0", "99999999999"},
      {"set", "GetRecordLevel", "1"},
      {"get", "SetRecordLevel", "1"},
      {"route-output", "0", "optical", "0"},
      {"route-send", "0", "0"},
      {"dump", "extra"},
      {"set-many"},
      {"set-many", "GetRecordLevel"},
      {"set-many", "RecordLevel", "1", "2"},
      {"set-many", "RecordLevel", "1", "BusLevel", "0"},
      {"set-many", "1", "RecordLevel", "1"},
      {"watch", "--count", "0"},
      {"watch", "--timeout"},
      {"watch", "now"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CommandResult result = Ctl(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("vantrel-mixerctl: "), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
}

TEST_F(MixerctlTest, RefusedCallExitsWithTheServersReason) {
  const CommandResult result = Ctl({"set", "RecordLevel", "65536"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("SetRecordLevel(65536)"), std::string::npos) << result.err;
}

TEST_F(MixerctlTest, MissingServerExitsWithAnError) {
  EXPECT_EQ(m_server.Stop(), 0);
  const CommandResult result = Ctl({"dump"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("cannot reach the mixer server"), std::string::npos) << result.err;
}

TEST(MixerctlTargetsTest, TargetsNameTheMappingFilesMistakesAndAFirstRunWarnsOfNothing) {
  ASSERT_TRUE(StopMixerNameOwner());
  TempDir dir;
  MixerdProcess server(dir.File("never-saved.state"),
                       BackendWithMapping(dir, "[Wave]\nstream = no.such.property = x\n[Bogus]\n"));
  const std::string config = dir.File("mixer.ini");
  ASSERT_TRUE(server.Start()) << server.Errors();
  const CommandResult targets = RunCommand({MixerctlProgram(), "targets"});
  EXPECT_EQ(targets.exitCode, 0) << targets.err;
  for (const std::string& mistake :
       {config + ":2: unknown property \"no.such.property\"", config + ":3: unknown section"}) {
    EXPECT_NE(targets.out.find(mistake), std::string::npos) << targets.out;
  }
  // The state was read before the call was answered.
  EXPECT_NE(server.Errors().find("no saved mixer state"), std::string::npos) << server.Errors();
  EXPECT_EQ(server.Errors().find("warning"), std::string::npos) << server.Errors();
  EXPECT_EQ(server.Stop(), 0);
}

TEST(MixerctlHelpTest, HelpAndMethodsNeedNoServer) {
  const CommandResult help = Ctl({"help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: vantrel-mixerctl"), std::string::npos);
  const CommandResult methods = Ctl({"methods"});
  EXPECT_EQ(methods.exitCode, 0);
  EXPECT_NE(methods.out.find("GetBusOutput(bus) -> digital, pair, third\n"), std::string::npos)
      << methods.out;
  EXPECT_EQ(CountLines(methods.out, ""), 29);
  EXPECT_NE(help.out.find("set-many"), std::string::npos);
  EXPECT_NE(help.out.find("watch [--count N] [--timeout SECONDS]"), std::string::npos);
}

} // namespace
} // namespace vantrel::test
