#include "pulse_effect_check.h"

#include <cmath>
#include <cstring>

namespace vantrel::mixerd {
namespace {

// Low enough to cost nothing; a NaN or an infinity survives the resampler
// and the mix down to one channel.
constexpr uint32_t kCheckRate = 1000;
constexpr char kStreamName[] = "Vantrel effect check";
// +80 dB over full scale: far beyond what sound through an effect reaches
// (a half-scale sine through the default reverb at unity peaks at 0.93),
// with room for resonant effects driven hot.
constexpr float kBeyondAnySound = 1.0e4F;
// A check's first data comes within a few tenths of a second under load.
constexpr std::chrono::seconds kPatience{2};

} // namespace

EffectCheck::EffectCheck(pa_context* context, uint32_t stream, std::function<void()> onBroken)
    : m_onBroken(std::move(onBroken)) {
  const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kCheckRate, 1};
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, kStreamName);
  m_stream = pa_stream_new_with_proplist(context, kStreamName, &format, nullptr, properties);
  pa_proplist_free(properties);
  if (m_stream == nullptr) {
    return;
  }
  pa_stream_set_read_callback(m_stream, &EffectCheck::OnRead, this);
  pa_stream_set_monitor_stream(m_stream, stream);
  pa_buffer_attr attributes{};
  std::memset(&attributes, 0xff, sizeof attributes);
  attributes.fragsize = sizeof(float) * kCheckRate / 10;
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                    PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
  // A check that cannot start is made again (Starved).
  pa_stream_connect_record(m_stream, nullptr, &attributes, flags);
}

EffectCheck::~EffectCheck() {
  if (m_stream != nullptr) {
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
  }
}

bool EffectCheck::Starved(std::chrono::steady_clock::time_point now) const {
  if (m_stream == nullptr) {
    return true;
  }
  switch (pa_stream_get_state(m_stream)) {
  case PA_STREAM_FAILED:
  case PA_STREAM_TERMINATED:
    return true;
  case PA_STREAM_READY:
    // A suspended effect plays nothing to hear.
    return pa_stream_is_suspended(m_stream) == 0 && now - m_lastData > kPatience;
  default:
    return now - m_lastData > kPatience;
  }
}

void EffectCheck::OnRead(pa_stream* stream, size_t /*bytes*/, void* tag) {
  auto& check = *static_cast<EffectCheck*>(tag);
  check.m_lastData = std::chrono::steady_clock::now();
  bool broken = false;
  for (;;) {
    const void* data = nullptr;
    size_t length = 0;
    if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) {
      break;
    }
    const auto* bytes = static_cast<const char*>(data);
    for (size_t at = 0; bytes != nullptr && at + sizeof(float) <= length; at += sizeof(float)) {
      float sample = 0;
      std::memcpy(&sample, bytes + at, sizeof sample);
      broken = broken || !std::isfinite(sample) || std::fabs(sample) > kBeyondAnySound;
    }
    pa_stream_drop(stream);
  }
  if (broken && !check.m_said) {
    check.m_said = true;
    check.m_onBroken();
  }
}

} // namespace vantrel::mixerd
