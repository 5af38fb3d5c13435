#pragma once
// A watch on what an effect plays. Under load, after new effects were
// built on PipeWire, the default sink has read full scale on one channel
// for good, whatever the effects' input; a plugin whose state holds NaN,
// infinities or runaway values does exactly that. The watch records the
// effect's output stream as floats, at a low rate, and says once when a
// sample is not a number or far beyond full scale.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <functional>

namespace vantrel::mixerd {

class EffectCheck {
public:
  // Watches sink input `stream`. `onBroken` runs from the read callback, so
  // it must not destroy the check itself there.
  EffectCheck(pa_context* context, uint32_t stream, std::function<void()> onBroken);
  ~EffectCheck();
  EffectCheck(const EffectCheck&) = delete;
  EffectCheck& operator=(const EffectCheck&) = delete;

  // Whether the check failed, or has heard nothing for a while from an
  // effect that plays: PipeWire can leave a new monitor stream unfed, and
  // the check must then be made again (under load a broken effect went on
  // playing unseen).
  bool Starved(std::chrono::steady_clock::time_point now) const;

private:
  static void OnRead(pa_stream* stream, size_t bytes, void* tag);

  pa_stream* m_stream = nullptr;
  std::chrono::steady_clock::time_point m_lastData = std::chrono::steady_clock::now();
  std::function<void()> m_onBroken;
  bool m_said = false;
};

} // namespace vantrel::mixerd
