#pragma once
// What the tests that listen share: a null sink "vantrel_tone" of the test's
// own to play a sine into, and the RMS of what a source records.

#include "sound_backend_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

namespace vantrel::test {

inline constexpr int kRate = 48000;
inline constexpr double kSineAmplitude = 0.5;

// Analog 1 takes the monitor of the sink the test plays its sine into (its
// name on PulseAudio, its node's name on PipeWire).
inline constexpr const char* kToneMapping = "[Analog 1]\nsource = node.name ~ ^vantrel_tone\n";

inline int CountBusSinks() {
  const std::string sinks = Pactl({"list", "short", "sinks"});
  int count = 0;
  for (std::size_t at = sinks.find("vantrel_aux"); at != std::string::npos;
       at = sinks.find("vantrel_aux", at + 1)) {
    ++count;
  }
  return count;
}

// RMS (full scale 1) of the last `seconds` recorded from `source`, after a
// start that lets the graph settle: a quarter second on PipeWire, more on
// PulseAudio, where what was just set takes longer to be heard. The
// recording is as long as asked however late the recorder starts (parec
// takes over a second to start on a loaded PulseAudio); one that brings
// less within 20 s answers NaN, which is neither silent nor loud. The
// answer is the median of 20 ms windows: a dropout of a loaded machine
// (every sound falls silent for a moment) moves no level measured here.
inline double RecordedRms(const std::string& source, double seconds) {
  const bool pipeWire = std::string(std::getenv("VANTREL_TEST_SOUND_SERVER")) == "pipewire";
  constexpr std::size_t kFrameBytes = 4; // two 16-bit channels
  const std::size_t skip = static_cast<std::size_t>((pipeWire ? 0.25 : 2.5) * kRate) * kFrameBytes;
  const auto bytes = skip + static_cast<std::size_t>(seconds * kRate) * kFrameBytes;
  const CommandResult result =
      RunCommand({"/usr/bin/timeout", "20", "/bin/sh", "-c",
                  "/usr/bin/parec --latency-msec=20 --raw --format=s16le --rate=48000 "
                  "--channels=2 --device=\"$0\" | head -c " +
                      std::to_string(bytes),
                  source});
  const std::string& data = result.out;
  if (data.size() < bytes) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  constexpr std::size_t kWindowBytes = kRate / 50 * kFrameBytes;
  std::vector<double> windows;
  for (std::size_t start = skip; start + kWindowBytes <= data.size(); start += kWindowBytes) {
    double sum = 0;
    for (std::size_t at = start; at < start + kWindowBytes; at += 2) {
      int16_t sample = 0;
      std::memcpy(&sample, data.data() + at, 2);
      sum += (sample / 32768.0) * (sample / 32768.0);
    }
    windows.push_back(std::sqrt(sum / (kWindowBytes / 2)));
  }
  std::nth_element(windows.begin(), windows.begin() + windows.size() / 2, windows.end());
  return windows[windows.size() / 2];
}

// Per playback stream, the loudest sample of each channel in a tenth of a
// second of what it plays, and how many samples are not numbers.
inline std::string StreamPeaks() {
  std::istringstream streams(Pactl({"list", "short", "sink-inputs"}));
  std::string text;
  for (std::string line; std::getline(streams, line);) {
    const std::string index = line.substr(0, line.find('\t'));
    const std::string data =
        RunCommand({"/usr/bin/timeout", "5", "/bin/sh", "-c",
                    "/usr/bin/parec --raw --format=float32le --rate=48000 --channels=2 "
                    "--monitor-stream=\"$0\" | head -c 38400",
                    index})
            .out;
    std::array<float, 2> peak{};
    int notNumbers = 0;
    for (std::size_t at = 0; at + 4 <= data.size(); at += 4) {
      float sample = 0;
      std::memcpy(&sample, data.data() + at, 4);
      if (!std::isfinite(sample)) {
        ++notNumbers;
      } else {
        float& side = peak[(at / 4) % 2];
        side = std::max(side, std::fabs(sample));
      }
    }
    text += "stream " + index + ": peaks " + std::to_string(peak[0]) + " " +
            std::to_string(peak[1]) + ", " + std::to_string(notNumbers) + " not numbers\n";
  }
  return text;
}

// What the sound server has built and where each stream plays, for the
// message of a failed sound check.
inline std::string Graph() {
  return Pactl({"list", "short", "modules"}) + Pactl({"list", "short", "sinks"}) +
         Pactl({"list", "short", "sink-inputs"}) + Pactl({"list", "short", "source-outputs"}) +
         RunCommand({"/usr/bin/pw-link", "-l"}).out + Ctl({"targets"}).out + StreamPeaks();
}

inline double Db(double ratio) {
  return 20 * std::log10(std::max(ratio, 1e-9));
}

// How far a reading of a sine that should not have changed may stray on a
// loaded machine: PipeWire 0.3.65 played the same stream up to 1.5 dB off
// for seconds at a time there. What the checks that use it guard against
// (a path lost, doubled or fed back) is 6 dB or more.
inline constexpr double kSteadyDriftDb = 2.0;

// The RMS of `source` once two readings in a row agree within 0.5 dB (at
// most 20 s), for a reference level: just after a stream is built PipeWire
// may still play it at a level it remembered before the service sets its
// own.
inline double SteadyRms(const std::string& source, double seconds) {
  double last = RecordedRms(source, seconds);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    const double now = RecordedRms(source, seconds);
    if (std::fabs(Db(now / last)) < 0.5) {
      return now;
    }
    last = now;
  }
  return last;
}

class ToneTest : public SoundBackendTest {
protected:
  void SetUp() override {
    SoundBackendTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    m_tone = Pactl({"load-module", "module-null-sink", "sink_name=vantrel_tone"});
    ASSERT_TRUE(Eventually([] { return !SinkVolume("vantrel_tone").empty(); }));
  }
  void TearDown() override {
    if (m_player > 0) {
      EndProgram(m_player);
    }
    m_server.reset();
    if (!m_tone.empty()) {
      Pactl({"unload-module", m_tone.substr(0, m_tone.find('\n'))});
    }
  }
  static bool OnPipeWire() {
    return std::string(std::getenv("VANTREL_TEST_SOUND_SERVER")) == "pipewire";
  }
  // Effects and sends from streams are built on PipeWire only.
  void SkipUnlessPipeWire() {
    if (!OnPipeWire()) {
      GTEST_SKIP() << "effects and sends from streams are built on PipeWire";
    }
  }
  // On PipeWire, waits until the service lets Aux 1's new effect play (it
  // holds a new effect silent for its first seconds).
  // PipeWire may first restore the level the last effect of that name
  // ended at, so the warm-up's own level is waited for first (it may be
  // over already on a slow start).
  void WaitForEffectWarmUp() {
    if (OnPipeWire()) {
      const auto level = [] { return StreamVolume("Vantrel Aux 1 Reverb output"); };
      static_cast<void>(VolumesBecome(level, {0, 0}, 8s));
      EXPECT_TRUE(VolumesBecome(level, {65536, 65536}, 20s));
    }
  }
  // Plays two minutes of sine (application "Sine"), longer than any test that
  // waits for sound on a loaded machine, into the sink whose monitor Analog 1
  // takes, or into the default sink, where the Wave strip takes its stream.
  // `application` names it otherwise, for a test that must not meet a
  // volume the sound server remembered for "Sine" in an earlier test.
  void PlaySine(const std::string& sink = "vantrel_tone", const std::string& application = "Sine") {
    const std::string sine = m_dir.File("sine.raw");
    WriteSine(sine, 120, kSineAmplitude);
    m_player = StartProgram({"/usr/bin/pacat", "--playback", "--raw", "--device=" + sink,
                             "--property=application.name=" + application, sine});
    ASSERT_GT(m_player, 0);
  }

  std::string m_tone;
  pid_t m_player = 0;
};

} // namespace vantrel::test
