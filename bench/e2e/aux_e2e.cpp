// The aux side on PipeWire. Run inside scripts/with-test-services.sh and
// scripts/with-sound-server.sh pipewire.
//
// SendRaisedToSoundOnBus: a sine plays into the capture source that Analog
// 1 drives; its send to Aux 1 goes from 0 to full and the time runs until
// the bus's monitor carries sound (a recorder at 5 ms latency reads it).
// The time includes one vantrel-mixerctl process start (a few ms), the
// module load, the loopback's 10 ms latency and the recorder's latency.

#include "percentiles.h"

#include "support/mixerd_server.h"
#include "support/sound_server.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vantrel::test {
namespace {

using Clock = std::chrono::steady_clock;

void Ctl(const std::vector<std::string>& words) {
  std::vector<std::string> args = {MixerctlProgram()};
  args.insert(args.end(), words.begin(), words.end());
  RunCommand(args);
}

// Reads the monitor of Aux 1 and stamps the first loud frame after Arm().
class BusListener {
public:
  BusListener() {
    int fds[2] = {-1, -1};
    if (::pipe(fds) == 0) {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
      posix_spawn_file_actions_addclose(&actions, fds[0]);
      std::vector<std::string> args = {"/usr/bin/parec",
                                       "--latency-msec=5",
                                       "--raw",
                                       "--format=s16le",
                                       "--rate=48000",
                                       "--channels=1",
                                       "--device=vantrel_aux1.monitor"};
      std::vector<char*> argv;
      for (std::string& arg : args) {
        argv.push_back(arg.data());
      }
      argv.push_back(nullptr);
      ::posix_spawn(&m_recorder, argv[0], &actions, nullptr, argv.data(), environ);
      posix_spawn_file_actions_destroy(&actions);
      ::close(fds[1]);
      m_pipe = ::fdopen(fds[0], "r");
    }
    m_thread = std::thread([this] { Run(); });
  }
  ~BusListener() {
    m_stop = true;
    if (m_recorder > 0) {
      ::kill(m_recorder, SIGTERM);
      ::waitpid(m_recorder, nullptr, 0);
    }
    m_thread.join();
    if (m_pipe != nullptr) {
      std::fclose(m_pipe);
    }
  }
  BusListener(const BusListener&) = delete;
  BusListener& operator=(const BusListener&) = delete;

  void Arm() {
    m_heard = false;
    m_armed = true;
  }
  // The time of the first loud frame since Arm(), or nothing within 2 s.
  std::optional<Clock::time_point> Wait() {
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (!m_heard && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!m_heard) {
      return std::nullopt;
    }
    return m_at.load();
  }

private:
  void Run() {
    int16_t samples[48];
    while (m_pipe != nullptr && !m_stop && std::fread(samples, sizeof samples, 1, m_pipe) == 1) {
      if (!m_armed) {
        continue;
      }
      for (int16_t sample : samples) {
        if (std::abs(sample) > 1000) {
          m_at = Clock::now();
          m_heard = true;
          m_armed = false;
          break;
        }
      }
    }
  }

  pid_t m_recorder = 0;
  FILE* m_pipe = nullptr;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_armed{false};
  std::atomic<bool> m_heard{false};
  std::atomic<Clock::time_point> m_at{};
  std::thread m_thread;
};

void SendRaisedToSoundOnBus(benchmark::State& state) {
  if (std::getenv("VANTREL_TEST_SOUND_SERVER") == nullptr ||
      std::string(std::getenv("VANTREL_TEST_SOUND_SERVER")) != "pipewire") {
    state.SkipWithError("run inside scripts/with-sound-server.sh pipewire");
    return;
  }
  MixerdTempDir dir;
  const std::string tone = Pactl({"load-module", "module-null-sink", "sink_name=vantrel_tone"});
  Eventually([] { return !SinkVolume("vantrel_tone").empty(); });
  std::ofstream(dir.Path() + "/mixer.ini") << "[Analog 1]\nsource = node.name ~ ^vantrel_tone\n";
  {
    std::ofstream sine(dir.Path() + "/sine.raw", std::ios::binary);
    for (int i = 0; i < 48000 * 120; ++i) {
      const auto sample = static_cast<int16_t>(std::lround(16000 * std::sin(i * 0.0576)));
      sine.write(reinterpret_cast<const char*>(&sample), 2);
      sine.write(reinterpret_cast<const char*>(&sample), 2);
    }
  }
  MixerdProcess server(dir.Path() + "/mixer.state",
                       {"--backend", "pulse", "--mixer-config", dir.Path() + "/mixer.ini"});
  if (!server.Start()) {
    state.SkipWithError("vantrel-mixerd did not start");
    return;
  }
  pid_t player = StartProgram(
      {"/usr/bin/pacat", "--playback", "--raw", "--device=vantrel_tone", dir.Path() + "/sine.raw"});
  Eventually([] {
    return Pactl({"list", "short", "sinks"}).find("vantrel_aux1") != std::string::npos;
  });
  Ctl({"set", "BusLevel", "0", "65535"});
  BusListener listener;
  std::vector<double> micros;
  for (auto _ : state) {
    Ctl({"set", "SendLevel", "0", "0", "0", "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    listener.Arm();
    const auto start = Clock::now();
    Ctl({"set", "SendLevel", "0", "0", "0", "65535"});
    const auto heard = listener.Wait();
    if (!heard) {
      state.SkipWithError("the bus stayed silent");
      break;
    }
    const double us = std::chrono::duration<double, std::micro>(*heard - start).count();
    state.SetIterationTime(us / 1e6);
    micros.push_back(us);
  }
  ReportPercentiles(state, micros);
  EndProgram(player);
  server.Stop();
  Pactl({"unload-module", tone.substr(0, tone.find('\n'))});
}
BENCHMARK(SendRaisedToSoundOnBus)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vantrel::test

BENCHMARK_MAIN();
