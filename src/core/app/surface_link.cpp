#include "app/surface_link.h"

#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "mixer/mixer_link.h"
#include "mixer/mixer_server.h"
#include "mixer/mute_targets.h"
#include "state/bridge_context.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>

namespace vantrel {

namespace {

CUniqueFd MadeOrThrow(int fd, const char* what) {
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(), what);
  }
  return CUniqueFd(fd);
}

} // namespace

CSurfaceLink::CSurfaceLink(BridgeContext& context, CBridgeMidiIn& input, CMidiOutPort& output,
                           CMixerLink& mixerLink)
    : m_context(context), m_input(input), m_output(output), m_mixerLink(mixerLink),
      m_timer(MadeOrThrow(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC),
                          "Cannot create the surface's timer")),
      m_epoll(MadeOrThrow(epoll_create1(EPOLL_CLOEXEC), "Cannot create the surface's watch")),
      m_surface(context, output), m_handshake(output) {
  for (const int fd : {m_queue.WakeFd(), m_timer.Get()}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd, &event) != 0) {
      throw std::system_error(errno, std::generic_category(), "Cannot watch the surface");
    }
  }
}

void CSurfaceLink::SetOn(bool on) {
  if (on == m_on) {
    return;
  }
  m_on = on;
  m_input.SetSurfaceQueue(on ? &m_queue : nullptr);
  if (!on) {
    m_handshake.Stop();
  }
  // The surface's meters; the server measures only while someone asks.
  m_mixerLink.SetMetersWanted(MeterViewer::Surface, on);
  if (on && m_output.IsOpen()) {
    OutputOpened();
  }
}

void CSurfaceLink::OnReady() {
  m_queue.AcknowledgeWake();
  uint64_t expirations = 0;
  [[maybe_unused]] const ssize_t got = read(m_timer.Get(), &expirations, sizeof expirations);
  CMidiMessage message;
  IMixerServer* mixer = m_context.mixer;
  // What one drain sets leaves for the mixer as one batch, in order.
  if (mixer != nullptr) {
    mixer->BeginBatch();
  }
  const auto now = CMackieSurface::Clock::now();
  while (m_queue.Pop(message)) {
    if (m_on) {
      m_surface.OnMessage(message, now);
    }
  }
  CExclusiveMessage exclusive;
  while (m_queue.PopExclusive(exclusive)) {
    if (m_on) {
      Say(m_handshake.OnExclusive(exclusive.View()));
    }
  }
  if (mixer != nullptr && m_context.mixer == mixer) {
    mixer->EndBatch();
  }
  Follow();
}

void CSurfaceLink::Follow() {
  if (!m_on) {
    return;
  }
  const auto now = CMackieSurface::Clock::now();
  if (now >= m_namesDue) {
    AskForNames(now);
  }
  m_surface.Refresh(now);
  MeterUpdate meters;
  while (m_mixerLink.TakeMeterUpdate(meters)) {
    m_surface.ShowMeters(meters);
  }
  if (const std::string notice = m_mixerLink.TakeMeterNotice(MeterViewer::Surface);
      !notice.empty()) {
    std::printf("Surface: %s\n", notice.c_str());
    std::fflush(stdout);
  }
  Say(m_handshake.Check(now));
  Arm();
}

void CSurfaceLink::Say(CSurfaceHandshake::News news) {
  if (news == CSurfaceHandshake::News::Silent) {
    std::fprintf(stderr, "vantrel: %s\n", kSurfaceSilentNotice.data());
  } else if (news == CSurfaceHandshake::News::Answered) {
    std::printf("Surface: answers (%s).\n", m_handshake.Answer().c_str());
    std::fflush(stdout);
  }
}

std::string_view CSurfaceLink::Notice() const {
  return m_handshake.Silent() ? kSurfaceSilentNotice : std::string_view();
}

void CSurfaceLink::AskForNames(CMackieSurface::Clock::time_point now) {
  m_namesDue = now + kNamesInterval;
  m_mixerLink.RequestStripApplications(
      [self = std::weak_ptr<CMackieSurface*>(m_self)](CMixerLink::StripApplications found) {
        const std::shared_ptr<CMackieSurface*> surface = self.lock();
        if (!surface) {
          return;
        }
        const auto& channels = SurfaceChannels();
        for (std::size_t channel = 0; channel < channels.size(); ++channel) {
          const std::string_view strip = kMutes[channels[channel].mute].strip;
          std::string name;
          for (const auto& [boundStrip, application] : found) {
            if (boundStrip == strip) {
              name = application;
              break;
            }
          }
          (*surface)->SetBoundName(channel, std::move(name));
        }
      });
}

void CSurfaceLink::OutputOpened() {
  if (!m_on) {
    return;
  }
  m_surface.Forget();
  m_handshake.Query(CMackieSurface::Clock::now());
  Follow();
}

void CSurfaceLink::Arm() {
  const auto now = CMackieSurface::Clock::now();
  const auto namesIn = std::chrono::ceil<std::chrono::milliseconds>(m_namesDue - now);
  const auto due = std::min({m_surface.NextDue(now).value_or(namesIn),
                             m_handshake.NextDue(now).value_or(namesIn), namesIn});
  // A zero value would disarm the timer: what is due now waits a moment.
  const long nanos = std::max<long>(due.count() * 1000000L, 100000L);
  itimerspec wakeAt{};
  wakeAt.it_value.tv_sec = nanos / 1000000000L;
  wakeAt.it_value.tv_nsec = nanos % 1000000000L;
  timerfd_settime(m_timer.Get(), 0, &wakeAt, nullptr);
}

} // namespace vantrel
