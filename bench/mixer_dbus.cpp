// The mixer service against a bare sd-bus echo service in the same run: a
// getter round trip and a stream of setters, with calls per second and the
// median and 99th percentile latency of each. Needs a session bus on which
// nobody owns org.vantrel.Mixer (scripts/with-test-services.sh gives one):
//   scripts/with-test-services.sh build/bin/bench_mixer_dbus
//
// Both services are reached through the same sdbus-c++ client code, so the
// ratio between them is the cost of the server. The BM_Link_* cases time the
// program's own client, DbusMixerServer, on top.

#include "mixer/dbus_mixer_protocol.h"
#include "mixer/mixer_link.h"

#include <benchmark/benchmark.h>
#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kEchoName[] = "org.vantrel.BenchEcho";
constexpr char kEchoPath[] = "/org/vantrel/BenchEcho";
constexpr char kEchoInterface[] = "org.vantrel.BenchEcho1";
constexpr int kSetterBatch = 100;

int EchoGet(sd_bus_message* call, void*, sd_bus_error*) {
  int32_t value = 0;
  sd_bus_message_read(call, "i", &value);
  return sd_bus_reply_method_return(call, "i", value);
}

int EchoSet(sd_bus_message* call, void*, sd_bus_error*) {
  int32_t a = 0;
  int32_t b = 0;
  sd_bus_message_read(call, "ii", &a, &b);
  return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable kEchoVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Get", "i", "i", EchoGet, 0),
    SD_BUS_METHOD("Set", "ii", "", EchoSet, 0),
    SD_BUS_VTABLE_END,
};

// The bare service: plain sd-bus, one object, answers as fast as it can.
[[noreturn]] void RunEchoService() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0 ||
      sd_bus_add_object_vtable(bus, nullptr, kEchoPath, kEchoInterface, kEchoVtable, nullptr) < 0 ||
      sd_bus_request_name(bus, kEchoName, 0) < 0) {
    std::_Exit(1);
  }
  for (;;) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) {
      std::_Exit(0);
    }
    if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) {
      std::_Exit(0);
    }
  }
}

pid_t StartChild(const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid != 0) {
    return pid;
  }
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (args.empty()) {
    RunEchoService();
  }
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  std::_Exit(127);
}

bool WaitForName(sdbus::IConnection& connection, const std::string& name) {
  auto bus = sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
  for (int i = 0; i < 500; ++i) {
    bool owned = false;
    bus->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(name)
        .storeResultsTo(owned);
    if (owned) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

struct Services {
  std::unique_ptr<sdbus::IConnection> connection;
  std::unique_ptr<sdbus::IProxy> echo;
  std::unique_ptr<sdbus::IProxy> mixer;
  std::unique_ptr<vantrel::CMixerLink> link;
};
Services* services = nullptr;

void ReportLatency(benchmark::State& state, std::vector<double>& micros, int callsPerSample) {
  std::sort(micros.begin(), micros.end());
  if (!micros.empty()) {
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  }
  state.SetItemsProcessed(state.iterations() * callsPerSample);
}

template <typename Body> void Timed(benchmark::State& state, int callsPerSample, Body body) {
  std::vector<double> micros;
  micros.reserve(1 << 16);
  for (auto _ : state) {
    const auto start = Clock::now();
    body();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                     callsPerSample);
  }
  ReportLatency(state, micros, callsPerSample);
}

int32_t Call(sdbus::IProxy& proxy, const char* interface, const char* method,
             std::initializer_list<int32_t> args, bool wait) {
  auto call = proxy.createMethodCall(interface, method);
  for (int32_t arg : args) {
    call << arg;
  }
  if (!wait) {
    call.dontExpectReply();
    proxy.callMethod(call);
    return 0;
  }
  auto reply = proxy.callMethod(call, 1'000'000);
  int32_t result = 0;
  reply >> result;
  return result;
}

void BM_Echo_Getter(benchmark::State& state) {
  Timed(state, 1,
        [] { benchmark::DoNotOptimize(Call(*services->echo, kEchoInterface, "Get", {3}, true)); });
}

void BM_Mixer_Getter(benchmark::State& state) {
  Timed(state, 1, [] {
    benchmark::DoNotOptimize(
        Call(*services->mixer, vantrel::mixer_dbus::kInterface, "GetBusLevel", {3}, true));
  });
}

void BM_Echo_SetterStream(benchmark::State& state) {
  Timed(state, kSetterBatch, [] {
    for (int i = 0; i < kSetterBatch; ++i) {
      Call(*services->echo, kEchoInterface, "Set", {3, i}, false);
    }
    // One round trip at the end: every setter has been handled by then.
    Call(*services->echo, kEchoInterface, "Get", {0}, true);
  });
}

void BM_Mixer_SetterStream(benchmark::State& state) {
  Timed(state, kSetterBatch, [] {
    for (int i = 0; i < kSetterBatch; ++i) {
      Call(*services->mixer, vantrel::mixer_dbus::kInterface, "SetBusLevel", {3, i}, false);
    }
    Call(*services->mixer, vantrel::mixer_dbus::kInterface, "GetBusLevel", {3}, true);
  });
}

void BM_Link_Getter(benchmark::State& state) {
  vantrel::IMixerServer* mixer = services->link->Server();
  Timed(state, 1, [mixer] {
    int32_t level = 0;
    mixer->GetBusLevel(3, level);
    benchmark::DoNotOptimize(level);
  });
}

void BM_Link_SetterStream(benchmark::State& state) {
  vantrel::IMixerServer* mixer = services->link->Server();
  Timed(state, kSetterBatch, [mixer] {
    for (int i = 0; i < kSetterBatch; ++i) {
      mixer->SetBusLevel(3, i);
    }
    int32_t level = 0;
    mixer->GetBusLevel(3, level);
  });
}

BENCHMARK(BM_Echo_Getter)->UseRealTime();
BENCHMARK(BM_Mixer_Getter)->UseRealTime();
BENCHMARK(BM_Link_Getter)->UseRealTime();
BENCHMARK(BM_Echo_SetterStream)->UseRealTime();
BENCHMARK(BM_Mixer_SetterStream)->UseRealTime();
BENCHMARK(BM_Link_SetterStream)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  char stateFolder[] = "/tmp/vantrel-bench.XXXXXX";
  if (::mkdtemp(stateFolder) == nullptr) {
    std::perror("bench_mixer_dbus: cannot create a temporary folder");
    return 1;
  }
  // Children first, before any thread exists.
  const pid_t echo = StartChild({});
  const pid_t mixerd = StartChild(
      {folder + "/vantrel-mixerd", "--state", std::string(stateFolder) + "/mixer.state"});

  int status = 0;
  {
    Services s;
    s.connection = sdbus::createSessionBusConnection();
    if (!WaitForName(*s.connection, kEchoName) ||
        !WaitForName(*s.connection, vantrel::mixer_dbus::kBusName) ||
        ::waitpid(mixerd, &status, WNOHANG) != 0) {
      std::fprintf(stderr, "bench_mixer_dbus: the services did not start (is another "
                           "vantrel-mixerd on this bus?)\n");
      ::kill(echo, SIGTERM);
      ::kill(mixerd, SIGTERM);
      return 1;
    }
    s.echo = sdbus::createProxy(*s.connection, kEchoName, kEchoPath);
    s.mixer = sdbus::createProxy(*s.connection, vantrel::mixer_dbus::kBusName,
                                 vantrel::mixer_dbus::kObjectPath);
    // The server above already owns the name, so the link starts none.
    s.link = std::make_unique<vantrel::CMixerLink>();
    s.link->Startup();
    s.link->Create();
    services = &s;
    benchmark::RunSpecifiedBenchmarks();
    services = nullptr;
  }
  ::kill(echo, SIGTERM);
  ::kill(mixerd, SIGTERM);
  ::waitpid(echo, &status, 0);
  ::waitpid(mixerd, &status, 0);
  std::filesystem::remove_all(stateFolder);
  benchmark::Shutdown();
  return 0;
}
