#pragma once
// Integers in the text of files, fields and command lines: the one home of
// integer parsing, so every reader agrees on what a number is.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// A whole decimal integer: an optional '-' and digits, nothing before or
// after, within 32 bits. Anything else is nothing.
std::optional<int32_t> ParseInt32(std::string_view text);

// atoi rules, as profile values have always been read: leading white space
// skipped, optional sign, leading decimal digits; no digits gives 0. Values
// beyond 32 bits saturate.
int32_t ParseProfileInt(std::string_view text);
// "%i" of a signed 32-bit integer.
std::string FormatProfileInt(int32_t value);

} // namespace vantrel
