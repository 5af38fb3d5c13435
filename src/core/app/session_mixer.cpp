#include "app/session_mixer.h"

#include "state/bridge_context.h"

#include <utility>

namespace vantrel {

CSessionMixer::CSessionMixer(CMixerLink& link, BridgeContext& context)
    : m_link(link), m_context(context) {}

bool CSessionMixer::Connect() {
  m_link.Startup();
  m_link.Create();
  Follow();
  return m_context.mixer != nullptr;
}

void CSessionMixer::Follow() {
  if (!m_released) {
    m_context.mixer = m_link.Server();
  }
}

MixerEventWatch CSessionMixer::EventWatch() const {
  return m_released ? MixerEventWatch{} : m_link.EventWatch();
}

CMixerMirror::Slots CSessionMixer::ProcessEvents() {
  if (m_released) {
    return {};
  }
  m_link.ProcessEvents();
  Follow();
  if (std::string notice = m_link.TakeNotice(); !notice.empty()) {
    m_notices.push_back(std::move(notice));
  }
  if (std::string notice = m_link.TakeMeterNotice(MeterViewer::Window); !notice.empty()) {
    m_notices.push_back(std::move(notice));
  }
  return m_link.TakeChangedValues();
}

bool CSessionMixer::TakeMetersChanged() {
  const uint64_t count = m_link.MeterUpdateCount();
  return std::exchange(m_metersShown, count) != count;
}

void CSessionMixer::SetEventWatchListener(std::function<void()> listener) {
  m_link.SetWatchListener(std::move(listener));
}

std::vector<std::string> CSessionMixer::TakeNotices() {
  return std::exchange(m_notices, {});
}

void CSessionMixer::Release() {
  m_released = true;
  m_context.mixer = nullptr;
  m_link.SetWatchListener(nullptr);
  m_link.Release();
  m_link.Shutdown();
}

} // namespace vantrel
