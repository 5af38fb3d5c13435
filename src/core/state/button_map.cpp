#include "state/button_map.h"

#include "text/ascii_text.h"
#include "text/integer_text.h"

#include <algorithm>
#include <vector>

namespace vantrel {

namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) {
      break;
    }
    const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
    words.push_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

} // namespace

std::optional<ButtonBinding> ParseButtonBinding(std::string_view text) {
  const std::vector<std::string_view> words = Words(text);
  if (words.size() == 1 && words[0] == "-1") {
    return ButtonBinding{};
  }
  if (words.size() != 2 && words.size() != 3) {
    return std::nullopt;
  }
  ButtonBinding binding;
  if (EqualsIgnoringAsciiCase(words[0], "CC")) {
    binding.kind = ButtonBinding::Kind::Controller;
  } else if (EqualsIgnoringAsciiCase(words[0], "Note")) {
    binding.kind = ButtonBinding::Kind::Note;
  } else {
    return std::nullopt;
  }
  const std::optional<int32_t> number = ParseInt32(words[1]);
  if (!number || *number < 0 || *number > 127) {
    return std::nullopt;
  }
  binding.number = static_cast<uint8_t>(*number);
  if (words.size() == 3) {
    if (!EqualsIgnoringAsciiCase(words[2], "latch")) {
      return std::nullopt;
    }
    binding.latch = true;
  }
  return binding;
}

std::string FormatButtonBinding(const ButtonBinding& binding) {
  if (!binding.IsMapped()) {
    return "-1";
  }
  std::string text = binding.kind == ButtonBinding::Kind::Note ? "Note " : "CC ";
  text += std::to_string(binding.number);
  if (binding.latch) {
    text += " latch";
  }
  return text;
}

} // namespace vantrel
