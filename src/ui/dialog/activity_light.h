#pragma once
// A small round light beside "MIDI In" that shows whether MIDI arrives. Its
// owner samples the input's counters on a timer and says whether anything
// came since the last look; the light repaints only when it goes on or off,
// so at most once per sample.

#include <QWidget>

namespace vantrel::ui {

class CActivityLight : public QWidget {
  Q_OBJECT
public:
  explicit CActivityLight(QWidget* parent);
  void SetLit(bool lit);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  bool m_lit = false;
};

} // namespace vantrel::ui
