// Level meters on a real sound server, measured against a sine of known
// peak: they reach vantrel-mixerctl and the program's link within 1 dB, and
// the server holds a meter stream only while a client asks for meters.

#include "sound_backend_fixture.h"

#include "mixer/mixer_link.h"
#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace vantrel::test {
namespace {

constexpr double kSineAmplitude = 0.5;
const double kSineDb = 20 * std::log10(kSineAmplitude);
// Our meter streams, as pactl lists them.
constexpr const char* kMeterStreamName = "media.name = \"Vantrel level meter\"";

// Wave takes the test's sine; every other stream stays unbound.
constexpr const char* kWaveMapping = "[Wave]\nstream = application.name ~ ^vantrel_sine$\n";

int CountMeterStreams() {
  const std::string outputs = Pactl({"list", "source-outputs"});
  int count = 0;
  for (std::size_t at = outputs.find(kMeterStreamName); at != std::string::npos;
       at = outputs.find(kMeterStreamName, at + 1)) {
    ++count;
  }
  return count;
}

// "vantrel-mixerctl meters" in the background, its output thrown away.
pid_t StartMetersClient() {
  return StartProgram({"/bin/sh", "-c", "exec " + MixerctlProgram() + " meters >/dev/null 2>&1"});
}

class MetersTest : public SoundBackendTest {
protected:
  void SetUp() override {
    SoundBackendTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    Start("pulse", kWaveMapping);
    // Unity on Wave, so the stream's level is the sine's.
    Set({"SourceVolume", "2", "0", "65535"});
    m_sine = m_dir.File("sine.raw");
    WriteSine(m_sine, 30, kSineAmplitude);
  }

  void PlaySine() {
    m_player = StartProgram({"/usr/bin/pacat", "--playback", "--raw",
                             "--property=application.name=vantrel_sine", m_sine});
    ASSERT_TRUE(Eventually([] { return !StreamVolume("vantrel_sine").empty(); }));
  }

  void TearDown() override { EndProgram(m_player); }

  std::string m_sine;
  pid_t m_player = 0;
};

// The longest run of updates in mixerctl's lines whose level, the first
// number after `label`, lies within 1 dB of the sine's.
int LongestRunNearTheSine(const std::string& lines, const std::string& label) {
  const std::regex level(label + R"( (-?[0-9.]+|-inf))");
  int run = 0;
  int longest = 0;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    const bool near = std::regex_search(line, match, level) && match[1] != "-inf" &&
                      std::abs(std::stod(match[1]) - kSineDb) <= 1.0;
    run = near ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

TEST_F(MetersTest, ASineOnWaveReachesMixerctlWithinOneDecibel) {
  PlaySine();
  // 250 updates (10 s): PulseAudio's null sink hands a new monitor stream
  // its first audio only after the latency it had before (up to 2 s), and
  // a loaded machine may starve a meter stream for a while.
  const CommandResult result = Ctl({"meters", "--count", "250", "--timeout", "30"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // Several updates in a row at the sine's level: the meter is live, not
  // one lucky value. The default sink carries the sine too, and Master
  // meters its monitor.
  for (const char* label :
       {"SourceVolume Wave", "SourceVolume Wave -?[0-9.inf]+", "MasterVolume left"}) {
    EXPECT_GE(LongestRunNearTheSine(result.out, label), 5) << label << "\n" << result.out;
  }
}

TEST_F(MetersTest, ASineOnWaveReachesTheLinkWithinOneDecibel) {
  PlaySine();
  const std::unique_ptr<CMixerLink> link = ConnectMixerLink();
  link->SetMetersWanted(MeterViewer::Window, true);
  const std::size_t wave =
      *mixer_dbus::ValueSlot(mixer_dbus::Method::GetSourceVolume, std::array<int32_t, 2>{2, 0});
  int loud = 0;
  mixer_dbus::MeterReading reading;
  // Several updates in a row at the sine's level: the meter is live, not one lucky value.
  ASSERT_TRUE(PumpLinkUntil(
      *link,
      [&] {
        MeterUpdate update;
        while (link->TakeMeterUpdate(update)) {
          for (const mixer_dbus::MeterReading& one : update) {
            if (one.slot == wave) {
              reading = one;
              loud = std::abs(one.Peak() / 100.0 - kSineDb) <= 1.0 ? loud + 1 : 0;
            }
          }
        }
        return loud >= 5;
      },
      10s))
      << "Wave's last level " << reading.Peak() / 100.0 << " dB";
  EXPECT_EQ(reading.sideCount, 2u);
  EXPECT_TRUE(link->TakeMeterNotice(MeterViewer::Window).empty());
  const mixer_dbus::MeterReading* latest = link->LatestMeters().Find(wave);
  ASSERT_NE(latest, nullptr);
  EXPECT_NEAR(latest->Peak() / 100.0, kSineDb, 1.0);

  // Meters run while any viewer wants them: the surface's keep the window's
  // going; with neither, the levels are gone and so are the server's streams.
  link->SetMetersWanted(MeterViewer::Surface, true);
  link->SetMetersWanted(MeterViewer::Window, false);
  const uint64_t before = link->MeterUpdateCount();
  EXPECT_TRUE(PumpLinkUntil(
      *link, [&] { return link->MeterUpdateCount() > before + 5; }, 10s));
  link->SetMetersWanted(MeterViewer::Surface, false);
  EXPECT_EQ(link->LatestMeters().Find(wave), nullptr);
  EXPECT_TRUE(PumpLinkUntil(
      *link, [] { return CountMeterStreams() == 0; }, 10s));
}

// A client that says stop and one that vanishes without a word both end
// the meters; nobody asking means no meter stream at all.
TEST_F(MetersTest, MeterStreamsExistOnlyWhileAClientAsks) {
  PlaySine();
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal == SIGTERM ? "client stops" : "client killed");
    EXPECT_EQ(CountMeterStreams(), 0);
    pid_t client = StartMetersClient();
    ASSERT_GT(client, 0);
    // Master's sink, Record's source and the sine's stream at least.
    EXPECT_TRUE(Eventually([] { return CountMeterStreams() >= 3; })) << CountMeterStreams();
    ::kill(client, signal);
    int status = 0;
    ::waitpid(client, &status, 0);
    EXPECT_TRUE(Eventually([] { return CountMeterStreams() == 0; })) << CountMeterStreams();
  }
}

TEST_F(MetersTest, StreamsThatComeAndGoGetAndLoseTheirMeter) {
  pid_t client = StartMetersClient();
  ASSERT_GT(client, 0);
  ASSERT_TRUE(Eventually([] { return CountMeterStreams() >= 2; }));
  const int withoutStream = CountMeterStreams();
  PlaySine();
  EXPECT_TRUE(Eventually([&] { return CountMeterStreams() == withoutStream + 1; }))
      << CountMeterStreams();
  EndProgram(m_player);
  EXPECT_TRUE(Eventually([&] { return CountMeterStreams() == withoutStream; }))
      << CountMeterStreams();
  EndProgram(client);
}

} // namespace
} // namespace vantrel::test
