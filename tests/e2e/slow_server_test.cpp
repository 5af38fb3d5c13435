// The window against a mixer server that answers every call late: it comes
// up without waiting for every answer, and a stop signal ends it at once.

#include "support/bridge_process.h"
#include "support/mixerd_server.h"
#include "support/slow_mixer.h"

#include <gtest/gtest.h>

#include <thread>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SlowMixerServer, TheWindowComesUpAndStopsAtOnce) {
  ASSERT_TRUE(StopMixerNameOwner());
  SlowMixer slow(900ms);
  ASSERT_TRUE(slow.Running());
  TempDir dir;
  BridgeProcess window({"--profile", dir.File("vantrel.INI"), "--no-mixer-warning"}, dir.Path(),
                       {{"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(window.Start());
  // The device lines come just before the pages read the mixer. A page reads
  // a dozen values: answered one by one after 0.9 s each, the window would
  // take over ten seconds more before it could act on the signal.
  ASSERT_TRUE(window.WaitForOutput("MIDI input:", 30s)) << window.Errors();
  std::this_thread::sleep_for(1500ms);
  const auto stop = Clock::now();
  EXPECT_EQ(window.Stop(15, 15s), 0);
  EXPECT_LT(Clock::now() - stop, 3s);
}

} // namespace
} // namespace vantrel::test
