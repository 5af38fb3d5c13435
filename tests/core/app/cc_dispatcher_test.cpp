#include "app/cc_dispatcher.h"

#include "mixer/catalogue.h"
#include "mixer/scales.h"
#include "support/page_fixture.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Calls = std::vector<std::string>;

class DispatcherTest : public ::testing::Test, public test::PageFixture {};

TEST_F(DispatcherTest, EveryRowAppliesTheControllerScaleToItsOwnParameter) {
  CreatePages();
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    Map(row, static_cast<int32_t>(row));
  }
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    mixer.Clear();
    sink.sent.clear();
    OnMidiCc(context, static_cast<uint32_t>(row), 100);
    if (p.kind == ParameterKind::Filter) {
      EXPECT_TRUE(mixer.calls.empty());
      EXPECT_EQ(sink.sent.size(), 4u);
    } else {
      test::RecordingMixer expected;
      SetParameter(expected, p, MixerValueFromController(p, 100));
      EXPECT_EQ(mixer.calls, expected.calls) << p.strip;
      EXPECT_TRUE(sink.sent.empty()) << p.strip;
    }
  }
}

TEST_F(DispatcherTest, ASharedNumberSetsEveryMatchingRowAndMovesOnlyThePageOnScreen) {
  CreatePages();
  Map(0, 7);  // Master Aux 1
  Map(25, 7); // Digital 1 Vol
  Map(26, 7); // Digital 1 Pan
  Map(59, 7); // Cutoff
  test::RecordingView masterView;
  test::RecordingView digitalView;
  Page(1).AttachView(&masterView);
  Page(4).AttachView(&digitalView);
  context.state.currentPage = 4;
  OnMidiCc(context, 7, 127);
  EXPECT_EQ(mixer.calls, (Calls{"SetBusLevel(0, 65024)", "SetSourceVolume(1, 0, 65535)",
                                "SetSourcePan(1, 0, 65024)"}));
  EXPECT_EQ(sink.sent, (Calls{"B0 63 78", "B0 62 08", "B0 26 14", "B0 06 2C"}));
  EXPECT_TRUE(masterView.faders.empty());
  EXPECT_EQ(masterView.shows, 0);
  EXPECT_EQ(digitalView.faders, (std::vector<std::pair<std::size_t, int>>{{2, 127}, {3, 127}}));
  EXPECT_EQ(digitalView.shows, 2);
  EXPECT_EQ(Page(4).Readout(2), "127");
  EXPECT_EQ(Page(1).Readout(0), "");
}

TEST_F(DispatcherTest, UnmappedNumbersAndEmptySlotsChangeNothing) {
  CreatePages();
  OnMidiCc(context, 7, 64);
  EXPECT_TRUE(mixer.calls.empty());

  test::PageFixture early; // before the pages exist
  OnMidiCc(early.context, 7, 64);
  EXPECT_TRUE(early.mixer.calls.empty());
}

TEST_F(DispatcherTest, FilterRowsSendOnTheOutputChannelAndShowOnTheirPage) {
  CreatePages();
  Map(60, 20);
  context.state.outputChannel = 15;
  context.state.currentPage = 6;
  test::RecordingView view;
  Page(6).AttachView(&view);
  OnMidiCc(context, 20, 127);
  EXPECT_EQ(sink.sent, (Calls{"BF 63 78", "BF 62 09", "BF 26 78", "BF 06 47"}));
  EXPECT_EQ(view.faders, (std::vector<std::pair<std::size_t, int>>{{5, 127}}));
  EXPECT_EQ(Page(6).Readout(5), "127");
}

TEST_F(DispatcherTest, GainRowsAtTheEnds) {
  CreatePages();
  Map(4, 1);
  OnMidiCc(context, 1, 0);
  OnMidiCc(context, 1, 127);
  EXPECT_EQ(mixer.calls, (Calls{"SetMasterVolume(0, 0)", "SetMasterVolume(0, 65535)"}));
}

TEST_F(DispatcherTest, WithoutAMixerOnlyTheFilterSequenceGoesOut) {
  context.mixer = nullptr;
  CreatePages();
  Map(1, 3);
  Map(59, 3);
  OnMidiCc(context, 3, 0);
  EXPECT_TRUE(mixer.calls.empty());
  EXPECT_EQ(sink.sent.size(), 4u);
}

TEST_F(DispatcherTest, ValuesBeyondSevenBitsAreClipped) {
  CreatePages();
  Map(0, 9);
  OnMidiCc(context, 9, 255);
  OnMidiCc(context, 137, 1); // no controller number is above 127
  EXPECT_EQ(mixer.calls, (Calls{"SetBusLevel(0, 65024)"}));
}

// The setters among the recorded calls (relative steps read the mixer first).
Calls Setters(const Calls& calls) {
  Calls setters;
  for (const std::string& call : calls) {
    if (call.starts_with("Set")) {
      setters.push_back(call);
    }
  }
  return setters;
}

TEST_F(DispatcherTest, RelativeStepsMoveEachRowFromItsOwnValueAndClamp) {
  CreatePages();
  Map(0, 16);  // Master Aux 1: a level
  Map(4, 16);  // Master Left: a gain
  Map(59, 16); // Cutoff: no mixer value, steps from what was shown
  ASSERT_TRUE(context.modes.SetMode(16, ControllerMode::RelativeTwos));
  mixer.answers["GetBusLevel(0)"] = 100 << 9;               // set by a controller: 100, not 99
  mixer.answers["GetMasterVolume(0)"] = GainFromValue(126); // 126 - 3: 46213
  context.table.SetShown(59, 10);
  OnMidiCc(context, 16, 125); // three steps down
  OnMidiCc(context, 16, 5);   // five up: the gain stops at 127
  EXPECT_EQ(Setters(mixer.calls), (Calls{"SetBusLevel(0, 49664)", "SetMasterVolume(0, 46213)",
                                         "SetBusLevel(0, 53760)", "SetMasterVolume(0, 65535)"}));
  EXPECT_EQ(context.table.Shown(59), 12);
}

TEST_F(DispatcherTest, AFourteenBitPairLandsTheFullValueAndSevenBitsStillWork) {
  CreatePages();
  Map(0, 7); // Master Aux 1
  ASSERT_TRUE(context.modes.SetMode(7, ControllerMode::Fine14Bit));
  Map(1, 39); // its low half drives no rows of its own while paired
  OnMidiCc(context, 7, 100);
  OnMidiCc(context, 39, 77);
  OnMidiCc(context, 7, 127);
  EXPECT_EQ(mixer.calls,
            (Calls{"SetBusLevel(0, 51200)", "SetBusLevel(0, 51508)", "SetBusLevel(0, 65024)"}));
}

} // namespace
} // namespace vantrel
