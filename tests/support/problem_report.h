#pragma once
// What a reader of a hand-edited file reports about it: one line per
// problem, each naming the file and line.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vantrel::test {

// Every phrase stands in `report`, which holds exactly `lines` lines.
inline void ExpectReport(const std::string& report, std::initializer_list<std::string_view> phrases,
                         std::ptrdiff_t lines) {
  for (const std::string_view phrase : phrases) {
    EXPECT_NE(report.find(phrase), std::string::npos) << phrase << "\n" << report;
  }
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), lines) << report;
}

} // namespace vantrel::test
