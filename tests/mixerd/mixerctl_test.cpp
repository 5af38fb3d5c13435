// vantrel-mixerctl's output and exit codes against the real server.

#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

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

TEST(MixerctlHelpTest, HelpAndMethodsNeedNoServer) {
  const CommandResult help = Ctl({"help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: vantrel-mixerctl"), std::string::npos);
  const CommandResult methods = Ctl({"methods"});
  EXPECT_EQ(methods.exitCode, 0);
  EXPECT_NE(methods.out.find("GetBusOutput(bus) -> digital, pair, third\n"), std::string::npos)
      << methods.out;
  EXPECT_EQ(CountLines(methods.out, ""), 21);
}

} // namespace
} // namespace vantrel::test
