#include "ui/dialog/dialog_units.h"

#include <QFontMetrics>

#include <cmath>

namespace vantrel::ui {

CDialogUnits::CDialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width over both alphabets, rounded as the template rules do.
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseX = std::max(1, (alphabet / 26 + 1) / 2);
  m_baseY = std::max(1, metrics.height());
}

int CDialogUnits::X(int units) const {
  return static_cast<int>(std::lround(units * m_baseX / 4.0));
}

int CDialogUnits::Y(int units) const {
  return static_cast<int>(std::lround(units * m_baseY / 8.0));
}

QRect CDialogUnits::Rect(int x, int y, int w, int h) const {
  const int left = X(x);
  const int top = Y(y);
  return {left, top, X(x + w) - left, Y(y + h) - top};
}

} // namespace vantrel::ui
