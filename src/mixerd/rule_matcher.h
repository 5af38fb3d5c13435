#pragma once
// The regular expressions of mapping rules ("PROPERTY ~ EXPRESSION").
//
// Property values come from any program on the machine (a browser sets a
// tab's title as media.name), so a match must never recurse per character
// or backtrack: RE2 runs in time linear in the value and in bounded memory.
// Its syntax is the common Perl/ECMAScript one without backreferences and
// lookaround, which a linear engine cannot offer; such an expression is
// refused when the file is read, with RE2's reason.

#include <memory>
#include <string>
#include <string_view>

namespace re2 {
class RE2;
}

namespace vantrel::mixerd {

class RuleMatcher {
public:
  // The compiled expression, or an empty matcher with `error` set to a
  // sentence fragment saying why the expression cannot be used.
  static RuleMatcher Compile(std::string_view expression, std::string& error);

  RuleMatcher() = default;

  explicit operator bool() const { return m_expression != nullptr; }

  // True when the expression matches anywhere in `value`; an empty matcher
  // matches nothing.
  bool Search(std::string_view value) const;

private:
  // Shared: rules are copied with the configuration, the program is not.
  std::shared_ptr<const re2::RE2> m_expression;
};

} // namespace vantrel::mixerd
