#include "midi/device_watch.h"

#include "midi/jack_client.h"

#include <alsa/asoundlib.h>

#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

namespace vantrel {
namespace {

constexpr int kPollIntervalMilliseconds = 1000;

// Drains an eventfd or timerfd; true when it was signalled.
bool ReadCounter(int fd) {
  uint64_t count = 0;
  return read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

class JackDeviceWatch final : public IDeviceWatch {
public:
  int Fd() const override { return JackDeviceChangeFd(); }
  bool Acknowledge() override { return ReadCounter(Fd()); }
  // JACK notifies active clients only; a device port that is open has made
  // the client active already.
  void Follow() override {
    if (const std::shared_ptr<JackMidiClient> client = AcquireJackClient()) {
      client->Activate();
    }
  }
};

class PollingDeviceWatch final : public IDeviceWatch {
public:
  explicit PollingDeviceWatch(int fd) : m_fd(fd) {}
  ~PollingDeviceWatch() override { close(m_fd); }
  PollingDeviceWatch(const PollingDeviceWatch&) = delete;
  PollingDeviceWatch& operator=(const PollingDeviceWatch&) = delete;
  int Fd() const override { return m_fd; }
  bool Acknowledge() override { return ReadCounter(m_fd); }

private:
  int m_fd;
};

// A sequencer client of its own, subscribed to the system's announce port:
// the kernel tells it of every client and port that starts or exits. Its
// port is not exported and its client carries the bridge's name, so it
// never appears in any device list.
class AlsaAnnounceWatch final : public IDeviceWatch {
public:
  static std::unique_ptr<AlsaAnnounceWatch> Open() {
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
      return nullptr;
    }
    std::unique_ptr<AlsaAnnounceWatch> watch(new AlsaAnnounceWatch(seq));
    snd_seq_set_client_name(seq, kMidiClientName);
    const int port = snd_seq_create_simple_port(seq, "device watch",
                                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    pollfd descriptor{};
    if (port < 0 ||
        snd_seq_connect_from(seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0 ||
        snd_seq_poll_descriptors(seq, &descriptor, 1, POLLIN) != 1) {
      return nullptr;
    }
    watch->m_fd = descriptor.fd;
    return watch;
  }

  ~AlsaAnnounceWatch() override { snd_seq_close(m_seq); }
  AlsaAnnounceWatch(const AlsaAnnounceWatch&) = delete;
  AlsaAnnounceWatch& operator=(const AlsaAnnounceWatch&) = delete;

  int Fd() const override { return m_fd; }

  bool Acknowledge() override {
    bool changed = false;
    for (;;) {
      snd_seq_event_t* event = nullptr;
      const int result = snd_seq_event_input(m_seq, &event);
      if (result == -ENOSPC) {
        // The input pool overran: announcements were lost, so look anyway.
        changed = true;
        continue;
      }
      if (result < 0 || event == nullptr) {
        break;
      }
      changed = changed || IsDeviceListEvent(event->type);
    }
    return changed;
  }

private:
  explicit AlsaAnnounceWatch(snd_seq_t* seq) : m_seq(seq) {}

  snd_seq_t* m_seq;
  int m_fd = -1;
};

} // namespace

bool IsDeviceListEvent(int alsaEventType) {
  switch (alsaEventType) {
  case SND_SEQ_EVENT_CLIENT_START:
  case SND_SEQ_EVENT_CLIENT_EXIT:
  case SND_SEQ_EVENT_CLIENT_CHANGE:
  case SND_SEQ_EVENT_PORT_START:
  case SND_SEQ_EVENT_PORT_EXIT:
  case SND_SEQ_EVENT_PORT_CHANGE:
    return true;
  default:
    return false;
  }
}

std::unique_ptr<IDeviceWatch> MakePollingDeviceWatch(int intervalMilliseconds) {
  const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  itimerspec interval{};
  interval.it_interval.tv_sec = intervalMilliseconds / 1000;
  interval.it_interval.tv_nsec = static_cast<long>(intervalMilliseconds % 1000) * 1'000'000;
  interval.it_value = interval.it_interval;
  if (timerfd_settime(fd, 0, &interval, nullptr) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<PollingDeviceWatch>(fd);
}

std::unique_ptr<IDeviceWatch> MakeSystemDeviceWatch() {
  if (!CurrentMidiApiAvailable()) {
    return nullptr;
  }
  switch (CurrentMidiApi()) {
  case MidiApi::Jack:
    if (JackDeviceChangeFd() >= 0) {
      return std::make_unique<JackDeviceWatch>();
    }
    break;
  case MidiApi::Alsa:
    if (auto announce = AlsaAnnounceWatch::Open()) {
      return announce;
    }
    break;
  case MidiApi::None:
    return nullptr;
  }
  return MakePollingDeviceWatch(kPollIntervalMilliseconds);
}

} // namespace vantrel
