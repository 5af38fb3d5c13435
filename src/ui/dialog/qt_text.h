#pragma once
// The core's text (UTF-8) as Qt shows it.

#include <QString>

#include <string_view>

namespace vantrel::ui {

inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace vantrel::ui
