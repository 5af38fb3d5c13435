#include "midi/midi_backend.h"
#include "midi/midi_message.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(MidiApiNames, OnlyAlsaAndJackAreAccepted) {
  EXPECT_EQ(ParseMidiApi("alsa"), MidiApi::Alsa);
  EXPECT_EQ(ParseMidiApi("jack"), MidiApi::Jack);
  for (const char* bad : {"", "ALSA", "none", "jack2", " alsa"}) {
    EXPECT_EQ(ParseMidiApi(bad), std::nullopt) << bad;
  }
}

TEST(BridgePortNames, OnlyTheBridgesOwnClientsAreHidden) {
  struct Case {
    const char* name;
    bool bridge;
  };
  for (const Case& c : {Case{"Vantrel:MIDI Out", true}, Case{"Vantrel-01:MIDI In", true},
                        Case{"Vantrel:MIDI Out 128:0", true}, Case{"Vantrel-:x", false},
                        Case{"Vantrel-0a:x", false}, Case{"VantrelX:x", false},
                        Case{"system:midi_capture_1", false}, Case{"my Vantrel:out", false},
                        Case{"vantrel:out", false}}) {
    EXPECT_EQ(IsBridgePortName(c.name), c.bridge) << c.name;
  }
}

TEST(ShortMessageLength, FollowsTheStatusByte) {
  struct Case {
    uint8_t status;
    std::size_t length;
  };
  for (const Case& c :
       {Case{0x00, 0}, Case{0x7F, 0}, Case{0x80, 3}, Case{0x9F, 3}, Case{0xA0, 3}, Case{0xBF, 3},
        Case{0xC0, 2}, Case{0xDF, 2}, Case{0xE5, 3}, Case{0xF0, 0}, Case{0xF1, 2}, Case{0xF2, 3},
        Case{0xF3, 2}, Case{0xF6, 1}, Case{0xF7, 0}, Case{0xF8, 1}, Case{0xFE, 1}, Case{0xFF, 1}}) {
    EXPECT_EQ(ShortMessageLength(c.status), c.length) << int{c.status};
  }
}

} // namespace
} // namespace vantrel
