#include "pages/page_model.h"

#include "support/page_fixture.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Calls = std::vector<std::string>;

class PageModelTest : public ::testing::Test, public test::PageFixture {};

TEST_F(PageModelTest, LoadingTurnsMissingKeysIntoMinusOneAndTextByAtoi) {
  settings.Write(CcMappingKey("Aux2CC"), "abc");
  settings.Write(CcMappingKey("aux3cc"), " 12x");
  settings.Write(CcMappingKey("VolLCC"), "300");
  settings.Write(CcMappingKey("VolRCC"), "");
  CreatePages();
  CPageModel& master = Page(1);
  EXPECT_EQ(master.Controller(0), -1);
  EXPECT_EQ(master.Controller(1), 0);
  EXPECT_EQ(master.Controller(2), 12);
  EXPECT_EQ(master.Controller(4), 300);
  EXPECT_EQ(master.Controller(5), -1);
  for (int number = 1; number <= kPageCount; ++number) {
    EXPECT_EQ(context.state.Slot(number), &Page(number));
  }
}

TEST_F(PageModelTest, SavingWritesEveryNumberWhateverItHolds) {
  settings.Write(CcMappingKey("VolLCC"), "300");
  CreatePages();
  Page(1).OnPageHide();
  Page(6).OnPageHide();
  EXPECT_EQ(settings.Read(CcMappingKey("VolLCC")), "300");
  EXPECT_EQ(settings.Read(CcMappingKey("RecGainCC")), "-1");
  EXPECT_EQ(settings.Read(CcMappingKey("NRPN Cut")), "-1");
  EXPECT_EQ(settings.Read(CcMappingKey("NRPN Res")), "-1");
  EXPECT_EQ(settings.Read(CcMappingKey("A1VolCC")), "");
}

TEST_F(PageModelTest, MasterRefreshReadsEveryStripAndLabelsTheBuses) {
  CreatePages();
  mixer.answers = {{"GetBusLevel(0)", 516 * 100}, {"GetMasterVolume(0)", 267},
                   {"GetMasterVolume(1)", 65535}, {"GetRecordLevel()", 65536 + 516 * 3},
                   {"IsBusRouted(1)", 1},         {"GetBusEffect(1)", 1},
                   {"IsBusRouted(2)", 1},         {"IsBusOnOutput(2)", 1}};
  test::RecordingView view;
  CPageModel& master = Page(1);
  master.AttachView(&view);
  master.OnPageShow();
  EXPECT_EQ(context.state.currentPage, 1);
  EXPECT_EQ(
      mixer.calls,
      (Calls{"GetBusLevel(0)",     "IsBusRouted(0)",   "GetBusMute(0)",      "GetBusLevel(1)",
             "IsBusRouted(1)",     "IsBusOnOutput(1)", "GetBusEffect(1)",    "GetBusMute(1)",
             "GetBusLevel(2)",     "IsBusRouted(2)",   "IsBusOnOutput(2)",   "GetBusOutput(2)",
             "GetBusMute(2)",      "GetBusLevel(3)",   "IsBusRouted(3)",     "GetBusMute(3)",
             "GetMasterVolume(0)", "GetMasterMute()",  "GetMasterVolume(1)", "GetMasterMute()",
             "GetRecordLevel()",   "GetRecordMute()"}));
  EXPECT_EQ(master.Label(0), "N/R");
  EXPECT_EQ(master.Label(1), "Chor");
  EXPECT_EQ(master.Label(2), "A1+2");
  EXPECT_EQ(master.Readout(0), "100");
  EXPECT_EQ(master.Readout(4), "64");
  EXPECT_EQ(master.Readout(5), "127");
  EXPECT_EQ(master.Readout(6), "3");
  EXPECT_EQ(view.faders.size(), 7u);
  EXPECT_EQ(view.faders[5], (std::pair<std::size_t, int>{5, 127}));
  EXPECT_EQ(view.shows, 1);
}

TEST_F(PageModelTest, AFailedBusReadLabelsAfterTheBusBeforeIt) {
  CreatePages();
  mixer.answers = {{"GetSendBus(4, 0, 0)", 2}, {"IsBusRouted(2)", 1}, {"GetBusEffect(2)", 5}};
  mixer.failing = {"GetSendBus(4, 0, 1)", "GetSendBus(4, 1, 0)"};
  CPageModel& users = Page(7);
  users.RefreshFromMixer();
  EXPECT_EQ(users.Label(0), "Ptch");
  EXPECT_EQ(users.Label(1), "Ptch");
  EXPECT_EQ(users.Label(4), "Ptch");
  EXPECT_EQ(users.Label(5), "N/R"); // GetSendBus(4, 1, 1) answers 0
  EXPECT_EQ(users.Label(2), "");
}

TEST_F(PageModelTest, PagesWithoutLabelsAskNoBus) {
  CreatePages();
  Page(4).RefreshFromMixer();
  for (const std::string& call : mixer.calls) {
    EXPECT_EQ(call.find("Bus"), std::string::npos) << call;
  }
  // Four volumes and pans, and the two volume strips' mutes.
  EXPECT_EQ(mixer.calls.size(), 10u);
}

TEST_F(PageModelTest, AFaderMoveSetsTheMixerThenSendsItsControlChange) {
  CreatePages();
  test::RecordingView view;
  CPageModel& master = Page(1);
  master.AttachView(&view);
  context.state.outputChannel = 2;
  master.Commit(std::vector<std::string>{"-1", "-1", "7", "-1", "-1", "-1", "-1"});
  master.MoveFader(2, 100);
  master.MoveFader(6, 10);
  EXPECT_EQ(mixer.calls, (Calls{"SetBusLevel(2, 51600)", "SetRecordLevel(5160)"}));
  EXPECT_EQ(sink.sent, (Calls{"B2 07 64"}));
  EXPECT_EQ(master.Readout(2), "100");
  EXPECT_EQ(master.Readout(6), "10");
  EXPECT_EQ(view.shows, 2);
  EXPECT_TRUE(view.faders.empty());
}

TEST_F(PageModelTest, GainFadersUseTheExponentialScale) {
  CreatePages();
  for (int v : {0, 1, 64, 127}) {
    Page(1).MoveFader(4, v);
  }
  Page(8).MoveFader(2, 0);
  EXPECT_EQ(mixer.calls,
            (Calls{"SetMasterVolume(0, 0)", "SetMasterVolume(0, 1)", "SetMasterVolume(0, 267)",
                   "SetMasterVolume(0, 65535)", "SetSourceVolume(4, 2, 0)"}));
}

TEST_F(PageModelTest, FilterFadersSendTheirSequenceEvenUnmapped) {
  CreatePages();
  CPageModel& user5 = Page(6);
  ASSERT_EQ(user5.Controller(4), -1);
  user5.MoveFader(4, 127);
  user5.MoveFader(5, 0);
  EXPECT_TRUE(mixer.calls.empty());
  EXPECT_EQ(sink.sent, (Calls{"B0 63 78", "B0 62 08", "B0 26 14", "B0 06 2C", "B0 63 78",
                              "B0 62 09", "B0 26 00", "B0 06 40"}));
  EXPECT_EQ(user5.Readout(4), "127");

  mixer.Clear();
  user5.OnPageShow();
  EXPECT_EQ(user5.Readout(4), "0");
  EXPECT_EQ(user5.FaderValue(4), 0);
  EXPECT_EQ(sink.sent.size(), 8u);
}

TEST_F(PageModelTest, ANumberOutsideTheControllerRangeIsNeverSent) {
  settings.Write(CcMappingKey("A1PanCC"), "300");
  CreatePages();
  Page(2).MoveFader(3, 5);
  EXPECT_TRUE(sink.sent.empty());
  Page(2).OnPageHide();
  EXPECT_EQ(settings.Read(CcMappingKey("A1PanCC")), "300");
}

TEST_F(PageModelTest, CommitVisitsFieldsInExchangeOrderAndStopsAtARefusal) {
  CreatePages();
  CPageModel& analog = Page(2);
  // Strips: A Aux 1, A Aux 2, A Vol, A Pan, B Aux 1, B Aux 2, B Vol, B Pan.
  // Exchange: A Aux 1, A Aux 2, A Pan, A Vol, B ...
  const std::vector<std::string> texts = {"1", "2", "3", "", "5", "6", "7", "8"};
  const CommitResult result = analog.Commit(texts);
  EXPECT_EQ(result.error, CommitError::NotInteger);
  EXPECT_EQ(result.strip, 3u);
  EXPECT_EQ(analog.Controller(0), 1);
  EXPECT_EQ(analog.Controller(1), 2);
  EXPECT_EQ(analog.Controller(2), -1); // Vol comes after Pan
  EXPECT_EQ(analog.Controller(4), -1);

  CPageModel& master = Page(1);
  const CommitResult refused =
      master.Commit(std::vector<std::string>{"5", "200", "7", "8", "9", "10", "11"});
  EXPECT_EQ(refused.error, CommitError::OutOfRange);
  EXPECT_EQ(refused.strip, 1u);
  EXPECT_EQ(master.Controller(0), 5);
  EXPECT_EQ(master.Controller(2), -1);
  EXPECT_EQ(master.Controller(4), -1);

  const CommitResult accepted =
      master.Commit(std::vector<std::string>{"-1", "127", "0", " 8 ", "9", "10", "11"});
  EXPECT_EQ(accepted.error, CommitError::None);
  EXPECT_EQ(master.Controller(1), 127);
  EXPECT_EQ(master.Controller(3), 8);
}

TEST(ParseFieldInteger, AcceptsOnlyWholeIntegers) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {{"0", 0},
                                                                  {"-1", -1},
                                                                  {" 42 ", 42},
                                                                  {"", std::nullopt},
                                                                  {"-", std::nullopt},
                                                                  {"12x", std::nullopt},
                                                                  {"1 2", std::nullopt},
                                                                  {"+5", std::nullopt},
                                                                  {"2147483647", 2147483647},
                                                                  {"99999999999", std::nullopt}};
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseFieldInteger(text), value) << text;
  }
}

TEST_F(PageModelTest, WithoutAMixerPagesKeepTheirValuesAndStillSendControlChanges) {
  context.mixer = nullptr;
  CreatePages();
  CPageModel& master = Page(1);
  master.Commit(std::vector<std::string>{"1", "-1", "-1", "-1", "-1", "-1", "-1"});
  master.MoveFader(0, 90);
  master.RefreshFromMixer();
  EXPECT_EQ(master.FaderValue(0), 90);
  EXPECT_EQ(master.Readout(0), "90");
  EXPECT_EQ(master.Label(0), "Aux 1");
  EXPECT_EQ(master.Label(3), "Aux 4");
  EXPECT_EQ(Page(2).Label(1), "Aux 2");
  EXPECT_EQ(sink.sent, (Calls{"B0 01 5A"}));
  master.ChooseEffect(0, 3);
  EXPECT_TRUE(mixer.calls.empty());
}

TEST_F(PageModelTest, EffectChoicesSetTheAuxEffectOnly) {
  CreatePages();
  Page(6).ChooseEffect(2, 15);
  Page(6).ChooseEffect(0, 0);
  EXPECT_EQ(mixer.calls, (Calls{"SetAuxEffect(2, 15)", "SetAuxEffect(0, 0)"}));
  EXPECT_TRUE(sink.sent.empty());
}

} // namespace
} // namespace vantrel
