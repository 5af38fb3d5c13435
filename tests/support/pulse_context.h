#pragma once
// A libpulse client of the tests' own, for what pactl cannot do: follow
// the server's events and answer them at once.

#include <pulse/pulseaudio.h>

#include <functional>
#include <utility>

namespace vantrel::test {

// A libpulse context on a threaded main loop of its own. `onReady` runs on
// the loop's thread once connected. Declare it after everything its
// callbacks touch: it is then built last and stops its loop first.
class PulseContext {
public:
  PulseContext(const char* name, std::function<void(pa_context*)> onReady)
      : m_onReady(std::move(onReady)), m_loop(pa_threaded_mainloop_new()),
        m_context(pa_context_new(pa_threaded_mainloop_get_api(m_loop), name)) {
    pa_context_set_state_callback(m_context, &PulseContext::OnState, this);
    pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    pa_threaded_mainloop_start(m_loop);
  }
  ~PulseContext() {
    pa_threaded_mainloop_stop(m_loop);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    pa_threaded_mainloop_free(m_loop);
  }
  PulseContext(const PulseContext&) = delete;
  PulseContext& operator=(const PulseContext&) = delete;

  // Waits until the context is connected (true) or has failed.
  bool WaitReady() const {
    pa_threaded_mainloop_lock(m_loop);
    pa_context_state_t state = pa_context_get_state(m_context);
    while (state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state)) {
      pa_threaded_mainloop_wait(m_loop);
      state = pa_context_get_state(m_context);
    }
    pa_threaded_mainloop_unlock(m_loop);
    return state == PA_CONTEXT_READY;
  }

  // Runs `work` on the context with the loop locked.
  void Locked(const std::function<void(pa_context*)>& work) const {
    pa_threaded_mainloop_lock(m_loop);
    work(m_context);
    pa_threaded_mainloop_unlock(m_loop);
  }

private:
  static void OnState(pa_context* context, void* self) {
    auto* pulse = static_cast<PulseContext*>(self);
    if (pa_context_get_state(context) == PA_CONTEXT_READY) {
      pulse->m_onReady(context);
    }
    pa_threaded_mainloop_signal(pulse->m_loop, 0);
  }

  std::function<void(pa_context*)> m_onReady;
  pa_threaded_mainloop* m_loop;
  pa_context* m_context;
};

} // namespace vantrel::test
