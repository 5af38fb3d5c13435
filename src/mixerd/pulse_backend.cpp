#include "pulse_backend.h"

#include "pulse_backend_class.h"

#include <algorithm>
#include <cerrno>

namespace vantrel::mixerd {

namespace {

// How long the exit waits for the server to unload the aux modules.
constexpr std::chrono::seconds kUnloadWait{1};

} // namespace

PulseBackend::PulseBackend(const MixerConfig& config, BackendListener& listener)
    : m_config(config), m_listener(listener), m_loop(pa_mainloop_new()) {
  pa_mainloop_set_poll_func(m_loop, &PulseBackend::PollThunk, this);
  Connect();
}

PulseBackend::~PulseBackend() {
  // The buses, routes, sends and effects go with the service.
  m_serviceFds = {};
  m_aux.UnloadAll();
  const auto end = Clock::now() + kUnloadWait;
  while (m_aux.Busy() && m_context != nullptr && Clock::now() < end) {
    if (pa_mainloop_iterate(m_loop, 1, nullptr) < 0) {
      break;
    }
  }
  DropContext();
  for (pa_time_event* timer : {m_retry, m_flush}) {
    if (timer != nullptr) {
      Api()->time_free(timer);
    }
  }
  pa_mainloop_free(m_loop);
}

bool PulseBackend::WaitForServer(std::chrono::milliseconds wait) {
  const auto end = Clock::now() + wait;
  while (!m_listed && !m_failedOnce && Clock::now() < end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (Poll({}, static_cast<int>(std::max<int64_t>(left.count(), 0))) < 0 && errno != EINTR) {
      break;
    }
  }
  return m_ready;
}

std::string PulseBackend::Status() const {
  if (!m_ready) {
    return "waiting for a sound server (PulseAudio or PipeWire), trying once a second";
  }
  return m_serverName + " at " + m_serverAddress;
}

// A strip set while it drives nothing (the server away or still listing
// its objects, or no object bound) gives its value to the next object
// that comes to it, instead of taking that object's volume.
void PulseBackend::Apply(int strip) {
  bool heard = false;
  if (m_listed) {
    const SideLevels levels = m_listener.StripLevels(strip);
    for (auto& [key, object] : m_objects) {
      if (object.strip == strip) {
        SetVolume(object, levels);
        heard = true;
      }
    }
  }
  m_unheard[static_cast<std::size_t>(strip)] = !heard;
}

void PulseBackend::ApplyMute(int strip) {
  bool heard = false;
  if (m_listed) {
    const bool muted = StripMuted(m_listener.State(), strip);
    for (auto& [key, object] : m_objects) {
      if (object.strip == strip) {
        SetMute(object, muted);
        heard = true;
      }
    }
  }
  m_muteUnheard[static_cast<std::size_t>(strip)] = !heard;
}

std::vector<BackendTarget> PulseBackend::Targets() const {
  std::vector<BackendTarget> targets =
      m_auxStarted ? m_aux.Targets() : std::vector<BackendTarget>{};
  for (const auto& [key, object] : m_objects) {
    targets.push_back({object.kind, object.name, object.strip, object.target.properties});
    if (object.target.isDefault) {
      targets.back().properties.emplace_back("default", "yes");
    }
    if (object.target.isMonitor) {
      targets.back().properties.emplace_back("monitor", "yes");
    }
    if (object.target.appNumber > 0) {
      targets.back().properties.emplace_back("app", "#" + std::to_string(object.target.appNumber));
    }
  }
  return targets;
}

std::vector<MeterSource> PulseBackend::MeterSources() const {
  std::vector<MeterSource> sources;
  for (const auto& [key, object] : m_objects) {
    if (auto source = MeterSourceOf(object.kind, object.index, object.name, object.strip)) {
      sources.push_back(std::move(*source));
    }
  }
  return sources;
}

std::unique_ptr<MixerBackend> MakePulseBackend(const MixerConfig& config, BackendListener& listener,
                                               std::chrono::milliseconds wait, bool& answered) {
  auto backend = std::make_unique<PulseBackend>(config, listener);
  answered = backend->WaitForServer(wait);
  return backend;
}

} // namespace vantrel::mixerd
