// The pulse back end's connection: the main loop inside the service's poll,
// connecting and reconnecting, and the server's reports of its objects
// (coalesced info requests, the lists after connecting).

#include "pulse_backend_class.h"

#include "pulse_timer.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace vantrel::mixerd {

namespace {

constexpr std::chrono::seconds kRetryDelay{1};

} // namespace

// The service's descriptors join the loop's own in one poll.
int PulseBackend::PollThunk(pollfd* ufds, unsigned long nfds, int timeout, void* self) {
  auto& backend = *static_cast<PulseBackend*>(self);
  std::vector<pollfd>& all = backend.m_pollScratch;
  all.assign(backend.m_serviceFds.begin(), backend.m_serviceFds.end());
  all.insert(all.end(), ufds, ufds + nfds);
  const int result = ::poll(all.data(), all.size(), timeout);
  if (result < 0) {
    return result;
  }
  // This poll's own events only: the exit's wait runs the loop without
  // Poll, and a count left from before would hide the sound server's
  // replies from the loop, which would then spin on them unread.
  backend.m_serviceEvents = 0;
  const std::size_t own = backend.m_serviceFds.size();
  for (std::size_t i = 0; i < own; ++i) {
    backend.m_serviceFds[i].revents = all[i].revents;
    backend.m_serviceEvents += all[i].revents != 0 ? 1 : 0;
  }
  for (unsigned long i = 0; i < nfds; ++i) {
    ufds[i].revents = all[own + i].revents;
  }
  return result - backend.m_serviceEvents;
}

int PulseBackend::Poll(std::span<pollfd> fds, int timeoutMs) {
  m_serviceFds = fds;
  m_serviceEvents = 0;
  const int limitMs = INT_MAX / 1000;
  const int timeoutUsec = timeoutMs < 0 ? -1 : std::min(timeoutMs, limitMs) * 1000;
  if (pa_mainloop_prepare(m_loop, timeoutUsec) < 0 || pa_mainloop_poll(m_loop) < 0) {
    return errno == EINTR ? 0 : -1;
  }
  pa_mainloop_dispatch(m_loop);
  return m_serviceEvents;
}

void PulseBackend::Connect() {
  m_context = pa_context_new(Api(), "vantrel-mixerd");
  if (m_context == nullptr) {
    ScheduleRetry();
    return;
  }
  pa_context_set_state_callback(
      m_context, [](pa_context*, void* self) { static_cast<PulseBackend*>(self)->OnState(); },
      this);
  if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    OnLost();
  }
}

void PulseBackend::DropContext() {
  m_meters.OnLost();
  if (m_context != nullptr) {
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
  }
  m_requests.clear();
  m_settings.clear();
}

void PulseBackend::ScheduleRetry() {
  ArmPulseTimer(
      Api(), m_retry, kRetryDelay,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        auto& backend = *static_cast<PulseBackend*>(self);
        backend.DropContext();
        backend.Connect();
      },
      this);
}

void PulseBackend::OnState() {
  switch (pa_context_get_state(m_context)) {
  case PA_CONTEXT_READY:
    OnReady();
    break;
  case PA_CONTEXT_FAILED:
  case PA_CONTEXT_TERMINATED:
    OnLost();
    break;
  default:
    break;
  }
}

// Objects are forgotten; strips keep their values until the server is
// back, and those whose last value may not have landed give it again.
void PulseBackend::OnLost() {
  for (const auto& [key, setting] : m_settings) {
    const auto found = m_objects.find(key);
    if ((setting.inFlight || setting.next) && found != m_objects.end() &&
        found->second.strip >= 0) {
      m_unheard[static_cast<std::size_t>(found->second.strip)] = true;
    }
  }
  m_meters.OnLost();
  m_failedOnce = true;
  m_ready = false;
  m_listed = false;
  m_announced.clear();
  m_objects.clear();
  m_aux.OnLost();
  ScheduleRetry();
}

void PulseBackend::OnReady() {
  m_ready = true;
  m_serverAddress = pa_context_get_server(m_context) ? pa_context_get_server(m_context) : "?";
  pa_context_set_subscribe_callback(
      m_context,
      [](pa_context*, pa_subscription_event_type_t type, uint32_t index, void* self) {
        static_cast<PulseBackend*>(self)->OnEvent(type, index);
      },
      this);
  const auto mask = static_cast<pa_subscription_mask_t>(
      PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT |
      PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_MODULE);
  Done(pa_context_subscribe(m_context, mask, nullptr, nullptr));
  m_meters.OnReady(m_context, Api());
  // The server answers in order: defaults (and with them our modules),
  // devices, then streams.
  m_auxStarted = false;
  RequestServerInfo();
  Done(pa_context_get_sink_info_list(m_context, &PulseBackend::OnSinkListed, this));
  Done(pa_context_get_source_info_list(m_context, &PulseBackend::OnSourceListed, this));
  Done(pa_context_get_sink_input_info_list(m_context, &PulseBackend::OnStreamListed, this));
}

void PulseBackend::RequestServerInfo() {
  Done(pa_context_get_server_info(
      m_context,
      [](pa_context*, const pa_server_info* info, void* self) {
        if (info != nullptr) {
          static_cast<PulseBackend*>(self)->OnServerInfo(*info);
        }
      },
      this));
}

void PulseBackend::OnServerInfo(const pa_server_info& info) {
  m_serverName = std::string(info.server_name ? info.server_name : "?") + " " +
                 (info.server_version ? info.server_version : "");
  // PulseAudio's LADSPA sink refuses the effects' plugins and its
  // loopbacks take only sources, so there the buses play their effects dry
  // and streams send nothing. Its first null sink would become the default
  // of a server without sinks: there the buses wait for a sink of another.
  const bool pipeWire = m_serverName.find("PipeWire") != std::string::npos;
  const std::string defaultSink = info.default_sink_name ? info.default_sink_name : "";
  if (!m_auxStarted && (pipeWire || (!defaultSink.empty() && !PulseAux::IsOurs(defaultSink)))) {
    m_auxStarted = true;
    m_aux.OnReady(m_context, Api(), pipeWire);
  }
  const std::string sink = info.default_sink_name ? info.default_sink_name : "";
  const std::string source = info.default_source_name ? info.default_source_name : "";
  const bool changed = sink != m_defaultSink || source != m_defaultSource;
  m_defaultSink = sink;
  m_defaultSource = source;
  if (changed) {
    RebindDevices(TargetKind::Sink);
    RebindDevices(TargetKind::Source);
    SyncAux();
  }
}

void PulseBackend::OnEvent(pa_subscription_event_type_t type, uint32_t index) {
  const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const auto what = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
    RequestServerInfo();
    return;
  }
  if (facility == PA_SUBSCRIPTION_EVENT_MODULE) {
    if (what == PA_SUBSCRIPTION_EVENT_REMOVE && m_auxStarted) {
      m_aux.OnModuleGone(index);
    }
    return;
  }
  TargetKind kind = TargetKind::Stream;
  if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
    kind = TargetKind::Sink;
  } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE) {
    kind = TargetKind::Source;
  } else if (facility != PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
    return;
  }
  const Key key{kind, index};
  if (what == PA_SUBSCRIPTION_EVENT_REMOVE) {
    // The strip keeps its value. Records of requests still in flight go
    // when they are answered.
    const auto found = m_objects.find(key);
    const bool known = found != m_objects.end();
    // A stream that fed its strip's sends takes their loopbacks with it.
    const bool sent = known && kind == TargetKind::Stream && found->second.strip >= 0;
    if (known) {
      m_objects.erase(found);
    }
    if (kind == TargetKind::Stream && m_auxStarted) {
      m_aux.OnStreamGone(index);
    }
    if (const auto request = m_requests.find(key); request != m_requests.end()) {
      request->second.gone = request->second.inFlight;
      request->second.again = false;
    }
    ForgetIdle(key);
    if (known && kind != TargetKind::Stream) {
      RebindDevices(kind);
    }
    if (sent) {
      SyncAux();
    }
    return;
  }
  // The server announces only streams that came after our subscription.
  // The first list may hold such a stream before its announcement comes, or
  // the announcement may come first.
  if (kind == TargetKind::Stream && what == PA_SUBSCRIPTION_EVENT_NEW) {
    if (const auto found = m_objects.find(key);
        found != m_objects.end() && found->second.keptOwnVolume) {
      found->second.keptOwnVolume = false;
      TakeStripValue(found->second);
    } else if (!m_listed) {
      m_announced.insert(index);
    }
  }
  RequestInfo(key);
}

void PulseBackend::RequestInfo(const Key& key) {
  Request& request = m_requests[key];
  request.owner = this;
  request.key = key;
  request.gone = false;
  if (request.inFlight) {
    request.again = true;
    return;
  }
  request.inFlight = true;
  pa_operation* operation = nullptr;
  switch (key.first) {
  case TargetKind::Sink:
    operation = pa_context_get_sink_info_by_index(m_context, key.second, &PulseBackend::OnSinkInfo,
                                                  &request);
    break;
  case TargetKind::Source:
    operation = pa_context_get_source_info_by_index(m_context, key.second,
                                                    &PulseBackend::OnSourceInfo, &request);
    break;
  default:
    operation = pa_context_get_sink_input_info(m_context, key.second, &PulseBackend::OnStreamInfo,
                                               &request);
    break;
  }
  if (operation == nullptr) {
    request.inFlight = false;
  }
  Done(operation);
}

// Called at the end of each answer to a RequestInfo.
void PulseBackend::Answered(void* tag) {
  auto& request = *static_cast<Request*>(tag);
  request.inFlight = false;
  if (request.again) {
    request.again = false;
    request.owner->RequestInfo(request.key);
    return;
  }
  request.owner->ForgetIdle(request.key);
}

// Drops the request and volume records of an object that is gone (or was
// never kept) once nothing is in flight for it, so streams that come and
// go cost nothing after they went. The key is a copy: the caller's may
// live in the request record dropped here.
void PulseBackend::ForgetIdle(Key key) {
  if (m_objects.contains(key)) {
    return;
  }
  if (const auto request = m_requests.find(key);
      request != m_requests.end() && !request->second.inFlight) {
    m_requests.erase(request);
  }
  if (const auto setting = m_settings.find(key);
      setting != m_settings.end() && !setting->second.inFlight) {
    m_settings.erase(setting);
  }
}

void PulseBackend::OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* tag) {
  if (info != nullptr && !static_cast<Request*>(tag)->gone) {
    auto& self = *static_cast<Request*>(tag)->owner;
    self.OnDevice(TargetKind::Sink, info->index, info->name, info->proplist, info->channel_map,
                  info->volume, info->mute != 0, false, true);
  }
  if (eol != 0) {
    Answered(tag);
  }
}

void PulseBackend::OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* tag) {
  if (info != nullptr && !static_cast<Request*>(tag)->gone) {
    auto& self = *static_cast<Request*>(tag)->owner;
    self.OnDevice(TargetKind::Source, info->index, info->name, info->proplist, info->channel_map,
                  info->volume, info->mute != 0, info->monitor_of_sink != PA_INVALID_INDEX, true);
  }
  if (eol != 0) {
    Answered(tag);
  }
}

void PulseBackend::OnStreamInfo(pa_context*, const pa_sink_input_info* info, int eol, void* tag) {
  if (info != nullptr && !static_cast<Request*>(tag)->gone) {
    static_cast<Request*>(tag)->owner->OnStream(*info, false);
  }
  if (eol != 0) {
    Answered(tag);
  }
}

void PulseBackend::OnSinkListed(pa_context*, const pa_sink_info* info, int eol, void* self) {
  auto& backend = *static_cast<PulseBackend*>(self);
  if (info != nullptr) {
    backend.OnDevice(TargetKind::Sink, info->index, info->name, info->proplist, info->channel_map,
                     info->volume, info->mute != 0, false, false);
  }
  if (eol != 0) {
    backend.RebindDevices(TargetKind::Sink);
  }
}

void PulseBackend::OnSourceListed(pa_context*, const pa_source_info* info, int eol, void* self) {
  auto& backend = *static_cast<PulseBackend*>(self);
  if (info != nullptr) {
    backend.OnDevice(TargetKind::Source, info->index, info->name, info->proplist, info->channel_map,
                     info->volume, info->mute != 0, info->monitor_of_sink != PA_INVALID_INDEX,
                     false);
  }
  if (eol != 0) {
    backend.RebindDevices(TargetKind::Source);
  }
}

void PulseBackend::RelistStreams() {
  Done(pa_context_get_sink_input_info_list(
      m_context,
      [](pa_context*, const pa_sink_input_info* info, int, void* self) {
        if (info != nullptr) {
          static_cast<PulseBackend*>(self)->OnStream(*info, false);
        }
      },
      this));
}

void PulseBackend::OnStreamListed(pa_context*, const pa_sink_input_info* info, int eol,
                                  void* self) {
  auto& backend = *static_cast<PulseBackend*>(self);
  if (info != nullptr) {
    backend.OnStream(*info, true);
  }
  if (eol != 0) {
    backend.m_listed = true;
    backend.m_announced.clear();
    backend.SyncAux();
    // What was set while the server was away now reaches what is bound.
    for (int strip = 0; strip < kStripCount; ++strip) {
      if (backend.m_unheard[static_cast<std::size_t>(strip)]) {
        backend.Apply(strip);
      }
      if (backend.m_muteUnheard[static_cast<std::size_t>(strip)]) {
        backend.ApplyMute(strip);
      }
    }
  }
}

} // namespace vantrel::mixerd
