#pragma once
// A thin vertical level meter beside a fader: the peak of each side
// (one or two bars) from -60 dB at the foot to 0 dB at the top, green,
// yellow above -12 dB and red above -3 dB. Draws only what it is told;
// dialog thread only.

#include "mixer/meter_levels.h"

#include <QWidget>

#include <optional>

namespace vantrel::ui {

class CLevelMeter : public QWidget {
  Q_OBJECT
public:
  explicit CLevelMeter(QWidget* parent);

  // The reading to show, or none (nothing measures the strip: an empty
  // well).
  void SetReading(const mixer_dbus::MeterReading* reading);

  // The share of the height (0..1) a level fills.
  static double FillOf(int32_t level);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  std::optional<mixer_dbus::MeterReading> m_reading;
};

} // namespace vantrel::ui
