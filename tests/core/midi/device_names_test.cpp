#include "midi/device_names.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(DeviceNames, AnExactNameWinsThenTheNameWithoutItsSequencerAddress) {
  const std::vector<std::string> names = {"Ctl:Ctl MIDI 1 24:0", "Ctl:Ctl MIDI 1 28:0",
                                          "system:midi_capture_1", "a b 1:x"};
  struct Case {
    std::string wanted;
    std::optional<int32_t> found;
  };
  const Case cases[] = {
      {"Ctl:Ctl MIDI 1 28:0", 1},   // exact, though the first matches without address
      {"Ctl:Ctl MIDI 1 20:0", 0},   // plugged in again under new numbers
      {"Ctl:Ctl MIDI 1", 0},        // written by hand without the address
      {"system:midi_capture_1", 2}, // JACK names carry no address
      {"a b 1:x", 3},               // an address needs digits on both sides
      {"a b", std::nullopt},
      {"Ctl:Ctl MIDI 2 24:0", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindDeviceByName(names, c.wanted), c.found) << c.wanted;
  }
  EXPECT_EQ(NameWithoutAddress(" 1:2"), " 1:2");
  EXPECT_EQ(NameAtIndex(names, 2), "system:midi_capture_1");
  EXPECT_EQ(NameAtIndex(names, 4), "");
  EXPECT_EQ(NameAtIndex(names, -1), "");
}

} // namespace
} // namespace vantrel
