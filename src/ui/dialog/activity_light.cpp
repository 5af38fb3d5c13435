#include "ui/dialog/activity_light.h"

#include <QPainter>

namespace vantrel::ui {

CActivityLight::CActivityLight(QWidget* parent) : QWidget(parent) {
  setAccessibleName(tr("MIDI input activity"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void CActivityLight::SetLit(bool lit) {
  if (lit != m_lit) {
    m_lit = lit;
    update();
  }
}

void CActivityLight::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor lit(60, 200, 70);
  const QColor dark = palette().color(QPalette::Mid);
  painter.setPen(palette().color(QPalette::Dark));
  painter.setBrush(m_lit ? lit : dark);
  const int side = qMin(width(), height()) - 1;
  painter.drawEllipse(QRect((width() - side) / 2, (height() - side) / 2, side, side));
}

} // namespace vantrel::ui
