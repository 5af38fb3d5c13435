#include "midi/device_names.h"

#include <cctype>

namespace vantrel {

namespace {
bool AllDigits(std::string_view text) {
  if (text.empty()) {
    return false;
  }
  for (const char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
      return false;
    }
  }
  return true;
}
} // namespace

std::string_view NameWithoutAddress(std::string_view name) {
  const std::size_t space = name.rfind(' ');
  if (space == std::string_view::npos || space == 0) {
    return name;
  }
  const std::string_view address = name.substr(space + 1);
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || !AllDigits(address.substr(0, colon)) ||
      !AllDigits(address.substr(colon + 1))) {
    return name;
  }
  return name.substr(0, space);
}

std::optional<int32_t> FindDeviceByName(const std::vector<std::string>& names,
                                        std::string_view wanted) {
  if (wanted.empty()) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted) {
      return static_cast<int32_t>(i);
    }
  }
  const std::string_view stable = NameWithoutAddress(wanted);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (NameWithoutAddress(names[i]) == stable) {
      return static_cast<int32_t>(i);
    }
  }
  return std::nullopt;
}

std::string NameAtIndex(const std::vector<std::string>& names, int32_t index) {
  return index >= 0 && static_cast<std::size_t>(index) < names.size()
             ? names[static_cast<std::size_t>(index)]
             : std::string();
}

} // namespace vantrel
