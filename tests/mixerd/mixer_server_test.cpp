// vantrel-mixerd through the program's own client and through raw D-Bus
// calls: every method, the error answer, signals, persistence, single
// instance and clean exit.

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/dbus_mixer_server.h"
#include "mixer/mixer_values.h"
#include "mixer/mute_targets.h"
#include "support/mixerd_fixture.h"

#include <sdbus-c++/sdbus-c++.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace vantrel::test {
namespace {

using mixer_dbus::Method;

using SetterEntry = sdbus::Struct<std::string, std::vector<int32_t>>;

// Raw calls, to see the error names the server answers with.
class RawClient {
public:
  RawClient()
      : m_connection(sdbus::createSessionBusConnection()),
        m_proxy(sdbus::createProxy(*m_connection, mixer_dbus::kBusName, mixer_dbus::kObjectPath)) {}

  // The error name of the call, or "" when it succeeded.
  std::string ErrorOf(std::string_view method, const std::vector<int32_t>& args) {
    try {
      Call(method, args);
      return "";
    } catch (const sdbus::Error& error) {
      return error.getName();
    }
  }

  // The method's results; throws sdbus::Error when it fails.
  std::vector<int32_t> Call(std::string_view method, const std::vector<int32_t>& args) {
    auto call = m_proxy->createMethodCall(mixer_dbus::kInterface, std::string(method));
    for (int32_t arg : args) {
      call << arg;
    }
    auto reply = m_proxy->callMethod(call, 5'000'000);
    const mixer_dbus::MethodInfo* info = mixer_dbus::FindMethod(method);
    std::vector<int32_t> results(info != nullptr ? info->outputCount : 0);
    for (int32_t& result : results) {
      reply >> result;
    }
    return results;
  }

  // The SetMany error name, or "" when it succeeded.
  std::string SetMany(const std::vector<SetterEntry>& setters, std::string& message) {
    try {
      auto call = m_proxy->createMethodCall(mixer_dbus::kInterface, mixer_dbus::kSetManyMethod);
      call << setters;
      m_proxy->callMethod(call, 5'000'000);
      return "";
    } catch (const sdbus::Error& error) {
      message = error.getMessage();
      return error.getName();
    }
  }

  using StateEntry = sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>>;
  std::vector<StateEntry> State() {
    auto call = m_proxy->createMethodCall(mixer_dbus::kInterface, mixer_dbus::kGetStateMethod);
    auto reply = m_proxy->callMethod(call, 5'000'000);
    std::vector<StateEntry> values;
    reply >> values;
    return values;
  }

  // As the program sends it: no reply expected.
  void SetManyNoReply(const std::vector<SetterEntry>& setters) {
    auto call = m_proxy->createMethodCall(mixer_dbus::kInterface, mixer_dbus::kSetManyMethod);
    call << setters;
    call.dontExpectReply();
    m_proxy->callMethod(call);
  }

  std::string UniqueName() const { return m_connection->getUniqueName(); }

private:
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<sdbus::IProxy> m_proxy;
};

// One ValuesChanged entry as it arrived.
struct Change {
  std::string getter;
  std::vector<int32_t> args;
  std::vector<int32_t> results;
  std::string origin;

  bool operator==(const Change&) const = default;
};

void PrintTo(const Change& change, std::ostream* out) {
  *out << change.getter << ::testing::PrintToString(change.args) << " = "
       << ::testing::PrintToString(change.results) << " from \"" << change.origin << '"';
}

// Listens to ValuesChanged on a connection of its own.
class ChangeListener {
public:
  ChangeListener()
      : m_connection(sdbus::createSessionBusConnection()),
        m_proxy(sdbus::createProxy(*m_connection, mixer_dbus::kBusName, mixer_dbus::kObjectPath)) {
    using Entry =
        sdbus::Struct<std::string, std::vector<int32_t>, std::vector<int32_t>, std::string>;
    m_proxy->uponSignal(mixer_dbus::kValuesChangedSignal)
        .onInterface(mixer_dbus::kInterface)
        .call([this](const std::vector<Entry>& entries) {
          const std::lock_guard lock(m_mutex);
          m_signalSizes.push_back(entries.size());
          for (const Entry& entry : entries) {
            m_changes.push_back({entry.get<0>(), entry.get<1>(), entry.get<2>(), entry.get<3>()});
          }
        });
    m_proxy->finishRegistration();
    m_connection->enterEventLoopAsync();
  }
  ~ChangeListener() { m_connection->leaveEventLoop(); }

  // Waits until `done` holds for what arrived; answers what arrived.
  std::vector<Change> WaitFor(const std::function<bool(const std::vector<Change>&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        const std::lock_guard lock(m_mutex);
        if (done(m_changes)) {
          return m_changes;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::lock_guard lock(m_mutex);
    ADD_FAILURE() << "the expected changes did not come; came " << m_changes.size();
    return m_changes;
  }

  // Waits for an entry from `origin` of `getter` with `results`.
  std::vector<Change> WaitForEntry(const std::string& origin, std::string_view getter,
                                   std::vector<int32_t> results) {
    return WaitFor([&](const std::vector<Change>& changes) {
      return std::ranges::any_of(changes, [&](const Change& c) {
        return c.origin == origin && c.getter == getter && c.results == results;
      });
    });
  }

  std::vector<std::size_t> SignalSizes() {
    const std::lock_guard lock(m_mutex);
    return m_signalSizes;
  }

private:
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<sdbus::IProxy> m_proxy;
  std::mutex m_mutex;
  std::vector<Change> m_changes;
  std::vector<std::size_t> m_signalSizes;
};

std::string Dump() {
  const CommandResult result = RunCommand({MixerctlProgram(), "dump"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

using MixerServerTest = MixerdFixture;

TEST_F(MixerServerTest, EveryLevelPanAndGainSetterIsReadBackByItsGetter) {
  auto link = ConnectLink();
  IMixerServer* mixer = link->Server();
  ASSERT_NE(mixer, nullptr);
  for (int32_t value : {0, 1, 32768, 65532, 65535}) {
    SCOPED_TRACE(value);
    for (int32_t channel : {0, 1}) {
      mixer->SetMasterVolume(channel, value);
      int32_t gain = -1;
      EXPECT_EQ(mixer->GetMasterVolume(channel, gain), kMixerOk);
      EXPECT_EQ(gain, value);
    }
    for (int32_t type = 0; type < mixer_dbus::kSourceTypeCount; ++type) {
      for (int32_t index = 0; index < mixer_dbus::kSourcesPerType[type]; ++index) {
        mixer->SetSourceVolume(type, index, value);
        mixer->SetSourcePan(type, index, 65535 - value);
        mixer->SetSendLevel(type, index, 0, value);
        mixer->SetSendLevel(type, index, 1, value / 2);
        int32_t gain = -1;
        int32_t pan = -1;
        int32_t send0 = -1;
        int32_t send1 = -1;
        EXPECT_EQ(mixer->GetSourceVolume(type, index, gain), kMixerOk);
        EXPECT_EQ(mixer->GetSourcePan(type, index, pan), kMixerOk);
        EXPECT_EQ(mixer->GetSendLevel(type, index, 0, send0), kMixerOk);
        EXPECT_EQ(mixer->GetSendLevel(type, index, 1, send1), kMixerOk);
        EXPECT_EQ(gain, value);
        EXPECT_EQ(pan, 65535 - value);
        EXPECT_EQ(send0, value);
        EXPECT_EQ(send1, value / 2);
      }
    }
    for (int32_t bus = 0; bus < kBusCount; ++bus) {
      mixer->SetBusLevel(bus, value);
      int32_t level = -1;
      EXPECT_EQ(mixer->GetBusLevel(bus, level), kMixerOk);
      EXPECT_EQ(level, value);
    }
    mixer->SetRecordLevel(value);
    int32_t record = -1;
    EXPECT_EQ(mixer->GetRecordLevel(record), kMixerOk);
    EXPECT_EQ(record, value);
  }
}

TEST_F(MixerServerTest, FreshServerRoutesSendsAndBusesAsDocumented) {
  auto link = ConnectLink();
  IMixerServer* mixer = link->Server();
  ASSERT_NE(mixer, nullptr);
  int32_t bus = -1;
  EXPECT_EQ(mixer->GetSendBus(kSourceUser, 4, 0, bus), kMixerOk);
  EXPECT_EQ(bus, 0);
  EXPECT_EQ(mixer->GetSendBus(kSourceAnalog, 0, 1, bus), kMixerOk);
  EXPECT_EQ(bus, 1);
  for (int32_t b = 0; b < kBusCount; ++b) {
    EXPECT_NE(mixer->IsBusRouted(b), 0);
  }
  int32_t effect = -1;
  EXPECT_EQ(mixer->IsBusOnOutput(0), 0);
  EXPECT_EQ(mixer->GetBusEffect(0, effect), kMixerOk);
  EXPECT_EQ(effect, 0);
  EXPECT_EQ(mixer->IsBusOnOutput(1), 0);
  EXPECT_EQ(mixer->GetBusEffect(1, effect), kMixerOk);
  EXPECT_EQ(effect, 1);
  int32_t digital = -1;
  int32_t pair = -1;
  int32_t third = -1;
  EXPECT_NE(mixer->IsBusOnOutput(3), 0);
  EXPECT_EQ(mixer->GetBusOutput(3, digital, pair, third), kMixerOk);
  EXPECT_EQ(digital, 0);
  EXPECT_EQ(pair, 4);
  EXPECT_EQ(third, 0);
}

TEST_F(MixerServerTest, RoutingCallsMoveSendsAndBuses) {
  auto link = ConnectLink();
  auto* mixer = static_cast<DbusMixerServer*>(link->Server());
  ASSERT_NE(mixer, nullptr);
  int32_t value = -1;

  // The program never sets routing itself; another client does, and the
  // link's mirror hears of it.
  RawClient client;
  const auto heard = [&](const std::function<bool()>& done) {
    return PumpLinkUntil(*link, done, std::chrono::seconds(10));
  };
  client.Call("SetSendBus", {kSourceDigital, 1, 1, 3});
  ASSERT_TRUE(heard(
      [&] { return mixer->GetSendBus(kSourceDigital, 1, 1, value) == kMixerOk && value == 3; }));
  EXPECT_EQ(mixer->GetSendBus(kSourceDigital, 1, 1, value), kMixerOk);
  EXPECT_EQ(value, 3);

  client.Call("SetBusOutput", {0, 1, 2});
  ASSERT_TRUE(heard([&] { return mixer->IsBusOnOutput(0) != 0; }));
  EXPECT_NE(mixer->IsBusOnOutput(0), 0);
  int32_t digital = -1;
  int32_t pair = -1;
  int32_t third = -1;
  EXPECT_EQ(mixer->GetBusOutput(0, digital, pair, third), kMixerOk);
  EXPECT_EQ(digital, 1);
  EXPECT_EQ(pair, 2);

  client.Call("SetBusRouted", {0, 0});
  ASSERT_TRUE(heard([&] { return mixer->IsBusRouted(0) == 0; }));
  EXPECT_EQ(mixer->IsBusRouted(0), 0);

  // Choosing an effect sends the bus to it and routes it again.
  for (int32_t effect : {7, 15, 0}) {
    mixer->SetAuxEffect(0, effect);
    EXPECT_NE(mixer->IsBusRouted(0), 0);
    EXPECT_EQ(mixer->IsBusOnOutput(0), 0);
    EXPECT_EQ(mixer->GetBusEffect(0, value), kMixerOk);
    EXPECT_EQ(value, effect);
  }
}

TEST_F(MixerServerTest, OutOfRangeArgumentsAnswerInvalidArgumentAndChangeNothing) {
  const std::string before = Dump();
  RawClient client;
  const struct {
    Method method;
    std::vector<int32_t> args;
  } cases[] = {
      {Method::SetMasterVolume, {2, 100}},
      {Method::SetMasterVolume, {-1, 100}},
      {Method::GetMasterVolume, {2}},
      {Method::SetMasterVolume, {0, 65536}},
      {Method::SetMasterVolume, {0, -1}},
      {Method::SetSourceVolume, {5, 0, 100}},
      {Method::SetSourceVolume, {-1, 0, 100}},
      {Method::SetSourceVolume, {0, 4, 100}},
      {Method::SetSourceVolume, {1, 2, 100}},
      {Method::SetSourceVolume, {2, 1, 100}},
      {Method::SetSourceVolume, {3, 1, 100}},
      {Method::SetSourceVolume, {4, 5, 100}},
      {Method::SetSourceVolume, {4, -1, 100}},
      {Method::SetSourceVolume, {0, 0, 70000}},
      {Method::GetSourceVolume, {4, 5}},
      {Method::SetSourcePan, {0, 0, 65536}},
      {Method::GetSourcePan, {6, 0}},
      {Method::GetSendBus, {0, 0, 2}},
      {Method::GetSendBus, {0, 0, -1}},
      {Method::SetSendLevel, {0, 0, 2, 100}},
      {Method::SetSendLevel, {0, 0, 0, 65536}},
      {Method::GetSendLevel, {0, 9, 0}},
      {Method::SetAuxEffect, {4, 0}},
      {Method::SetAuxEffect, {-1, 0}},
      {Method::SetAuxEffect, {0, 16}},
      {Method::SetAuxEffect, {0, -1}},
      {Method::IsBusRouted, {4}},
      {Method::IsBusOnOutput, {-1}},
      {Method::GetBusEffect, {4}},
      {Method::GetBusOutput, {4}},
      {Method::SetBusLevel, {4, 0}},
      {Method::SetBusLevel, {0, 65536}},
      {Method::GetBusLevel, {-1}},
      {Method::SetRecordLevel, {65536}},
      {Method::SetRecordLevel, {INT32_MIN}},
      {Method::SetSendBus, {0, 0, 0, 4}},
      {Method::SetSendBus, {0, 0, 2, 0}},
      {Method::SetSendBus, {5, 0, 0, 0}},
      {Method::SetBusRouted, {4, 1}},
      {Method::SetBusRouted, {0, 2}},
      {Method::SetBusOutput, {4, 0, 0}},
      {Method::SetBusOutput, {0, 2, 0}},
      {Method::SetBusOutput, {0, 0, 5}},
      {Method::SetBusOutput, {0, 1, 3}},
      {Method::SetBusOutput, {0, 0, -1}},
  };
  for (const auto& c : cases) {
    const std::string_view name = mixer_dbus::Info(c.method).name;
    SCOPED_TRACE(std::string(name) + " " + ::testing::PrintToString(c.args));
    EXPECT_EQ(client.ErrorOf(name, c.args), mixer_dbus::kInvalidArgumentError);
  }
  EXPECT_EQ(Dump(), before);
}

TEST_F(MixerServerTest, FailedGetterLeavesTheCallersZeros) {
  auto link = ConnectLink();
  IMixerServer* mixer = link->Server();
  ASSERT_NE(mixer, nullptr);
  int32_t gain = 0;
  EXPECT_EQ(mixer->GetSourceVolume(kSourceWave, 1, gain), kMixerFailed);
  EXPECT_EQ(gain, 0);
  int32_t digital = 0;
  int32_t pair = 0;
  int32_t third = 0;
  EXPECT_EQ(mixer->GetBusOutput(9, digital, pair, third), kMixerFailed);
  EXPECT_EQ(digital + pair + third, 0);
  EXPECT_EQ(mixer->IsBusRouted(9), 0);
}

TEST_F(MixerServerTest, ChangesAreSignalledToOtherClients) {
  auto connection = sdbus::createSessionBusConnection();
  auto proxy = sdbus::createProxy(*connection, mixer_dbus::kBusName, mixer_dbus::kObjectPath);
  std::atomic<int> signals{0};
  proxy->uponSignal(mixer_dbus::kChangedSignal).onInterface(mixer_dbus::kInterface).call([&] {
    ++signals;
  });
  proxy->finishRegistration();
  connection->enterEventLoopAsync();

  auto link = ConnectLink();
  link->Server()->SetRecordLevel(1234);
  int32_t level = 0;
  link->Server()->GetRecordLevel(level);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (signals == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(signals.load(), 1);
  connection->leaveEventLoop();
}

TEST_F(MixerServerTest, TheWholeStateAnswersWhatEveryGetterAnswersInSlotOrder) {
  RawClient client;
  // Away from the defaults, so a value read from the wrong place shows.
  std::string message;
  ASSERT_EQ(client.SetMany({{"SetMasterVolume", {1, 11}},
                            {"SetSourceVolume", {kSourceUser, 2, 22}},
                            {"SetSourcePan", {kSourceDigital, 1, 33}},
                            {"SetSendLevel", {kSourceMidi, 0, 1, 44}},
                            {"SetSendBus", {kSourceAnalog, 3, 0, 3}},
                            {"SetBusLevel", {2, 55}},
                            {"SetBusRouted", {1, 0}},
                            {"SetBusOutput", {0, 1, 2}},
                            {"SetAuxEffect", {3, 9}},
                            {"SetRecordLevel", {66}}},
                           message),
            "")
      << message;
  const auto values = client.State();
  ASSERT_EQ(values.size(), mixer_dbus::kValueCount);
  for (std::size_t slot = 0; slot < values.size(); ++slot) {
    const mixer_dbus::ValueKey key = mixer_dbus::KeyOfSlot(slot);
    const mixer_dbus::MethodInfo& info = mixer_dbus::Info(key.getter);
    const std::vector<int32_t> args(key.args.begin(), key.args.begin() + info.inputCount);
    SCOPED_TRACE(std::string(info.name) + ::testing::PrintToString(args));
    EXPECT_EQ(values[slot].get<0>(), info.name);
    EXPECT_EQ(values[slot].get<1>(), args);
    EXPECT_EQ(values[slot].get<2>(), client.Call(info.name, args));
  }
}

TEST_F(MixerServerTest, SetManyAppliesItsSettersInOrder) {
  RawClient client;
  std::string message;
  ASSERT_EQ(client.SetMany({{"SetRecordLevel", {1}},
                            {"SetRecordLevel", {2}},
                            {"SetAuxEffect", {1, 7}},
                            {"SetBusOutput", {1, 1, 2}},
                            {"SetBusOutput", {2, 0, 0}},
                            {"SetAuxEffect", {2, 4}}},
                           message),
            "")
      << message;
  EXPECT_EQ(client.Call("GetRecordLevel", {}), std::vector<int32_t>{2});
  EXPECT_EQ(client.Call("IsBusOnOutput", {1}), std::vector<int32_t>{1});
  EXPECT_EQ(client.Call("GetBusOutput", {1}), (std::vector<int32_t>{1, 2, 0}));
  EXPECT_EQ(client.Call("GetBusEffect", {1}), std::vector<int32_t>{7});
  EXPECT_EQ(client.Call("IsBusOnOutput", {2}), std::vector<int32_t>{0});
  EXPECT_EQ(client.Call("GetBusEffect", {2}), std::vector<int32_t>{4});
  EXPECT_EQ(client.SetMany({}, message), "");
}

TEST_F(MixerServerTest, SetManyWithOneBadEntryRefusesTheWholeCallAndChangesNothing) {
  const std::string before = Dump();
  RawClient client;
  ChangeListener listener;
  const SetterEntry good{"SetRecordLevel", {1234}};
  const struct {
    SetterEntry bad;
    std::string says;
  } cases[] = {
      {{"SetNothing", {1}}, "\"SetNothing\" is not a method"},
      {{"GetRecordLevel", {}}, "GetRecordLevel is a getter"},
      {{"SetBusLevel", {1}}, "SetBusLevel takes 2 arguments (bus, level), not 1"},
      {{"SetBusLevel", {1, 2, 3}}, "SetBusLevel takes 2 arguments (bus, level), not 3"},
      {{"SetBusLevel", {4, 2}}, "SetBusLevel(4, 2): an argument is out of range"},
      {{"SetSourceVolume", {kSourceWave, 1, 5}}, "SetSourceVolume(2, 1, 5): an argument"},
      {{"SetBusRouted", {0, 2}}, "SetBusRouted(0, 2): an argument is out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    std::string message;
    EXPECT_EQ(client.SetMany({good, good, c.bad, good}, message),
              mixer_dbus::kInvalidArgumentError);
    EXPECT_NE(message.find("entry 3 of 4: " + c.says), std::string::npos) << message;
  }
  EXPECT_EQ(Dump(), before);
  // A refused call announces nothing; the next accepted one comes first.
  ASSERT_EQ(client.Call("SetBusLevel", {0, 9}), std::vector<int32_t>{});
  const auto changes = listener.WaitForEntry(client.UniqueName(), "GetBusLevel", {9});
  EXPECT_EQ(changes.front().getter, "GetBusLevel");
}

TEST_F(MixerServerTest, EverySetIsAnnouncedOnceInOrderWithItsCallersName) {
  ChangeListener listener;
  RawClient first;
  RawClient second;
  const std::string a = first.UniqueName();
  const std::string b = second.UniqueName();
  ASSERT_NE(a, b);
  std::string message;
  // Unchanged values are announced too: a client counts its answers.
  first.Call("SetRecordLevel", {100});
  first.Call("SetRecordLevel", {100});
  second.Call("SetRecordLevel", {200});
  ASSERT_EQ(first.SetMany({{"SetSourceVolume", {kSourceWave, 0, 300}},
                           {"SetSourceVolume", {kSourceWave, 0, 300}},
                           {"SetMasterVolume", {0, 400}}},
                          message),
            "");
  second.Call("SetSourceVolume", {kSourceWave, 0, 500});
  second.SetManyNoReply({{"SetBusLevel", {2, 5}}, {"SetBusLevel", {3, 777}}}); // the end
  const auto changes = listener.WaitForEntry(b, "GetBusLevel", {777});
  const std::vector<Change> expected = {
      {"GetRecordLevel", {}, {100}, a},
      {"GetRecordLevel", {}, {100}, a},
      {"GetRecordLevel", {}, {200}, b},
      {"GetSourceVolume", {kSourceWave, 0}, {300}, a},
      {"GetSourceVolume", {kSourceWave, 0}, {300}, a},
      {"GetMasterVolume", {0}, {400}, a},
      {"GetSourceVolume", {kSourceWave, 0}, {500}, b},
      {"GetBusLevel", {2}, {5}, b},
      {"GetBusLevel", {3}, {777}, b},
  };
  // Nothing else: every one of these values was announced by its setter.
  EXPECT_EQ(changes, expected);
}

TEST_F(MixerServerTest, WhatASetterMovesAlongIsAnnouncedWithoutOrigin) {
  RawClient client;
  const std::string me = client.UniqueName();
  const struct {
    std::string setter;
    std::vector<int32_t> args;
    std::vector<Change> expected;
  } cases[] = {
      // Aux 3 starts on an output: an effect takes it off.
      {"SetAuxEffect", {2, 5}, {{"GetBusEffect", {2}, {5}, me}, {"IsBusOnOutput", {2}, {0}, ""}}},
      {"SetBusRouted", {0, 0}, {{"IsBusRouted", {0}, {0}, me}}},
      {"SetBusOutput",
       {0, 1, 2},
       {{"GetBusOutput", {0}, {1, 2, 0}, me},
        {"IsBusRouted", {0}, {1}, ""},
        {"IsBusOnOutput", {0}, {1}, ""}}},
      {"SetSendBus", {kSourceUser, 1, 1, 3}, {{"GetSendBus", {kSourceUser, 1, 1}, {3}, me}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setter);
    ChangeListener listener;
    client.Call(c.setter, c.args);
    const auto changes = listener.WaitFor(
        [&](const std::vector<Change>& got) { return got.size() >= c.expected.size(); });
    EXPECT_EQ(changes, c.expected);
  }
}

TEST_F(MixerServerTest, ALongBurstIsAnnouncedWhole) {
  ChangeListener listener;
  RawClient client;
  std::vector<SetterEntry> setters;
  std::vector<Change> expected;
  for (int32_t i = 0; i < 10'000; ++i) {
    setters.push_back({"SetSendLevel", {kSourceUser, 4, i % 2, i}});
    expected.push_back({"GetSendLevel", {kSourceUser, 4, i % 2}, {i}, client.UniqueName()});
  }
  std::string message;
  ASSERT_EQ(client.SetMany(setters, message), "") << message;
  const auto changes = listener.WaitFor(
      [&](const std::vector<Change>& got) { return got.size() >= expected.size(); });
  EXPECT_TRUE(changes == expected);
  const auto sizes = listener.SignalSizes();
  EXPECT_GE(sizes.size(), 3u);
  EXPECT_LE(std::ranges::max(sizes), 4096u);
}

TEST_F(MixerServerTest, StateSurvivesARestart) {
  {
    auto link = ConnectLink();
    auto* mixer = static_cast<DbusMixerServer*>(link->Server());
    ASSERT_NE(mixer, nullptr);
    mixer->SetMasterVolume(1, 111);
    mixer->SetSourcePan(kSourceUser, 4, 222);
    RawClient client;
    client.Call("SetSendBus", {kSourceMidi, 0, 0, 2});
    client.Call("SetBusOutput", {1, 1, 0});
    client.Call("SetBusRouted", {2, 0});
    mixer->SetRecordLevel(333);
    int32_t flush = 0;
    mixer->GetRecordLevel(flush);
  }
  const std::string before = Dump();
  EXPECT_EQ(m_server.Stop(), 0);
  ASSERT_TRUE(m_server.Start());
  EXPECT_EQ(Dump(), before);
  EXPECT_NE(before.find("master left 49152 right 111"), std::string::npos) << before;
}

TEST_F(MixerServerTest, EveryMuteIsSetReadAnnouncedAndKeptApartFromTheLevels) {
  ChangeListener listener;
  RawClient client;
  const std::string me = client.UniqueName();
  std::vector<Change> expected;
  for (const MuteTarget& target : kMutes) {
    SCOPED_TRACE(target.key);
    const Method getter = MuteGetter(target);
    const std::vector<int32_t> address(target.args.begin(),
                                       target.args.begin() + mixer_dbus::Info(getter).inputCount);
    const std::string name(mixer_dbus::Info(getter).name);
    const std::string setter = "S" + name.substr(1);
    std::vector<int32_t> args = address;
    args.push_back(1);
    EXPECT_EQ(client.ErrorOf(setter, args), "");
    expected.push_back({name, address, {1}, me});
    EXPECT_EQ(client.Call(name, address), std::vector<int32_t>{1});
    args.back() = 2; // only 0 and 1 are mutes
    EXPECT_EQ(client.ErrorOf(setter, args), mixer_dbus::kInvalidArgumentError);
    EXPECT_EQ(client.Call(name, address), std::vector<int32_t>{1});
  }
  EXPECT_EQ(client.ErrorOf("SetBusMute", {4, 1}), mixer_dbus::kInvalidArgumentError);
  EXPECT_EQ(client.ErrorOf("SetSourceMute", {kSourceWave, 1, 1}),
            mixer_dbus::kInvalidArgumentError);
  // Levels leave the mutes alone.
  client.Call("SetMasterVolume", {0, 0});
  client.Call("SetSourceVolume", {kSourceWave, 0, 65535});
  expected.push_back({"GetMasterVolume", {0}, {0}, me});
  expected.push_back({"GetSourceVolume", {kSourceWave, 0}, {65535}, me});
  EXPECT_EQ(listener.WaitForEntry(me, "GetSourceVolume", {65535}), expected);
  EXPECT_EQ(client.Call("GetMasterMute", {}), std::vector<int32_t>{1});
  EXPECT_EQ(client.Call("GetSourceMute", {kSourceWave, 0}), std::vector<int32_t>{1});

  // vantrel-mixerctl reaches them by name.
  EXPECT_EQ(RunCommand({MixerctlProgram(), "set", "SourceMute", "2", "0", "0"}).exitCode, 0);
  EXPECT_EQ(RunCommand({MixerctlProgram(), "get", "SourceMute", "2", "0"}).out, "0\n");
  const std::string before = Dump();
  EXPECT_NE(before.find("mute master 1 record 1 aux 1 1 1 1 sources 1 1 1 1 1 1 0 1"),
            std::string::npos)
      << before;
  EXPECT_EQ(m_server.Stop(), 0);
  ASSERT_TRUE(m_server.Start());
  EXPECT_EQ(Dump(), before);
}

TEST_F(MixerServerTest, ChangesReachTheDiskSoonWithoutAStop) {
  auto link = ConnectLink();
  link->Server()->SetBusLevel(3, 4321);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string text;
  while (text.find("bus 3 level 4321") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream file(m_server.StatePath());
    text.assign(std::istreambuf_iterator<char>(file), {});
  }
  EXPECT_NE(text.find("bus 3 level 4321"), std::string::npos) << text;
}

TEST_F(MixerServerTest, GarbageStateFileStartsFromTheDefaultsWithAWarning) {
  EXPECT_EQ(m_server.Stop(), 0);
  std::ofstream(m_server.StatePath(), std::ios::trunc) << "vantrel-mixer-state 1\nmaster 0 5\n";
  ASSERT_TRUE(m_server.Start()) << m_server.Errors();
  // The server claims its name before it reads its state, so the warning may
  // follow the name by a moment; a call is answered only after the read.
  EXPECT_NE(Dump().find("master left 49152 right 49152"), std::string::npos);
  EXPECT_NE(m_server.Errors().find("unreadable"), std::string::npos) << m_server.Errors();
}

TEST_F(MixerServerTest, APipeOrADeviceAsStateFileNeitherHangsNorExhaustsMemory) {
  EXPECT_EQ(m_server.Stop(), 0);
  const std::string fifo = m_dir.File("fifo.state");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero = m_dir.File("zero.state");
  std::filesystem::create_symlink("/dev/zero", zero);
  for (const std::string& path : {fifo, zero}) {
    MixerdProcess server(path);
    ASSERT_TRUE(server.Start()) << server.Errors();
    EXPECT_NE(Dump().find("master left 49152 right 49152"), std::string::npos);
    EXPECT_NE(server.Errors().find("unreadable"), std::string::npos) << server.Errors();
    EXPECT_EQ(server.Stop(), 0) << server.Errors();
  }
}

TEST_F(MixerServerTest, SecondInstanceExitsAtOnceWithAClearMessage) {
  const CommandResult second = RunCommand({MixerdProgram(), "--state", m_dir.File("second.state")});
  EXPECT_EQ(second.exitCode, 3);
  EXPECT_NE(second.err.find("another mixer server already owns org.vantrel.Mixer"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(MixerNameOwnerPid(), m_server.Pid());
}

TEST_F(MixerServerTest, StopSignalEndsTheServerCleanlyAndFreesTheName) {
  EXPECT_EQ(m_server.Stop(), 0);
  EXPECT_TRUE(WaitForMixerName(false, std::chrono::seconds(5)));
  EXPECT_EQ(m_server.Errors().find("stopping"), std::string::npos) << m_server.Errors();
}

} // namespace
} // namespace vantrel::test
