#include "settings/settings.h"
#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <optional>

namespace vantrel {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(ProfileInt, ParsesWithAtoiRulesAndSaturates) {
  const struct {
    std::string_view text;
    int32_t expected;
  } cases[] = {
      {"", 0},
      {"0", 0},
      {"127", 127},
      {"-1", -1},
      {"+5", 5},
      {" 12x", 12},
      {"\t\n\v\f\r 7", 7},
      {"abc", 0},
      {"-", 0},
      {"+-3", 0},
      {"- 3", 0},
      {"x12", 0},
      {"007", 7},
      {"1 2", 1},
      {"2147483647", kMax},
      {"-2147483648", kMin},
      {"2147483648", kMax},
      {"-2147483649", kMin},
      {"99999999999", kMax},
      {"-99999999999999999999999999", kMin},
      {"\xff"
       "5",
       0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseProfileInt(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ProfileInt, FormatsAsPercentIAndParsesBack) {
  for (int32_t value : {0, 1, -1, 127, 16, kMin, kMax}) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%i", value);
    EXPECT_EQ(FormatProfileInt(value), expected);
    EXPECT_EQ(ParseProfileInt(FormatProfileInt(value)), value);
  }
}

TEST(ProfilePath, FollowsXdgConfigHomeThenHomeThenTheCurrentFolder) {
  {
    test::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    test::ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(DefaultProfilePath("vantrel"), "/cfg/vantrel/vantrel.INI");
  }
  for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
    test::ScopedEnv config("XDG_CONFIG_HOME", ignored);
    test::ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(DefaultProfilePath("vantrel"), "/home/u/.config/vantrel/vantrel.INI");
  }
  {
    test::ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    test::ScopedEnv home("HOME", nullptr);
    testing::internal::CaptureStderr();
    const std::filesystem::path path = DefaultProfilePath("vantrel");
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(path, std::filesystem::current_path() / "vantrel.INI");
  }
}

} // namespace
} // namespace vantrel
