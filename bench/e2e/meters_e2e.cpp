// Level meters on a real sound server. Run inside
// scripts/with-test-services.sh and scripts/with-sound-server.sh
// pulseaudio|pipewire.
//
// ServerCpuWithMetersOnEightStreams: eight playback streams of a sine bound
// to Wave; the share of one core that vantrel-mixerd takes over 10 s with
// nobody asking for meters, then while vantrel-mixerctl meters asks
// (eight stream meters, Master's sink, Record's source and the buses, 25
// updates a second), and the same for the sound server's own processes;
// and how many meter streams were made again in that time (a stalled
// stream is; one that is fed never should be).

#include "cpu_share.h"

#include "support/mixerd_server.h"
#include "support/sound_server.h"

#include <benchmark/benchmark.h>

#include <algorithm>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::test {
namespace {

constexpr int kStreams = 8;
constexpr double kSeconds = 10;

int CountMeterStreams() {
  return static_cast<int>(MeterStreams().size());
}

void ServerCpuWithMetersOnEightStreams(benchmark::State& state) {
  if (std::getenv("VANTREL_TEST_SOUND_SERVER") == nullptr) {
    state.SkipWithError("run inside scripts/with-sound-server.sh");
    return;
  }
  TempDir dir;
  WriteSine(dir.File("sine.raw"), 60, 0.5);
  MixerdProcess server(
      dir.File("mixer.state"),
      BackendWithMapping(dir, "[Wave]\nstream = application.name ~ ^vantrel_bench\n", "pulse"));
  if (!server.Start()) {
    state.SkipWithError("vantrel-mixerd did not start");
    return;
  }
  std::vector<pid_t> players;
  for (int i = 0; i < kStreams; ++i) {
    players.push_back(StartProgram({"/usr/bin/pacat", "--playback", "--raw",
                                    "--property=application.name=vantrel_bench" + std::to_string(i),
                                    dir.File("sine.raw")}));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const pid_t mixerd = server.Pid();
  const auto mixerdTicks = [mixerd] { return ProcessTicks(mixerd); };
  double mixerdOff = 0;
  double mixerdOn = 0;
  double soundOff = 0;
  double soundOn = 0;
  int meters = 0;
  int madeAgain = 0;
  for (auto _ : state) {
    mixerdOff = CpuPercent(mixerdTicks, kSeconds);
    soundOff = CpuPercent(SoundServerTicks, kSeconds);
    pid_t client =
        StartProgram({"/bin/sh", "-c", "exec " + MixerctlProgram() + " meters >/dev/null 2>&1"});
    Eventually([] { return CountMeterStreams() >= kStreams + 2; });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const std::vector<std::string> first = MeterStreams();
    meters = static_cast<int>(first.size());
    mixerdOn = CpuPercent(mixerdTicks, kSeconds);
    soundOn = CpuPercent(SoundServerTicks, kSeconds);
    madeAgain = static_cast<int>(std::ranges::count_if(MeterStreams(), [&](const auto& index) {
      return std::ranges::find(first, index) == first.end();
    }));
    EndProgram(client);
  }
  state.counters["meter_streams"] = meters;
  state.counters["meter_streams_made_again"] = madeAgain;
  state.counters["mixerd_off_percent"] = mixerdOff;
  state.counters["mixerd_on_percent"] = mixerdOn;
  state.counters["sound_server_off_percent"] = soundOff;
  state.counters["sound_server_on_percent"] = soundOn;
  for (pid_t& player : players) {
    EndProgram(player);
  }
  server.Stop();
}
BENCHMARK(ServerCpuWithMetersOnEightStreams)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace vantrel::test

BENCHMARK_MAIN();
