#pragma once
// Dialog units to pixels, from a font's metrics, the way dialog templates
// are laid out: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its character height. The
// windows therefore keep their proportions at any font size or scale.

#include <QFont>
#include <QRect>

namespace vantrel::ui {

class CDialogUnits {
public:
  explicit CDialogUnits(const QFont& font);

  int X(int units) const;
  int Y(int units) const;
  QRect Rect(int x, int y, int w, int h) const;

private:
  int m_baseX; // average character width in pixels
  int m_baseY; // character height in pixels
};

} // namespace vantrel::ui
