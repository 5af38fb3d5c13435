#include "rule_matcher.h"

#include <re2/re2.h>

namespace vantrel::mixerd {

namespace {

// A mapping rule is a line of text; 1 MB per expression (RE2's own default
// is 8 MB) keeps a hostile file from taking memory while leaving room for
// every list of names anyone writes by hand. Past it RE2 refuses the
// expression, and a match that would need more falls back to its slower
// but still linear engine.
constexpr std::int64_t kMaxMemoryBytes = 1 << 20;

} // namespace

RuleMatcher RuleMatcher::Compile(std::string_view expression, std::string& error) {
  RE2::Options options;
  options.set_log_errors(false);
  options.set_never_capture(true);
  options.set_max_mem(kMaxMemoryBytes);
  auto compiled = std::make_shared<const re2::RE2>(
      re2::StringPiece(expression.data(), expression.size()), options);
  RuleMatcher matcher;
  if (!compiled->ok()) {
    error = compiled->error();
    if (compiled->error_code() == RE2::ErrorPatternTooLarge) {
      error += ": the expression needs too much memory";
    } else if (compiled->error_code() == RE2::ErrorBadEscape ||
               compiled->error_code() == RE2::ErrorBadPerlOp) {
      error += "; backreferences and lookaround are not supported";
    }
    return matcher;
  }
  matcher.m_expression = std::move(compiled);
  return matcher;
}

bool RuleMatcher::Search(std::string_view value) const {
  return m_expression != nullptr &&
         RE2::PartialMatch(re2::StringPiece(value.data(), value.size()), *m_expression);
}

} // namespace vantrel::mixerd
