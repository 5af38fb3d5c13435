#include "ui/pages/level_meter.h"

#include <QPainter>

#include <algorithm>

namespace vantrel::ui {

namespace {

// The scale's foot and the colour bands, in hundredths of a dB.
constexpr int32_t kFloor = -6000;
constexpr int32_t kYellowFrom = -1200;
constexpr int32_t kRedFrom = -300;

} // namespace

CLevelMeter::CLevelMeter(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Read by the fader's tooltip and accessible name instead; a meter takes
  // no focus and no clicks.
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

double CLevelMeter::FillOf(int32_t level) {
  return std::clamp(static_cast<double>(level - kFloor) / -kFloor, 0.0, 1.0);
}

void CLevelMeter::SetReading(const mixer_dbus::MeterReading* reading) {
  const std::optional<mixer_dbus::MeterReading> next =
      reading != nullptr ? std::optional(*reading) : std::nullopt;
  const bool same =
      next.has_value() == m_reading.has_value() &&
      (!next || (next->sides == m_reading->sides && next->sideCount == m_reading->sideCount));
  m_reading = next;
  if (!same) {
    const QString text = m_reading && m_reading->Peak() > mixer_dbus::kMeterSilence
                             ? tr("Level %1 dB").arg(m_reading->Peak() / 100.0, 0, 'f', 1)
                             : (m_reading ? tr("Silent") : tr("Not measured"));
    setToolTip(text);
    setAccessibleName(text);
    update();
  }
}

void CLevelMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  if (!m_reading || m_reading->sideCount == 0) {
    return;
  }
  const int bars = static_cast<int>(m_reading->sideCount);
  const int height = rect().height();
  for (int side = 0; side < bars; ++side) {
    const int left = rect().width() * side / bars;
    const int right = rect().width() * (side + 1) / bars;
    const int32_t level = m_reading->sides[static_cast<std::size_t>(side)];
    const int top = height - static_cast<int>(FillOf(level) * height);
    // Each band drawn up to the level, so a loud peak shows all three.
    const struct {
      int32_t from;
      QColor color;
    } bands[] = {{kFloor, QColor(0x2e, 0xb8, 0x4b)},
                 {kYellowFrom, QColor(0xe8, 0xc5, 0x20)},
                 {kRedFrom, QColor(0xe0, 0x30, 0x30)}};
    for (std::size_t band = 0; band < std::size(bands); ++band) {
      const int bandBottom = height - static_cast<int>(FillOf(bands[band].from) * height);
      const int bandTop = band + 1 < std::size(bands)
                              ? height - static_cast<int>(FillOf(bands[band + 1].from) * height)
                              : 0;
      const int from = std::max(top, bandTop);
      if (from < bandBottom) {
        painter.fillRect(QRect(left, from, right - left, bandBottom - from), bands[band].color);
      }
    }
  }
}

} // namespace vantrel::ui
