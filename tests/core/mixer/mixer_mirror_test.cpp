// The mirror's echo rules: the program's own setters are never pulled back
// by their answers, changes made elsewhere show once the program's own
// setters of that value have landed, and a new server's state replaces
// what was kept.

#include "mixer/mixer_mirror.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

using namespace mixer_dbus;

constexpr std::array<int32_t, 1> kBus0{0};

std::size_t Slot(Method getter, std::span<const int32_t> args) {
  return *ValueSlot(getter, args);
}
const std::size_t kLevel = Slot(Method::GetBusLevel, kBus0);

// One step of a script: the program sets (and writes) a level, or an
// answer arrives (own or from elsewhere), or the state arrives.
struct Step {
  enum Kind { OwnSet, OwnAnswer, Elsewhere, State } kind;
  int32_t value;
};

struct Script {
  std::string name;
  std::vector<Step> steps;
  int32_t shown;    // what the getter answers at the end
  bool changedSeen; // whether a change from elsewhere was reported
};

TEST(MixerMirror, OwnEchoesNeverPullASweepBackAndChangesElsewhereLandLast) {
  const std::vector<Script> scripts = {
      {"own sweep answered late",
       {{Step::OwnSet, 1},
        {Step::OwnSet, 2},
        {Step::OwnSet, 3},
        {Step::OwnAnswer, 1},
        {Step::OwnAnswer, 2},
        {Step::OwnAnswer, 3}},
       3,
       false},
      {"elsewhere while ours is in flight is older than ours",
       {{Step::OwnSet, 10}, {Step::Elsewhere, 50}, {Step::OwnAnswer, 10}},
       10,
       false},
      {"elsewhere after ours landed shows",
       {{Step::OwnSet, 10}, {Step::OwnAnswer, 10}, {Step::Elsewhere, 50}},
       50,
       true},
      {"the answer to the last setter is the server's word",
       {{Step::OwnSet, 10}, {Step::OwnAnswer, 40}},
       40,
       true},
      {"state while ours is in flight keeps ours",
       {{Step::OwnSet, 10}, {Step::State, 0}, {Step::OwnAnswer, 10}},
       10,
       false},
      {"state with nothing in flight replaces", {{Step::State, 7}}, 7, true},
  };
  for (const Script& script : scripts) {
    CMixerMirror mirror;
    for (const Step& step : script.steps) {
      const std::array<int32_t, 2> args{0, step.value};
      switch (step.kind) {
      case Step::OwnSet:
        mirror.NoteOwnSet(Method::SetBusLevel, args);
        mirror.NoteWritten(Method::SetBusLevel, args);
        break;
      case Step::OwnAnswer:
        mirror.ApplyChange(kLevel, {step.value, 0, 0}, true);
        break;
      case Step::Elsewhere:
        mirror.ApplyChange(kLevel, {step.value, 0, 0}, false);
        break;
      case Step::State:
        mirror.ApplyState(kLevel, {step.value, 0, 0});
        mirror.FinishState();
        break;
      }
    }
    ASSERT_TRUE(mirror.Get(kLevel)) << script.name;
    EXPECT_EQ((*mirror.Get(kLevel))[0], script.shown) << script.name;
    EXPECT_EQ(mirror.TakeChanged().test(kLevel), script.changedSeen) << script.name;
  }
}

TEST(MixerMirror, ChoosingAnEffectRoutesTheBusSoTheServersRoutingEntriesAreNoChange) {
  CMixerMirror mirror;
  mirror.ApplyState(Slot(Method::IsBusRouted, kBus0), {0, 0, 0});
  mirror.ApplyState(Slot(Method::IsBusOnOutput, kBus0), {1, 0, 0});
  mirror.FinishState();
  mirror.TakeChanged();
  const std::array<int32_t, 2> choice{0, 7};
  mirror.NoteOwnSet(Method::SetAuxEffect, choice);
  mirror.NoteWritten(Method::SetAuxEffect, choice);
  mirror.ApplyChange(Slot(Method::GetBusEffect, kBus0), {7, 0, 0}, true);
  mirror.ApplyChange(Slot(Method::IsBusRouted, kBus0), {1, 0, 0}, false);
  mirror.ApplyChange(Slot(Method::IsBusOnOutput, kBus0), {0, 0, 0}, false);
  EXPECT_TRUE(mirror.TakeChanged().none());
}

TEST(MixerMirror, AServerThatGoesAwayLeavesTheValuesAndItsSuccessorsStateReplacesThem) {
  CMixerMirror mirror;
  EXPECT_FALSE(mirror.Get(kLevel));
  const std::array<int32_t, 2> set{0, 99};
  mirror.NoteOwnSet(Method::SetBusLevel, set);
  mirror.NoteWritten(Method::SetBusLevel, set);
  mirror.ForgetServer(); // the setter in flight is never answered
  EXPECT_EQ((*mirror.Get(kLevel))[0], 99);
  EXPECT_FALSE(mirror.HasState());
  mirror.ApplyState(kLevel, {5, 0, 0});
  mirror.FinishState();
  EXPECT_EQ((*mirror.Get(kLevel))[0], 5);
  EXPECT_TRUE(mirror.HasState());
}

} // namespace
} // namespace vantrel
