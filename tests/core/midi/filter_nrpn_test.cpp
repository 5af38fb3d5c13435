#include "midi/filter_nrpn.h"

#include "support/recording_sink.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Bytes = std::vector<std::string>;

TEST(FilterNrpn, SendsSelectThenDataLsbBeforeMsb) {
  struct Case {
    int32_t channel;
    int parameter;
    int data;
    Bytes bytes;
  };
  const Case cases[] = {
      {0, kNrpnCutoff, CutoffNrpnData(127), {"B0 63 78", "B0 62 08", "B0 26 14", "B0 06 2C"}},
      {0, kNrpnCutoff, CutoffNrpnData(0), {"B0 63 78", "B0 62 08", "B0 26 00", "B0 06 40"}},
      {0, kNrpnResonance, ResonanceNrpnData(0), {"B0 63 78", "B0 62 09", "B0 26 00", "B0 06 40"}},
      {0, kNrpnResonance, ResonanceNrpnData(127), {"B0 63 78", "B0 62 09", "B0 26 78", "B0 06 47"}},
      {15, kNrpnCutoff, 8192, {"BF 63 78", "BF 62 08", "BF 26 00", "BF 06 40"}},
      // A saved channel of 0 leaves index -1, whose low bits are channel 16.
      {-1, kNrpnResonance, 8192, {"BF 63 78", "BF 62 09", "BF 26 00", "BF 06 40"}},
  };
  for (const Case& c : cases) {
    test::RecordingSink sink;
    SendFilterNrpn(sink, c.channel, c.parameter, c.data);
    EXPECT_EQ(sink.sent, c.bytes) << c.channel << " " << c.parameter << " " << c.data;
  }
}

TEST(FilterNrpn, DataOfTheFaderEnds) {
  EXPECT_EQ(CutoffNrpnData(0), 8192);
  EXPECT_EQ(CutoffNrpnData(127), 5652);
  EXPECT_EQ(ResonanceNrpnData(0), 8192);
  EXPECT_EQ(ResonanceNrpnData(127), 9208);
}

} // namespace
} // namespace vantrel
