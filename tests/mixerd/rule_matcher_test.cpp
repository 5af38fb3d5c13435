// Mapping rules' regular expressions against hostile values and hostile
// expressions: answers in linear time, refusals with a reason.

#include "mixer_config.h"
#include "mixer_strips.h"
#include "rule_matcher.h"

#include "support/problem_report.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vantrel::mixerd {
namespace {

TEST(RuleMatcher, HostileValuesAndExpressionsAnswerWithoutRecursionOrBacktracking) {
  const std::string longTitle = std::string(40000, 'x') + " - YouTube";
  const std::string nearlyAs = std::string(64, 'a') + "b";
  struct Case {
    const char* expression;
    std::string value;
    bool matches;
  };
  const Case cases[] = {
      {".*YouTube", longTitle, true},     {".*YouTube$", std::string(40000, 'x'), false},
      {"(a+)+$", nearlyAs, false},        {"(a+)+b$", nearlyAs, true},
      {"^(a+)+$", nearlyAs, false},       {"^(a|aa)+$", std::string(5000, 'a'), true},
      {"^(music|video)$", "video", true}, {"^(music|video)$", "videos", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    std::string error;
    const RuleMatcher matcher = RuleMatcher::Compile(c.expression, error);
    ASSERT_TRUE(matcher) << error;
    EXPECT_EQ(matcher.Search(c.value), c.matches);
  }
}

TEST(RuleMatcher, UnsupportedOrOversizedExpressionsAreMappingFileErrors) {
  std::ostringstream errors;
  const MixerConfig config = ParseMixerConfig("[Wave]\n"
                                              "stream = media.name ~ (a)\\1\n"
                                              "stream = media.name ~ ^(?=x)\n"
                                              "stream = media.name ~ ((a{1000}){1000}){1000}\n"
                                              "stream = media.name ~ [z-a]\n"
                                              "stream = media.name ~ \xff(\n"
                                              "stream = media.name ~ ok\n",
                                              "m.ini", errors);
  test::ExpectReport(errors.str(),
                     {"m.ini:2: bad regular expression \"(a)\\1\"",
                      "backreferences and lookaround are not supported",
                      "m.ini:3: bad regular expression \"^(?=x)\"",
                      "m.ini:4: bad regular expression", "m.ini:5: bad regular expression",
                      "m.ini:6: bad regular expression"},
                     5);
  TargetProperties ok;
  ok.properties = {{"media.name", "ok"}};
  EXPECT_EQ(BindTargets(config, TargetKind::Stream, std::span(&ok, 1)),
            (std::vector<int>{SourceStrip(kSourceWave, 0)}));
}

} // namespace
} // namespace vantrel::mixerd
