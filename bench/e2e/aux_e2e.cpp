// The aux side on PipeWire. Run inside scripts/with-test-services.sh and
// scripts/with-sound-server.sh pipewire.
//
// SendRaisedToSoundOnBus: a sine plays into the capture source that Analog
// 1 drives; its send to Aux 1 goes from 0 to full and the time runs until
// the bus's monitor carries sound (a recorder at 5 ms latency reads it).
// The time includes one vantrel-mixerctl process start (a few ms), the
// module load, the loopback's 10 ms latency and the recorder's latency.
//
// SendAddedLatency: bursts of the sine (50 ms every 200 ms) play into the
// source Analog 1 drives, its Aux 1 send at full; two recorders of the same
// latency read that source and the bus's monitor, and each burst's onset
// on the bus is timed against its onset at the source. The difference is
// what the send path adds: the loopback and the graph's quantum.
//
// ServerCpuWithFourBusesAndEffects: the share of one core that the private
// sound server's processes (pipewire and pipewire-pulse, which runs the
// effects) take while all four buses run through an effect, a send feeding
// each and a sine playing, against the same server idle with a stream.

#include "cpu_share.h"
#include "percentiles.h"

#include "support/mixerd_server.h"
#include "support/sound_server.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <sstream>
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

// Reads a source (by default the monitor of Aux 1) and stamps the first
// loud frame after Arm() that follows at least `quietFrames` quiet ones.
class BusListener {
public:
  explicit BusListener(std::string device = "vantrel_aux1.monitor", int quietFrames = 0)
      : m_quietNeeded(quietFrames) {
    int fds[2] = {-1, -1};
    if (::pipe(fds) == 0) {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
      posix_spawn_file_actions_addclose(&actions, fds[0]);
      std::vector<std::string> args = {"/usr/bin/parec",    "--latency-msec=5", "--raw",
                                       "--format=s16le",    "--rate=48000",     "--channels=1",
                                       "--device=" + device};
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
    m_quiet = 0;
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
        if (std::abs(sample) <= 1000) {
          ++m_quiet;
        } else if (m_quiet >= m_quietNeeded) {
          m_at = Clock::now();
          m_heard = true;
          m_armed = false;
          break;
        } else {
          m_quiet = 0;
        }
      }
    }
  }

  const int m_quietNeeded;
  int m_quiet = 0; // reader thread only
  pid_t m_recorder = 0;
  FILE* m_pipe = nullptr;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_armed{false};
  std::atomic<bool> m_heard{false};
  std::atomic<Clock::time_point> m_at{};
  std::thread m_thread;
};

// The aux side is built on PipeWire only; elsewhere the benchmark says so.
bool OnPipeWire(benchmark::State& state) {
  const char* server = std::getenv("VANTREL_TEST_SOUND_SERVER");
  if (server == nullptr || std::string(server) != "pipewire") {
    state.SkipWithError("run inside scripts/with-sound-server.sh pipewire");
    return false;
  }
  return true;
}

constexpr double kSineAmplitude = 0.5;

// A null sink "vantrel_tone" that Analog 1 binds to, and a sine of `seconds`
// to play into it; the sink goes with the object.
class ToneSink {
public:
  explicit ToneSink(int seconds)
      : m_module(Pactl({"load-module", "module-null-sink", "sink_name=vantrel_tone"})) {
    Eventually([] { return !SinkVolume("vantrel_tone").empty(); });
    WriteSine(m_dir.File("sine.raw"), seconds, kSineAmplitude);
  }
  ~ToneSink() { Pactl({"unload-module", m_module.substr(0, m_module.find('\n'))}); }
  ToneSink(const ToneSink&) = delete;
  ToneSink& operator=(const ToneSink&) = delete;

  // The server on the pulse back end, with the mapping that binds the tone.
  MixerdProcess Server() const {
    return MixerdProcess(
        m_dir.File("mixer.state"),
        BackendWithMapping(m_dir, "[Analog 1]\nsource = node.name ~ ^vantrel_tone\n", "pulse"));
  }
  pid_t Play() const { return PlayFile(m_dir.File("sine.raw")); }
  // Bursts of the sine: 50 ms of every 200 ms, for `seconds`.
  pid_t PlayBursts(int seconds) const {
    const std::string bursts = m_dir.File("bursts.raw");
    WriteBursts(bursts, seconds);
    return PlayFile(bursts);
  }

private:
  static pid_t PlayFile(const std::string& file) {
    return StartProgram({"/usr/bin/pacat", "--playback", "--raw", "--device=vantrel_tone", file});
  }
  // pacat's default format: 16-bit stereo at 44.1 kHz.
  static void WriteBursts(const std::string& path, int seconds) {
    constexpr int kRate = 44100;
    std::ofstream out(path, std::ios::binary);
    for (int frame = 0; frame < seconds * kRate; ++frame) {
      const bool loud = frame % (kRate / 5) < kRate / 20;
      const double value = loud ? kSineAmplitude * std::sin(2 * M_PI * 440.0 * frame / kRate) : 0;
      const auto sample = static_cast<int16_t>(value * 32767);
      const int16_t both[2] = {sample, sample};
      out.write(reinterpret_cast<const char*>(both), sizeof both);
    }
  }

  TempDir m_dir;
  std::string m_module;
};

// Starts the server and waits for its Aux 1 sink, then sets that bus to full.
bool StartWithAux1AtFull(benchmark::State& state, MixerdProcess& server) {
  if (!server.Start()) {
    state.SkipWithError("vantrel-mixerd did not start");
    return false;
  }
  Eventually([] {
    return Pactl({"list", "short", "sinks"}).find("vantrel_aux1") != std::string::npos;
  });
  Ctl({"set", "BusLevel", "0", "65535"});
  return true;
}

// What the send benchmarks stand on: PipeWire, the tone sink Analog 1 binds
// to and the server on it with Aux 1 at full. What plays ends, and the
// server stops, with the stage.
class AuxStage {
public:
  AuxStage() = default;
  ~AuxStage() {
    EndProgram(m_player);
    if (m_server) {
      m_server->Stop();
    }
  }
  AuxStage(const AuxStage&) = delete;
  AuxStage& operator=(const AuxStage&) = delete;

  // False, with the benchmark skipped, when the stage cannot be built.
  bool Build(benchmark::State& state, int toneSeconds) {
    if (!OnPipeWire(state)) {
      return false;
    }
    m_tone = std::make_unique<ToneSink>(toneSeconds);
    m_server.reset(new MixerdProcess(m_tone->Server()));
    return StartWithAux1AtFull(state, *m_server);
  }
  void PlayTone() { m_player = m_tone->Play(); }
  void PlayBursts(int seconds) { m_player = m_tone->PlayBursts(seconds); }

private:
  std::unique_ptr<ToneSink> m_tone;
  std::unique_ptr<MixerdProcess> m_server;
  pid_t m_player = 0;
};

void SendRaisedToSoundOnBus(benchmark::State& state) {
  AuxStage stage;
  if (!stage.Build(state, 120)) {
    return;
  }
  stage.PlayTone();
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
}

void SendAddedLatency(benchmark::State& state) {
  AuxStage stage;
  if (!stage.Build(state, 0)) {
    return;
  }
  stage.PlayBursts(60);
  Ctl({"set", "SendLevel", "0", "0", "0", "65535"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // 100 ms of quiet before an onset: only a burst's start counts.
  constexpr int kQuietFrames = 4800;
  BusListener strip("vantrel_tone.monitor", kQuietFrames);
  BusListener bus("vantrel_aux1.monitor", kQuietFrames);
  std::vector<double> micros;
  for (auto _ : state) {
    strip.Arm();
    bus.Arm();
    const auto atStrip = strip.Wait();
    const auto atBus = bus.Wait();
    if (!atStrip || !atBus) {
      state.SkipWithError("no burst reached the strip or the bus");
      break;
    }
    const double us = std::chrono::duration<double, std::micro>(*atBus - *atStrip).count();
    state.SetIterationTime(std::max(us, 0.0) / 1e6);
    micros.push_back(us);
  }
  ReportPercentiles(state, micros);
}

void ServerCpuWithFourBusesAndEffects(benchmark::State& state) {
  if (!OnPipeWire(state)) {
    return;
  }
  const ToneSink tone(60);
  const pid_t player = tone.Play();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double idle = CpuPercent(SoundServerTicks, 5);
  MixerdProcess server = tone.Server();
  if (!server.Start()) {
    state.SkipWithError("vantrel-mixerd did not start");
    return;
  }
  // Aux 1 reverb and Aux 2 chorus by default; Aux 3 flanger, Aux 4 echo.
  Ctl({"route-effect", "2", "2"});
  Ctl({"route-effect", "3", "3"});
  Ctl({"set", "SendLevel", "0", "0", "0", "40000"});
  Ctl({"set", "SendLevel", "0", "0", "1", "40000"});
  Ctl({"route-send", "0", "1", "0", "2"});
  Ctl({"route-send", "0", "1", "1", "3"});
  std::this_thread::sleep_for(std::chrono::seconds(2));
  double busy = 0;
  for (auto _ : state) {
    busy = CpuPercent(SoundServerTicks, 5);
  }
  state.counters["idle_percent"] = idle;
  state.counters["busy_percent"] = busy;
  pid_t stopped = player;
  EndProgram(stopped);
  server.Stop();
}
BENCHMARK(ServerCpuWithFourBusesAndEffects)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK(SendRaisedToSoundOnBus)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

BENCHMARK(SendAddedLatency)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vantrel::test

BENCHMARK_MAIN();
