// The pulse back end's sets: mutes, and volumes throttled per object so a
// sweep never queues up behind the server.

#include "pulse_backend_class.h"

#include "pulse_timer.h"
#include "pulse_volume.h"

namespace vantrel::mixerd {

namespace {

// The shortest time between two volume sets to one object during a sweep:
// 200 a second is smoother than any ear can tell.
constexpr std::chrono::milliseconds kSetInterval{5};

} // namespace

void PulseBackend::SetMute(Object& object, bool muted) {
  if (m_context == nullptr || !m_ready) {
    return;
  }
  object.muteSettleUntil = Clock::now() + kRestoreWindow;
  const int flag = muted ? 1 : 0;
  switch (object.kind) {
  case TargetKind::Sink:
    Done(pa_context_set_sink_mute_by_index(m_context, object.index, flag, nullptr, nullptr));
    break;
  case TargetKind::Source:
    Done(pa_context_set_source_mute_by_index(m_context, object.index, flag, nullptr, nullptr));
    break;
  default:
    Done(pa_context_set_sink_input_mute(m_context, object.index, flag, nullptr, nullptr));
    break;
  }
}

// At most one volume set per object is in flight, and sets to one object
// go out at most every kSetInterval; newer values wait and only the newest
// goes out, so a fast sweep never queues up behind the server (PipeWire
// answers a set before it has applied it) and always ends on its last
// value.
void PulseBackend::SetVolume(Object& object, SideLevels levels) {
  if (m_context == nullptr || !m_ready) {
    return;
  }
  const Key key{object.kind, object.index};
  Setting& setting = m_settings[key];
  setting.owner = this;
  setting.key = key;
  setting.next = levels;
  SendWaiting(setting);
}

void PulseBackend::SendWaiting(Setting& setting) {
  if (setting.inFlight || !setting.next) {
    return;
  }
  const auto found = m_objects.find(setting.key);
  if (found == m_objects.end()) {
    setting.next.reset();
    return;
  }
  const auto now = Clock::now();
  if (now - setting.lastSent < kSetInterval) {
    ArmFlush();
    return;
  }
  Object& object = found->second;
  const pa_cvolume volume =
      VolumeOfLevels(object.map, *std::exchange(setting.next, std::nullopt), m_config.taper);
  if (!pa_cvolume_valid(&volume)) {
    return;
  }
  object.echo.Sent(VolumeValues(volume), VolumeValues(object.volume), kVolumeTolerance, now);
  pa_operation* operation = nullptr;
  switch (object.kind) {
  case TargetKind::Sink:
    operation = pa_context_set_sink_volume_by_index(m_context, object.index, &volume,
                                                    &PulseBackend::OnSet, &setting);
    break;
  case TargetKind::Source:
    operation = pa_context_set_source_volume_by_index(m_context, object.index, &volume,
                                                      &PulseBackend::OnSet, &setting);
    break;
  default:
    operation = pa_context_set_sink_input_volume(m_context, object.index, &volume,
                                                 &PulseBackend::OnSet, &setting);
    break;
  }
  setting.inFlight = operation != nullptr;
  setting.lastSent = now;
  Done(operation);
}

void PulseBackend::OnSet(pa_context*, int, void* tag) {
  auto& setting = *static_cast<Setting*>(tag);
  setting.inFlight = false;
  setting.owner->SendWaiting(setting);
  if (!setting.inFlight) {
    setting.owner->ForgetIdle(setting.key);
  }
}

// Sends what waited for kSetInterval to pass.
void PulseBackend::ArmFlush() {
  if (m_flushArmed) {
    return;
  }
  m_flushArmed = true;
  ArmPulseTimer(
      Api(), m_flush, kSetInterval,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        auto& backend = *static_cast<PulseBackend*>(self);
        backend.m_flushArmed = false;
        for (auto& [key, setting] : backend.m_settings) {
          backend.SendWaiting(setting);
        }
      },
      this);
}

} // namespace vantrel::mixerd
