#include "pages/aux_labels.h"

#include "support/recording_mixer.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(AuxLabels, EffectLabelsByLowSixteenBits) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "Rvrb"},   {1, "Chor"},   {2, "Flan"},   {3, "Echo"},       {4, "Wah"},
      {5, "Ptch"},   {6, "Dist"},   {7, "Comp"},   {8, "ShEQ1"},      {9, "ShEQ2"},
      {10, "ShEQ3"}, {11, "ShEQ4"}, {12, "PrEQ1"}, {13, "PrEQ2"},     {14, "PrEQ3"},
      {15, "PrEQ4"}, {16, "-"},     {65535, "-"},  {0x70003, "Echo"}, {-65536, "Rvrb"},
      {-1, "-"}};
  for (const auto& [type, text] : cases) {
    std::string label = "old";
    GetEffectLabel(type, label);
    EXPECT_EQ(label, text) << type;
  }
}

TEST(AuxLabels, OutputLabelsByFlagAndPair) {
  struct Case {
    int32_t digital, pair, third;
    const char* text;
  };
  const Case cases[] = {{0, 0, 0, "A1+2"},       {0, 1, 0, "A"},    {0, 2, 0, "A5+6"},
                        {0, 3, 0, "A"},          {0, 4, 0, "A7+8"}, {0, 5, 9, "A"},
                        {5, 0, 0, "D1"},         {1, 2, 0, "D2"},   {1, 4, 0, "D"},
                        {0, 0x10002, 0, "A5+6"}, {-1, 0, 7, "D1"},  {0, 4, 12345, "A7+8"}};
  for (const Case& c : cases) {
    std::string label;
    GetOutputPairLabel(c.digital, c.pair, c.third, label);
    EXPECT_EQ(label, c.text) << c.digital << "," << c.pair;
  }
}

TEST(AuxLabels, AnUnroutedBusCostsOneCall) {
  test::RecordingMixer mixer;
  std::string label;
  GetAuxBusLabel(mixer, 2, label);
  EXPECT_EQ(label, "N/R");
  EXPECT_EQ(mixer.calls, (std::vector<std::string>{"IsBusRouted(2)"}));
}

TEST(AuxLabels, ARoutedBusAsksWhereItGoes) {
  test::RecordingMixer mixer;
  mixer.answers = {{"IsBusRouted(1)", 1},          {"GetBusEffect(1)", 7},
                   {"IsBusRouted(3)", 1},          {"IsBusOnOutput(3)", 1},
                   {"GetBusOutput(3).digital", 1}, {"GetBusOutput(3).pair", 2}};
  std::string label;
  GetAuxBusLabel(mixer, 1, label);
  EXPECT_EQ(label, "Comp");
  GetAuxBusLabel(mixer, 3, label);
  EXPECT_EQ(label, "D2");
  EXPECT_EQ(mixer.calls,
            (std::vector<std::string>{"IsBusRouted(1)", "IsBusOnOutput(1)", "GetBusEffect(1)",
                                      "IsBusRouted(3)", "IsBusOnOutput(3)", "GetBusOutput(3)"}));
}

TEST(AuxLabels, AFailedGetterLeavesTheZerosItWasGiven) {
  test::RecordingMixer mixer;
  mixer.answers = {{"IsBusRouted(0)", 1}, {"IsBusRouted(1)", 1}, {"IsBusOnOutput(1)", 1}};
  mixer.failing = {"GetBusEffect(0)", "GetBusOutput(1)"};
  std::string label;
  GetAuxBusLabel(mixer, 0, label);
  EXPECT_EQ(label, "Rvrb");
  GetAuxBusLabel(mixer, 1, label);
  EXPECT_EQ(label, "A1+2");
}

} // namespace
} // namespace vantrel
