#include "app/mute_buttons.h"

#include "mixer/mute_targets.h"
#include "support/page_fixture.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Calls = std::vector<std::string>;

TEST(ButtonBindingTest, ProfileTextsReadAsDocumentedAndWriteBackTheSame) {
  using K = ButtonBinding::Kind;
  const std::vector<std::pair<std::string, ButtonBinding>> accepted = {
      {"-1", ButtonBinding{}},
      {"CC 20", ButtonBinding{K::Controller, 20, false}},
      {"cc  0", ButtonBinding{K::Controller, 0, false}},
      {"Note 127 latch", ButtonBinding{K::Note, 127, true}},
      {"NOTE 36 LATCH", ButtonBinding{K::Note, 36, true}},
  };
  for (const auto& [text, expected] : accepted) {
    const auto parsed = ParseButtonBinding(text);
    EXPECT_EQ(parsed, expected) << text;
    if (parsed) {
      EXPECT_EQ(ParseButtonBinding(FormatButtonBinding(*parsed)), parsed) << text;
    }
  }
  for (const char* text : {"CC 128", "CC -1", "Note", "CC 20 toggle", "PC 3", "20", "CC 2x"}) {
    EXPECT_EQ(ParseButtonBinding(text), std::nullopt) << text;
  }
}

class MuteButtonsTest : public ::testing::Test, public test::PageFixture {
protected:
  CMuteButtons buttons;
  void Bind(std::string_view key, std::string_view text) {
    settings.Write(ButtonMappingKey(key), text);
  }
  // Plays a message and answers the mute as the mixer would hold it now.
  void Play(ControllerChange change) {
    buttons.OnInput(context, change);
    for (const std::string& call : mixer.calls) {
      if (call.starts_with("SetSourceMute(2, 0, ")) {
        mixer.answers["GetSourceMute(2, 0)"] = call[20] - '0';
      } else if (call.starts_with("SetMasterMute(")) {
        mixer.answers["GetMasterMute()"] = call[14] - '0';
      }
    }
  }
  Calls Setters() const {
    Calls setters;
    for (const std::string& call : mixer.calls) {
      if (call.starts_with("Set")) {
        setters.push_back(call);
      }
    }
    return setters;
  }
};

TEST_F(MuteButtonsTest, MomentaryButtonsToggleOnPressOnlyAndLatchButtonsFollowTheirValue) {
  Bind("WaveMute", "Note 36");
  Bind("VolMute", "cc 20 latch");
  Bind("A1Mute", "bogus"); // reported, no button
  context.state.outputChannel = 2;
  buttons.Load(&settings);
  EXPECT_FALSE(buttons.Map().Binding(6).IsMapped());
  Play({36, 100, 9, true}); // press: muted
  Play({36, 0, 9, true});   // release
  Play({36, 1, 0, true});   // press again on another channel: unmuted
  Play({20, 127, 0});       // latch: muted
  Play({20, 64, 0});        // still at or above 64: muted again
  Play({20, 63, 0});        // unmuted
  Play({36, 0, 0});         // a Control Change 36 is no note
  EXPECT_EQ(Setters(), (Calls{"SetSourceMute(2, 0, 1)", "SetSourceMute(2, 0, 0)",
                              "SetMasterMute(1)", "SetMasterMute(1)", "SetMasterMute(0)"}));
  // Every change lights its button on the output channel.
  EXPECT_EQ(sink.sent, (Calls{"92 24 7F", "92 24 00", "B2 14 7F", "B2 14 7F", "B2 14 00"}));
}

TEST_F(MuteButtonsTest, ChangesFromElsewhereAndAnOpenedOutputLightMappedButtonsOnly) {
  Bind("Aux2Mute", "CC 5");
  buttons.Load(&settings);
  mixer.answers["GetBusMute(1)"] = 1;
  CMixerMirror::Slots changed;
  changed.set(MuteSlotOf(kMutes[2]));
  changed.set(MuteSlotOf(kMutes[3])); // not mapped
  buttons.Follow(context, changed);
  buttons.SendAll(context);
  EXPECT_EQ(sink.sent, (Calls{"B0 05 7F", "B0 05 7F"}));
}

} // namespace
} // namespace vantrel
