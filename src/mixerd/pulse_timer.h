#pragma once
// One-shot timers on the PulseAudio main loop.

#include <pulse/mainloop-api.h>
#include <pulse/timeval.h>

#include <chrono>

namespace vantrel::mixerd {

// Has `callback` run once, `delay` from now: restarts `timer` when there is
// one, else makes it. Whoever holds `timer` frees it with time_free.
inline void ArmPulseTimer(pa_mainloop_api* api, pa_time_event*& timer,
                          std::chrono::microseconds delay, pa_time_event_cb_t callback,
                          void* userdata) {
  timeval when{};
  pa_gettimeofday(&when);
  pa_timeval_add(&when, delay.count());
  if (timer != nullptr) {
    api->time_restart(timer, &when);
    return;
  }
  timer = api->time_new(api, &when, callback, userdata);
}

// The same, running `Method` of `self`.
template <auto Method, class Owner>
void ArmPulseTimer(pa_mainloop_api* api, pa_time_event*& timer, std::chrono::microseconds delay,
                   Owner* self) {
  ArmPulseTimer(
      api, timer, delay,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* tag) {
        (static_cast<Owner*>(tag)->*Method)();
      },
      self);
}

} // namespace vantrel::mixerd
