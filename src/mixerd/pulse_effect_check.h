#pragma once
// A watch on what an effect plays. A LADSPA effect PipeWire has just built
// can end up with samples that are not numbers (NaN or infinite), or far
// beyond full scale, in its state under load, and from then on plays them
// on a channel whatever its input: the sink it plays into reads full scale
// on that channel for good. The watch records the effect's output stream as
// floats, at a low rate, and says once when a sample is either.

#include <pulse/pulseaudio.h>

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

private:
  static void OnRead(pa_stream* stream, size_t bytes, void* tag);

  pa_stream* m_stream = nullptr;
  std::function<void()> m_onBroken;
  bool m_said = false;
};

} // namespace vantrel::mixerd
