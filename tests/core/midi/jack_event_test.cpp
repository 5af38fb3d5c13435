#include "midi/jack_in.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

TEST(JackMidiEvents, AnEventIsReadAsOneShortMessageOnlyWhenItStartsWithOneWhole) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool delivered;
    CMidiMessage message;
  };
  const std::vector<Case> cases = {
      {{0xB3, 0x07, 0x64}, true, {0, 0xB3, 0x07, 0x64}},
      {{0xC0, 0x05}, true, {0, 0xC0, 0x05, 0}},
      {{0xF8}, true, {0, 0xF8, 0, 0}},
      {{0xFE}, true, {0, 0xFE, 0, 0}},
      {{0xF1, 0x23}, true, {0, 0xF1, 0x23, 0}},
      {{0xF2, 0x01, 0x02}, true, {0, 0xF2, 0x01, 0x02}},
      {{0xC0, 0x05, 0x06}, true, {0, 0xC0, 0x05, 0}}, // a byte after the message is ignored
      {{}, false, {}},
      {{0x40, 0x10}, false, {}},             // no status byte (running status)
      {{0x07, 0x64, 0x10}, false, {}},       // no status byte
      {{0x90, 0x3C}, false, {}},             // cut short
      {{0xB0}, false, {}},                   // cut short
      {{0xB0, 0x90, 0x10}, false, {}},       // status byte among the data
      {{0xE0, 0x10, 0xF8}, false, {}},       // status byte among the data
      {{0xF0, 0x7E, 0xF7}, false, {}},       // system exclusive
      {{0xF7}, false, {}},                   // end of system exclusive
      {{0xB0, 0x07, 0x64, 0x10}, false, {}}, // more than three bytes
  };
  for (const Case& c : cases) {
    CMidiMessage message;
    message.timestamp = 77;
    const bool delivered = ShortMessageFromEvent(c.bytes.data(), c.bytes.size(), message);
    EXPECT_EQ(delivered, c.delivered) << ::testing::PrintToString(c.bytes);
    if (delivered && c.delivered) {
      EXPECT_EQ(message.status, c.message.status);
      EXPECT_EQ(message.data1, c.message.data1);
      EXPECT_EQ(message.data2, c.message.data2);
      EXPECT_EQ(message.timestamp, 77u);
    }
  }
}

} // namespace
} // namespace vantrel
