// CMixerLink against the real server: absence, a killed and replaced server,
// starting and restarting the server, bus activation, a stopped bus and a
// slow server.

#include "mixer/dbus_mixer_protocol.h"
#include "support/mixerd_fixture.h"
#include "support/scoped_env.h"
#include "support/slow_mixer.h"

#include <sdbus-c++/sdbus-c++.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <poll.h>

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;

// Reloads the bus's service files after a test changed them.
void ReloadBusConfig() {
  auto connection = sdbus::createSessionBusConnection();
  auto bus = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
  bus->callMethod("ReloadConfig").onInterface("org.freedesktop.DBus");
}

using namespace std::chrono_literals;

int32_t ServerReadsUntil(const std::vector<std::string>& args, int32_t expected,
                         std::chrono::milliseconds timeout = 10s) {
  const auto end = Clock::now() + timeout;
  int32_t value = ServerReads(args);
  while (value != expected && Clock::now() < end) {
    std::this_thread::sleep_for(50ms);
    value = ServerReads(args);
  }
  return value;
}

// Pumps until the link's mirror holds the server's state.
bool PumpUntilState(CMixerLink& link, std::chrono::milliseconds timeout = 10s) {
  return PumpLinkUntil(
      link, [&] { return link.Server() != nullptr && !link.Server()->IsStalled(); }, timeout);
}

using MixerLinkTest = MixerdFixture;

// Setters are never waited on for long: a server that stops reading (here
// stopped by a signal) costs the caller one short flush budget, not one per
// call, and everything queued meanwhile reaches it once it reads again.
TEST_F(MixerLinkTest, AServerThatStopsReadingDoesNotHoldUpSettersAndGetsThemLater) {
  auto link = ConnectLink();
  IMixerServer* mixer = link->Server();
  ASSERT_NE(mixer, nullptr);
  ASSERT_EQ(::kill(m_server.Pid(), SIGSTOP), 0);
  const auto start = Clock::now();
  for (int i = 0; i < 20000; ++i) {
    mixer->SetBusLevel(i % 4, i % 65536);
  }
  mixer->SetRecordLevel(1234);
  const auto elapsed = Clock::now() - start;
  ASSERT_EQ(::kill(m_server.Pid(), SIGCONT), 0);
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  ASSERT_TRUE(PumpLinkUntil(
      *link, [&] { return link->PendingSetters() == 0 && !mixer->IsStalled(); }, 30s));
  EXPECT_EQ(ServerReadsUntil({"RecordLevel"}, 1234), 1234);
}

// The bus itself stops: the socket fills and the link queues. Once the bus
// goes on, the event loop alone writes everything out, in order: the last
// value of every parameter lands with no later call.
TEST_F(MixerLinkTest, SettersQueuedWhileTheBusIsStoppedAllArriveInOrderOnceItGoesOn) {
  auto link = ConnectLink();
  auto reader = ConnectLink();
  IMixerServer* mixer = link->Server();
  ASSERT_NE(mixer, nullptr);
  BusPause pause;
  if (!pause.Paused()) {
    GTEST_SKIP() << "the test command names no bus daemon to stop";
  }
  const auto start = Clock::now();
  for (int i = 0; i < 30000; ++i) {
    mixer->SetBusLevel(i % 4, i);
  }
  mixer->SetRecordLevel(4321);
  // None of them waited for the stopped bus, which goes on only after them
  // (a wait for it would end with the test's time-out). The bound leaves a
  // loaded machine its few seconds for the 30,000 calls themselves.
  EXPECT_LT(Clock::now() - start, 20s);
  EXPECT_GT(link->PendingSetters(), 0u);
  // Getters answer at once from the mirror, with what the program set.
  int32_t level = 7;
  EXPECT_EQ(mixer->GetRecordLevel(level), kMixerOk);
  EXPECT_EQ(level, 4321);
  pause.Resume();

  ASSERT_TRUE(PumpLinkUntil(
      *link, [&] { return link->PendingSetters() == 0; }, 60s));
  EXPECT_EQ(ServerReadsUntil({"RecordLevel"}, 4321), 4321);
  for (int32_t bus = 0; bus < 4; ++bus) {
    EXPECT_EQ(ServerReadsUntil({"BusLevel", std::to_string(bus)}, 29996 + bus), 29996 + bus);
  }
  // The other client hears every last value through the change signal.
  IMixerServer* other = reader->Server();
  EXPECT_TRUE(PumpLinkUntil(
      *reader,
      [&] {
        int32_t value = 0;
        return other->GetRecordLevel(value) == kMixerOk && value == 4321;
      },
      30s));
}

// A server that answers late never makes the caller wait: Create() gives
// its state a short moment, getters fail at once (the caller keeps what it
// shows) until the state arrives, and then answer from the mirror without
// a single per-value call reaching the server.
TEST(MixerLinkSlowServerTest, ASlowServersStateArrivesOnItsOwnAndGettersNeverWait) {
  ASSERT_TRUE(StopMixerNameOwner());
  SlowMixer slow(900ms);
  ASSERT_TRUE(slow.Running());
  CMixerLink link(ExistingServerOnly());
  ASSERT_EQ(link.Startup(), kMixerOk);
  const auto created = Clock::now();
  ASSERT_EQ(link.Create(), kMixerOk);
  EXPECT_LT(Clock::now() - created, 800ms);
  IMixerServer* mixer = link.Server();
  const auto start = Clock::now();
  for (int i = 0; i < 20; ++i) {
    int32_t level = 5;
    EXPECT_EQ(mixer->GetRecordLevel(level), kMixerFailed);
    EXPECT_EQ(level, 5);
  }
  EXPECT_LT(Clock::now() - start, 100ms);
  EXPECT_TRUE(mixer->IsStalled());
  ASSERT_TRUE(PumpUntilState(link));
  int32_t level = 5;
  EXPECT_EQ(mixer->GetRecordLevel(level), kMixerOk);
  EXPECT_EQ(level, SlowMixer::kStateLevel);
  int32_t effect = 0;
  EXPECT_EQ(mixer->GetBusEffect(2, effect), kMixerOk);
  EXPECT_EQ(effect, SlowMixer::kStateEffect);
  EXPECT_EQ(slow.GetterCalls(), 0);
}

// A link that starts the server itself, with no server running at first
// and the server's state file in a folder of the test's own.
class MixerLinkStartTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(StopMixerNameOwner());
    ASSERT_EQ(m_link.Startup(), kMixerOk);
  }

  TempDir m_dir;
  const ScopedEnv m_state{"XDG_STATE_HOME", m_dir.Path()};
  CMixerLink m_link;
};

// The program started the server; when it dies the link starts a new one,
// which gets nothing that was meant for the old one.
TEST_F(MixerLinkStartTest, AServerThatDiesIsStartedAgainAndGetsNothingStale) {
  ASSERT_EQ(m_link.Create(), kMixerOk);
  const pid_t first = MixerNameOwnerPid();
  ASSERT_NE(first, 0);
  ASSERT_TRUE(StopMixerNameOwner(SIGKILL));
  m_link.Server()->SetRecordLevel(2222);
  const bool restarted = PumpLinkUntil(
      m_link,
      [&] {
        const pid_t owner = MixerNameOwnerPid();
        return owner != 0 && owner != first;
      },
      10s);
  EXPECT_TRUE(restarted);
  ASSERT_TRUE(PumpUntilState(m_link));
  int32_t level = 0;
  EXPECT_EQ(m_link.Server()->GetRecordLevel(level), kMixerOk);
  EXPECT_EQ(level, 32768);
  m_link.Shutdown();
  EXPECT_TRUE(StopMixerNameOwner());
}

// Each viewer that wanted meters hears why there are none, once; one that
// did not want them hears nothing.
TEST_F(MixerLinkTest, MetersOnTheVirtualCardSayWhyOncePerViewerAndNoUpdateComes) {
  const std::unique_ptr<CMixerLink> link = ConnectLink();
  link->SetMetersWanted(MeterViewer::Surface, true);
  link->SetMetersWanted(MeterViewer::Window, true);
  std::string notice;
  ASSERT_TRUE(PumpLinkUntil(
      *link, [&] { return !(notice = link->TakeMeterNotice(MeterViewer::Surface)).empty(); }, 10s));
  const std::string why =
      "No level meters: the virtual back end plays no sound, so there is no level to measure.";
  EXPECT_EQ(notice, why);
  EXPECT_EQ(link->TakeMeterNotice(MeterViewer::Window), why);
  MeterUpdate update;
  PumpLinkUntil(
      *link, [] { return false; }, 300ms);
  EXPECT_EQ(link->TakeMeterNotice(MeterViewer::Surface), "");
  EXPECT_EQ(link->TakeMeterNotice(MeterViewer::Window), "");
  EXPECT_FALSE(link->TakeMeterUpdate(update));
  EXPECT_EQ(link->MeterUpdateCount(), 0u);
}

TEST_F(MixerLinkTest, KilledServerIsFoundAgainOnceReplaced) {
  auto link = ConnectLink();
  IMixerServer* mixer = link->Server();
  ASSERT_NE(mixer, nullptr);
  mixer->SetRecordLevel(4242);
  int32_t level = 0;
  ASSERT_EQ(mixer->GetRecordLevel(level), kMixerOk);

  m_server.Kill();
  ASSERT_TRUE(WaitForMixerName(false, std::chrono::seconds(5)));
  ASSERT_TRUE(PumpLinkUntil(
      *link, [&] { return mixer->IsStalled(); }, 5s));
  // With nobody on the name, calls return at once; the mirror keeps the
  // last values.
  level = 0;
  const auto start = Clock::now();
  EXPECT_EQ(mixer->GetRecordLevel(level), kMixerOk);
  EXPECT_EQ(mixer->SetRecordLevel(5), kMixerOk);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(level, 4242);

  ASSERT_TRUE(m_server.Start());
  EXPECT_EQ(link->Server(), mixer);
  ASSERT_TRUE(PumpUntilState(*link));
  EXPECT_EQ(mixer->GetRecordLevel(level), kMixerOk);
  // The killed server had saved the value shortly after the change, or not:
  // either way the new one answers.
  EXPECT_TRUE(level == 4242 || level == 32768) << level;
  mixer->SetRecordLevel(17);
  EXPECT_EQ(mixer->GetRecordLevel(level), kMixerOk);
  EXPECT_EQ(level, 17);
}

TEST(MixerLinkAbsentTest, WithoutAServerTheLinkSaysItIsAbsentAndFindsOneStartedLater) {
  ASSERT_TRUE(StopMixerNameOwner());
  CMixerLink link(ExistingServerOnly());
  ASSERT_EQ(link.Startup(), kMixerOk);
  EXPECT_EQ(link.Create(), kMixerFailed);
  EXPECT_EQ(link.Server(), nullptr);
  EXPECT_EQ(link.BackendStatus(), "");
  EXPECT_EQ(link.LastError(), "No mixer server owns org.vantrel.Mixer on the bus.");

  TempDir dir;
  MixerdProcess server(dir.File("mixer.state"));
  ASSERT_TRUE(server.Start());
  // The link looks again about once a second.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (link.Server() == nullptr && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(link.Server(), nullptr);
  EXPECT_NE(link.BackendStatus(), "");
  EXPECT_EQ(link.LastError(), "");
  ASSERT_TRUE(PumpUntilState(link));
  int32_t level = 0;
  EXPECT_EQ(link.Server()->GetRecordLevel(level), kMixerOk);
  EXPECT_EQ(level, 32768);

  link.Release();
  EXPECT_EQ(link.Server(), nullptr);
  EXPECT_EQ(link.BackendStatus(), "");
}

TEST(MixerLinkAbsentTest, LinkWithoutABusConnectionHasNoServer) {
  const ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-bus");
  CMixerLink link(ExistingServerOnly());
  EXPECT_EQ(link.Startup(), kMixerFailed);
  EXPECT_EQ(link.Create(), kMixerFailed);
  EXPECT_EQ(link.Server(), nullptr);
  EXPECT_EQ(link.LastError(), "Cannot connect to the bus at unix:path=/nonexistent/vantrel-bus.");
  link.Shutdown();
}

TEST_F(MixerLinkStartTest, CreateStartsTheServerFromTheProgramsFolder) {
  EXPECT_EQ(m_link.Create(), kMixerOk);
  ASSERT_NE(m_link.Server(), nullptr);
  ASSERT_TRUE(PumpUntilState(m_link));
  int32_t gain = 0;
  EXPECT_EQ(m_link.Server()->GetMasterVolume(0, gain), kMixerOk);
  EXPECT_EQ(gain, 49152);
  // The server is not our child: it keeps running until it is told to stop.
  m_link.Shutdown();
  EXPECT_NE(MixerNameOwnerPid(), 0);
  EXPECT_TRUE(StopMixerNameOwner());
}

// A service file in the test bus's service folder lets the bus start the
// server; the file is removed again whatever happens.
class BusActivationTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* folder = std::getenv("VANTREL_TEST_DBUS_SERVICE_DIR");
    if (folder == nullptr) {
      GTEST_SKIP() << "the test bus has no service folder";
    }
    ASSERT_TRUE(StopMixerNameOwner());
    m_servicePath = std::string(folder) + "/org.vantrel.Mixer.service";
    std::ofstream(m_servicePath) << "[D-BUS Service]\nName=org.vantrel.Mixer\nExec="
                                 << MixerdProgram() << " --state " << m_dir.Path()
                                 << "/mixer.state\n";
    ReloadBusConfig();
  }
  void TearDown() override {
    if (!m_servicePath.empty()) {
      std::remove(m_servicePath.c_str());
      ReloadBusConfig();
      StopMixerNameOwner();
    }
  }

  TempDir m_dir;
  std::string m_servicePath;
};

TEST_F(BusActivationTest, ClientCallStartsTheServerThroughTheBus) {
  const CommandResult result = RunCommand({MixerctlProgram(), "get", "MasterVolume", "1"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "49152\n");
  EXPECT_NE(MixerNameOwnerPid(), 0);
}

TEST_F(BusActivationTest, LinkCallsNeverActivateTheServerThemselves) {
  auto link = std::make_unique<CMixerLink>(ExistingServerOnly());
  ASSERT_EQ(link->Startup(), kMixerOk);
  // Build the server object while one runs, then take the server away.
  MixerdProcess server(m_dir.File("own.state"));
  ASSERT_TRUE(server.Start());
  ASSERT_EQ(link->Create(), kMixerOk);
  server.Kill();
  ASSERT_TRUE(WaitForMixerName(false, std::chrono::seconds(5)));

  int32_t level = 0;
  EXPECT_EQ(link->Server()->GetBusLevel(0, level), kMixerOk); // the mirror's last value
  link->Server()->SetBusLevel(0, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(MixerNameOwnerPid(), 0);
}

} // namespace
} // namespace vantrel::test
