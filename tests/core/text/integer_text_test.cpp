#include "text/integer_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace vantrel {
namespace {

TEST(IntegerText, AWholeNumberIsASignAndDigitsWithinThirtyTwoBits) {
  const std::pair<std::string_view, std::optional<int32_t>> cases[] = {
      {"0", 0},
      {"-1", -1},
      {"007", 7},
      {"2147483647", std::numeric_limits<int32_t>::max()},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+5", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"12x", std::nullopt},
      {"0x10", std::nullopt},
      {"1e3", std::nullopt},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseInt32(text), value) << '"' << text << '"';
  }
}

} // namespace
} // namespace vantrel
