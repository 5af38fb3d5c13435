// Feedback and soft takeover over the recording mixer and sink: what is
// read, what is sent back to the controller, and which incoming values may
// set a parameter.

#include "app/controller_feedback.h"

#include "app/cc_dispatcher.h"
#include "mixer/catalogue.h"
#include "mixer/scales.h"
#include "support/page_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel {
namespace {

std::size_t Row(std::string_view key) {
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    if (kCatalogue[row].key == key) {
      return row;
    }
  }
  ADD_FAILURE() << key;
  return 0;
}

// The recording mixer's key of a row's getter, e.g. "GetBusLevel(0)".
std::string GetterOf(std::size_t row) {
  test::RecordingMixer probe;
  int32_t cell = 0;
  ReadParameter(probe, kCatalogue[row], cell);
  return probe.calls.back();
}

class MirrorTest : public ::testing::Test, public test::PageFixture {
protected:
  CControllerFeedback m_mirror;

  void SetUp() override {
    CreatePages();
    context.state.outputChannel = 2;
  }
  using test::PageFixture::Map;
  void Map(std::string_view key, int32_t controller) { Map(Row(key), controller); }
  void Answer(std::string_view key, int32_t value) { mixer.answers[GetterOf(Row(key))] = value; }
  // The setters among the recorded calls: reads of the mirror cost nothing.
  std::vector<std::string> Setters() const {
    std::vector<std::string> setters;
    std::copy_if(mixer.calls.begin(), mixer.calls.end(), std::back_inserter(setters),
                 [](const std::string& call) { return call.rfind("Set", 0) == 0; });
    return setters;
  }
  // The mixer says these rows changed elsewhere.
  void Changed(std::initializer_list<std::string_view> keys) {
    CMixerMirror::Slots slots;
    for (std::string_view key : keys) {
      slots.set(*ValueSlotOf(kCatalogue[Row(key)]));
    }
    m_mirror.Follow(context, slots);
  }
};

TEST_F(MirrorTest, WithBothOffNothingIsReadOrSent) {
  Map("Aux1CC", 20);
  Answer("Aux1CC", 100 * 516);
  Changed({"Aux1CC"});
  m_mirror.SendAll(context);
  OnMidiCc(context, 20, 5);
  EXPECT_EQ(mixer.calls, std::vector<std::string>{"SetBusLevel(0, 2560)"});
  EXPECT_TRUE(sink.sent.empty());
}

TEST_F(MirrorTest, SendAllSendsEachMappedMixerRowOnTheOutputChannelOncePerController) {
  m_mirror.SetFeedback(true);
  Map("Aux1CC", 20);
  Map("A1VolCC", 21);
  Map("U3PanCC", 21);  // shares 21: the later row's value wins
  Map("NRPN Cut", 22); // no mixer value to send
  Answer("Aux1CC", 100 * 516);
  Answer("A1VolCC", GainFromValue(64));
  Answer("U3PanCC", 7 * 516);
  m_mirror.SendAll(context);
  EXPECT_EQ(sink.sent, (std::vector<std::string>{"B2 14 64", "B2 15 07"}));
}

TEST_F(MirrorTest, FeedbackSendsOutsideChangesOnlyNeverTheControllersOwnOrTheScreens) {
  m_mirror.SetFeedback(true);
  Map("Aux1CC", 20);
  Map("Aux2CC", 30);
  Answer("Aux1CC", 10 * 516);
  Answer("Aux2CC", 10 * 516);
  Changed({}); // the program's own changes never reach feedback as changes
  EXPECT_TRUE(sink.sent.empty());

  OnMidiCc(context, 20, 50); // from the controller
  Answer("Aux1CC", 50 * 512);
  Page(1).MoveFader(*Page(1).StripOfRow(Row("Aux2CC")), 70); // from the screen
  Answer("Aux2CC", 70 * 516);
  sink.sent.clear();
  Changed({});
  EXPECT_TRUE(sink.sent.empty());

  Answer("Aux2CC", 90 * 516); // from elsewhere
  Changed({"Aux2CC"});
  EXPECT_EQ(sink.sent, std::vector<std::string>{"B2 1E 5A"});
  sink.sent.clear();
  Changed({});
  EXPECT_TRUE(sink.sent.empty());
}

TEST_F(MirrorTest, SoftTakeoverIgnoresAFarValueAndTakesOverNearOrAcrossTheCurrentOne) {
  context.table.SetSoftTakeover(true);
  Map("Aux1CC", 20);
  Answer("Aux1CC", 64 * 516);
  struct Step {
    int value;
    bool sets;
  };
  // Far below, still below, then across 64 in one jump: taken over.
  for (const Step& step : {Step{10, false}, Step{40, false}, Step{80, true}, Step{5, true}}) {
    mixer.Clear();
    OnMidiCc(context, 20, static_cast<uint32_t>(step.value));
    const bool set = !mixer.calls.empty() && mixer.calls.back().rfind("Set", 0) == 0;
    EXPECT_EQ(set, step.sets) << step.value;
  }

  // A change from elsewhere has to be picked up again; 2 steps is near.
  Answer("Aux1CC", 100 * 516);
  Changed({"Aux1CC"});
  mixer.Clear();
  OnMidiCc(context, 20, 10);
  EXPECT_TRUE(Setters().empty());
  OnMidiCc(context, 20, 98);
  EXPECT_EQ(Setters(), std::vector<std::string>{"SetBusLevel(0, 50176)"});
}

TEST_F(MirrorTest, SoftTakeoverLeavesAnIgnoredRowAndItsStripAloneWhileAnotherRowTakesOver) {
  context.table.SetSoftTakeover(true);
  Map("Aux1CC", 20);
  Map("Aux2CC", 20);
  Answer("Aux1CC", 0);
  Answer("Aux2CC", 120 * 516);
  context.state.currentPage = 1;
  OnMidiCc(context, 20, 1);
  const auto& calls = mixer.calls;
  EXPECT_NE(std::find(calls.begin(), calls.end(), "SetBusLevel(0, 512)"), calls.end());
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& call) { return call.rfind("Set", 0) == 0; }),
            1);
  EXPECT_EQ(Page(1).FaderValue(*Page(1).StripOfRow(Row("Aux1CC"))), 1);
  EXPECT_EQ(Page(1).FaderValue(*Page(1).StripOfRow(Row("Aux2CC"))), 0);
}

// Two controllers on one number (two channels) pick the parameter up each on
// its own: one that took it over does not let the other jump it.
TEST_F(MirrorTest, SoftTakeoverKeepsPickUpPerChannel) {
  context.table.SetSoftTakeover(true);
  Map("Aux1CC", 20);
  Answer("Aux1CC", 64 * 516);
  const auto sets = [&](std::size_t channel, int value) {
    mixer.Clear();
    OnMidiCc(context, 20, static_cast<uint32_t>(value), channel);
    return !Setters().empty();
  };
  EXPECT_TRUE(sets(0, 63));   // channel 1 picks up near 64
  Answer("Aux1CC", 63 * 512); // and moves it
  EXPECT_FALSE(sets(1, 10));  // channel 2 is far away and has not picked up
  EXPECT_TRUE(sets(0, 70));   // channel 1 keeps it
  Answer("Aux1CC", 70 * 512);
  EXPECT_FALSE(sets(1, 20));
  EXPECT_TRUE(sets(1, 80)); // crossing 70 picks it up
  Answer("Aux1CC", 80 * 512);
  EXPECT_FALSE(sets(0, 71)); // channel 1 now has to pick the new value up
}

} // namespace
} // namespace vantrel
