// Which reports of the sound server count as changes made elsewhere: the
// server's own restore of a remembered stream volume never does, a value
// the service sent earlier and has seen come back does, and a value set
// while the service reconnects is kept for the objects that come.

#include "sound_backend_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace vantrel::test {
namespace {

// New streams of the application, each of which PipeWire starts at its
// remembered 20 %: each plays at the Wave strip's 30000 and the strip keeps it.
void ExpectEachNewStreamPlaysAtTheStripsLevel(const std::string& application) {
  Set({"SourceVolume", "2", "0", "30000"});
  const long wanted = ServerVolumeOf(30000);
  for (int trial = 0; trial < 3; ++trial) {
    Player again(application, {}, PlayerNaming::Client);
    EXPECT_TRUE(Eventually([&] {
      return Near(StreamVolume(application), {wanted, wanted});
    })) << Join(StreamVolume(application));
    // Past the time the server takes to restore its remembered volume.
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(Get({"SourceVolume", "2", "0"}), 30000) << "trial " << trial;
    EXPECT_TRUE(Near(StreamVolume(application), {wanted, wanted}))
        << Join(StreamVolume(application));
  }
}

TEST_F(SoundBackendTest, ARememberedStreamVolumeNeverTakesOverItsStrip) {
  Start("pulse", "");
  {
    Player first("Remembered Player", {}, PlayerNaming::Client);
    ASSERT_TRUE(Eventually([] {
      const long wave = ServerVolumeOf(49152);
      return Near(StreamVolume("Remembered Player"), {wave, wave});
    })) << Join(StreamVolume("Remembered Player"))
        << "\n"
        << m_server->Errors() << Pactl({"list", "sink-inputs"});
    std::this_thread::sleep_for(600ms);
    // PipeWire remembers this for the application's next stream.
    Pactl({"set-sink-input-volume", StreamIndex("Remembered Player"), "20%"});
    ASSERT_TRUE(Eventually([] { return Get({"SourceVolume", "2", "0"}) == 13107; }));
  }
  ExpectEachNewStreamPlaysAtTheStripsLevel("Remembered Player");
}

// The same with the volume remembered while no service ran: the restore
// meets a service that never saw the application before.
TEST_F(SoundBackendTest, AVolumeRememberedBeforeTheServiceStartedNeverTakesOverItsStrip) {
  const long remembered = ServerVolumeOf(13107);
  {
    Player first("Earlier Player", {}, PlayerNaming::Client);
    Pactl({"set-sink-input-volume", StreamIndex("Earlier Player"), "20%"});
    ASSERT_TRUE(
        VolumesBecome([] { return StreamVolume("Earlier Player"); }, {remembered, remembered}));
  }
  if (std::string(std::getenv("VANTREL_TEST_SOUND_SERVER")) == "pipewire") {
    // The restore this is about is on: with no service, a new stream comes
    // at the remembered volume.
    Player restored("Earlier Player", {}, PlayerNaming::Client);
    ASSERT_TRUE(
        VolumesBecome([] { return StreamVolume("Earlier Player"); }, {remembered, remembered}));
  }
  Start("pulse", "");
  ExpectEachNewStreamPlaysAtTheStripsLevel("Earlier Player");
}

TEST_F(SoundBackendTest, AnOutsideChangeToAValueSentEarlierIsTaken) {
  Start("pulse", "");
  Set({"MasterVolume", "1", "50000"});
  Set({"MasterVolume", "0", "40000"});
  const std::vector<long> earlier = {ServerVolumeOf(40000), ServerVolumeOf(50000)};
  ASSERT_TRUE(Eventually([&] { return Near(SinkVolume("vantrel_out"), earlier); }))
      << Join(SinkVolume("vantrel_out"));
  Set({"MasterVolume", "0", "50000"});
  ASSERT_TRUE(VolumesBecome([] { return SinkVolume("vantrel_out"); }, {earlier[1], earlier[1]}));

  // Another program sets the very volumes the service sent before.
  Pactl({"set-sink-volume", "vantrel_out", std::to_string(earlier[0]), std::to_string(earlier[1])});
  EXPECT_TRUE(Eventually([] {
    return std::abs(Get({"MasterVolume", "0"}) - 40000) <= 8;
  })) << Get({"MasterVolume", "0"});
  EXPECT_EQ(Get({"MasterVolume", "1"}), 50000);
}

TEST_F(SoundBackendTest, AValueSetBeforeTheDevicesAreKnownAgainLandsOnThem) {
  OwnPulseServer server(m_dir.Path());
  const ScopedPulseServer scope(server.Address());
  ASSERT_TRUE(server.Start());
  Start("pulse", "");
  for (int trial = 0; trial < 3; ++trial) {
    server.Stop();
    ASSERT_TRUE(Eventually(
        [] { return Ctl({"dump"}).out.find("backend pulse: waiting") != std::string::npos; }));
    // The service reconnects to a server whose sink comes a moment later, as
    // a server that is still loading its devices.
    ASSERT_TRUE(server.Start(false));
    ASSERT_TRUE(Eventually(
        [] { return Ctl({"dump"}).out.find("backend pulse: waiting") == std::string::npos; }));
    const long value = 20000 + trial * 5000;
    Set({"MasterVolume", "0", std::to_string(value)});
    const long right = ServerVolumeOf(Get({"MasterVolume", "1"}));
    Pactl({"load-module", "module-null-sink", "sink_name=vantrel_out"});
    EXPECT_TRUE(
        VolumesBecome([] { return SinkVolume("vantrel_out"); }, {ServerVolumeOf(value), right}))
        << "trial " << trial;
    EXPECT_EQ(Get({"MasterVolume", "0"}), value);
  }
}

} // namespace
} // namespace vantrel::test
