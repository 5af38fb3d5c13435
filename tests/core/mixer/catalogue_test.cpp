#include "mixer/catalogue.h"

#include "pages/page_table.h"
#include "support/recording_mixer.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vantrel {
namespace {

TEST(Catalogue, HasSixtyOneRowsWithDistinctKeys) {
  std::set<std::string_view> keys;
  for (const Parameter& p : kCatalogue) {
    EXPECT_TRUE(keys.insert(p.key).second) << p.key;
  }
  EXPECT_EQ(keys.size(), 61u);
}

TEST(Catalogue, DispatchOrderVisitsThePagesInTheirOrder) {
  std::vector<int> pages;
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    if (pages.empty() || pages.back() != PageOfRow(row)) {
      pages.push_back(PageOfRow(row));
    }
  }
  EXPECT_EQ(pages, (std::vector<int>{1, 2, 3, 4, 5, 7, 8, 6}));
  EXPECT_EQ(kCatalogue.back().key, "NRPN Res");
  EXPECT_EQ(kCatalogue[59].key, "NRPN Cut");
}

// Each kind of row sets and reads the operation of its row with the row's
// fixed arguments and its own scale.
TEST(Catalogue, RowsCallTheirOperationsWithTheirScales) {
  struct Case {
    std::size_t row;
    int v;
    const char* fromFader;
    const char* fromController;
    const char* read;
  };
  const Case cases[] = {
      {2, 127, "SetBusLevel(2, 65532)", "SetBusLevel(2, 65024)", "GetBusLevel(2)"},
      {4, 64, "SetMasterVolume(0, 267)", "SetMasterVolume(0, 267)", "GetMasterVolume(0)"},
      {6, 10, "SetRecordLevel(5160)", "SetRecordLevel(5120)", "GetRecordLevel()"},
      {18, 64, "SetSourcePan(0, 2, 33024)", "SetSourcePan(0, 2, 32768)", "GetSourcePan(0, 2)"},
      {33, 127, "SetSourceVolume(2, 0, 65535)", "SetSourceVolume(2, 0, 65535)",
       "GetSourceVolume(2, 0)"},
      {36, 1, "SetSendLevel(3, 0, 1, 516)", "SetSendLevel(3, 0, 1, 512)", "GetSendLevel(3, 0, 1)"},
      {44, 64, "SetSendLevel(4, 1, 1, 33024)", "SetSendLevel(4, 1, 1, 32768)",
       "GetSendLevel(4, 1, 1)"},
      {57, 0, "SetSourceVolume(4, 4, 0)", "SetSourceVolume(4, 4, 0)", "GetSourceVolume(4, 4)"},
  };
  for (const Case& c : cases) {
    const Parameter& p = kCatalogue[c.row];
    test::RecordingMixer mixer;
    SetParameter(mixer, p, MixerValueFromFader(p, c.v));
    SetParameter(mixer, p, MixerValueFromController(p, c.v));
    int32_t cell = 0;
    ReadParameter(mixer, p, cell);
    EXPECT_EQ(mixer.calls, (std::vector<std::string>{c.fromFader, c.fromController, c.read}))
        << p.strip;
  }
}

TEST(Catalogue, FilterRowsAreNoMixerParametersButSendTheirSequence) {
  test::RecordingMixer mixer;
  int32_t cell = 0;
  EXPECT_NE(SetParameter(mixer, kCatalogue[59], 1), 0);
  EXPECT_NE(ReadParameter(mixer, kCatalogue[60], cell), 0);
  EXPECT_TRUE(mixer.calls.empty());

  test::RecordingSink sink;
  SendFilterParameter(sink, 0, kCatalogue[59], 127);
  SendFilterParameter(sink, 0, kCatalogue[60], 127);
  EXPECT_EQ(sink.sent, (std::vector<std::string>{"B0 63 78", "B0 62 08", "B0 26 14", "B0 06 2C",
                                                 "B0 63 78", "B0 62 09", "B0 26 78", "B0 06 47"}));
}

TEST(Catalogue, AFailedReadLeavesTheCell) {
  test::RecordingMixer mixer;
  mixer.failing.insert("GetBusLevel(0)");
  int32_t cell = 0;
  ReadParameter(mixer, kCatalogue[0], cell);
  EXPECT_EQ(cell, 0);
}

} // namespace
} // namespace vantrel
