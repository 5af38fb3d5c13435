// Which reports of the sound server count as changes made elsewhere: the
// server's own restore of a remembered stream volume never does, a value
// the service sent earlier and has seen come back does, and a value set
// while the service reconnects is kept for the objects that come.

#include "sound_backend_fixture.h"
#include "support/pulse_context.h"

#include <gtest/gtest.h>

#include <pulse/pulseaudio.h>

#include <cstdlib>
#include <map>
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

// Another client that, for `period` after a stream of `application`
// appears, puts it back to full volume at the first few changes it hears
// of, without asking first: a restore that lands just after the service's
// first set, as a session manager's does on a loaded machine.
class LateRestorer {
public:
  LateRestorer(std::string application, std::chrono::milliseconds period)
      : m_application(std::move(application)), m_period(period) {
    EXPECT_TRUE(m_pulse.WaitReady());
  }

private:
  struct Stream {
    std::chrono::steady_clock::time_point seen;
    uint8_t channels = 0;
    int restores = 0;
  };
  // A few, not a storm: the server's own restore is one set.
  static constexpr int kMostRestores = 4;

  void OnReady(pa_context* context) {
    pa_context_set_subscribe_callback(context, &LateRestorer::OnEvent, this);
    pa_operation_unref(
        pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr));
  }

  static void OnEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                      void* self) {
    auto& restorer = *static_cast<LateRestorer*>(self);
    const auto what = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (what == PA_SUBSCRIPTION_EVENT_NEW) {
      pa_operation_unref(pa_context_get_sink_input_info(context, index, &OnInfo, self));
      return;
    }
    const auto stream = restorer.m_streams.find(index);
    if (what != PA_SUBSCRIPTION_EVENT_CHANGE || stream == restorer.m_streams.end() ||
        std::chrono::steady_clock::now() - stream->second.seen > restorer.m_period ||
        stream->second.restores == kMostRestores) {
      return;
    }
    ++stream->second.restores;
    pa_cvolume full;
    pa_cvolume_set(&full, stream->second.channels, PA_VOLUME_NORM);
    pa_operation_unref(pa_context_set_sink_input_volume(context, index, &full, nullptr, nullptr));
  }

  static void OnInfo(pa_context*, const pa_sink_input_info* info, int, void* self) {
    auto& restorer = *static_cast<LateRestorer*>(self);
    const char* name =
        info != nullptr ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME) : nullptr;
    if (name != nullptr && name == restorer.m_application) {
      restorer.m_streams[info->index] = {std::chrono::steady_clock::now(), info->volume.channels};
    }
  }

  std::string m_application;
  std::chrono::milliseconds m_period;
  std::map<uint32_t, Stream> m_streams;
  PulseContext m_pulse{"vantrel late restorer", [this](pa_context* c) { OnReady(c); }};
};

// However the server's restore and the service's first set cross, a new
// stream ends at its strip's value.
TEST_F(SoundBackendTest, ARestoreThatLandsJustAfterTheFirstSetIsUndoneToo) {
  Start("pulse", "");
  Set({"SourceVolume", "2", "0", "30000"});
  const long wanted = ServerVolumeOf(30000);
  for (int trial = 0; trial < 6; ++trial) {
    const LateRestorer restorer("Restored Player", 250ms);
    const Player player("Restored Player");
    ASSERT_TRUE(Eventually([] { return !StreamIndex("Restored Player").empty(); }));
    // Past the restorer's time, and past the service's window for undoing.
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(Near(StreamVolume("Restored Player"), {wanted, wanted}))
        << "trial " << trial << ": " << Join(StreamVolume("Restored Player"));
    EXPECT_EQ(Get({"SourceVolume", "2", "0"}), 30000) << "trial " << trial;
  }
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
    CommandResult dump;
    ASSERT_TRUE(Eventually([&] {
      dump = Ctl({"dump"});
      return dump.out.find("backend pulse: waiting") != std::string::npos;
    })) << "trial "
        << trial << ", dump exit " << dump.exitCode << ": " << dump.out << dump.err << "\n"
        << m_server->Errors();
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
