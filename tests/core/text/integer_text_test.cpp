#include "text/integer_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace vantrel {
namespace {

TEST(IntegerText, AWholeNumberIsASignAndDigitsWithinThirtyTwoBits) {
  const std::pair<std::string_view, int32_t> accepted[] = {
      {"0", 0},
      {"-1", -1},
      {"007", 7},
      {"2147483647", std::numeric_limits<int32_t>::max()},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
  };
  for (const auto& [text, value] : accepted) {
    EXPECT_EQ(ParseInt32(text), value) << '"' << text << '"';
  }
  for (const std::string_view text :
       {"2147483648", "-2147483649", "", "-", "+5", " 5", "5 ", "12x", "0x10", "1e3"}) {
    EXPECT_EQ(ParseInt32(text), std::nullopt) << '"' << text << '"';
  }
}

} // namespace
} // namespace vantrel
