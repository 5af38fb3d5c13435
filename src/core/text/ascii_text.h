#pragma once
// Text rules of the files the programs read (profile, mapping file): blanks
// are spaces and tabs, and names compare without regard to ASCII case.

#include <string_view>

namespace vantrel {

bool IsBlank(char c);
// The text without blanks at either end.
std::string_view TrimBlanks(std::string_view text);
char FoldAscii(char c);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace vantrel
