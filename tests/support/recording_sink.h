#pragma once
// Records short messages sent to it, as "B0 63 78" lines, for exact checks.

#include "midi/short_message_sink.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vantrel::test {

class RecordingSink : public IShortMessageSink {
public:
  std::vector<std::string> sent;
  int SendShort(uint8_t status, uint8_t data1, uint8_t data2) override {
    char text[12];
    std::snprintf(text, sizeof text, "%02X %02X %02X", status, data1, data2);
    sent.emplace_back(text);
    return 0;
  }
};

} // namespace vantrel::test
