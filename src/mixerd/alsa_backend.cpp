#include "alsa_backend.h"

#include "echo_filter.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <iostream>

namespace vantrel::mixerd {

class AlsaBackend;

namespace {

constexpr std::array<snd_mixer_selem_channel_id_t, 2> kSides = {SND_MIXER_SCHN_FRONT_LEFT,
                                                                SND_MIXER_SCHN_FRONT_RIGHT};

// One simple element and how its volume is read and set.
struct Element {
  snd_mixer_elem_t* elem = nullptr;
  std::string name;
  int strip = -1;
  bool capture = false; // the capture volume, else the playback volume
  bool hasDb = false;
  long min = 0; // dB x 100 when hasDb, else raw
  long max = 0;
  EchoFilter echo;
  AlsaBackend* owner = nullptr;
  bool muted = false; // as last set or heard; a report that differs is an outside mute

  // The element's switch (on: sounding) on the side it drives, if it has one.
  bool HasSwitch() const {
    return capture ? snd_mixer_selem_has_capture_switch(elem) != 0
                   : snd_mixer_selem_has_playback_switch(elem) != 0;
  }
  // Muted when every side's switch is off.
  bool ReadMuted() const {
    for (const snd_mixer_selem_channel_id_t channel : kSides) {
      int on = 1;
      capture
          ? snd_mixer_selem_get_capture_switch(elem, Mono() ? SND_MIXER_SCHN_MONO : channel, &on)
          : snd_mixer_selem_get_playback_switch(elem, Mono() ? SND_MIXER_SCHN_MONO : channel, &on);
      if (on != 0) {
        return false;
      }
    }
    return true;
  }
  void SetMuted(bool mute) {
    muted = mute;
    capture ? snd_mixer_selem_set_capture_switch_all(elem, mute ? 0 : 1)
            : snd_mixer_selem_set_playback_switch_all(elem, mute ? 0 : 1);
  }

  bool Mono() const {
    return capture ? snd_mixer_selem_is_capture_mono(elem) != 0
                   : snd_mixer_selem_is_playback_mono(elem) != 0;
  }

  long Read(snd_mixer_selem_channel_id_t channel) const {
    long value = 0;
    if (hasDb) {
      capture ? snd_mixer_selem_get_capture_dB(elem, channel, &value)
              : snd_mixer_selem_get_playback_dB(elem, channel, &value);
    } else {
      capture ? snd_mixer_selem_get_capture_volume(elem, channel, &value)
              : snd_mixer_selem_get_playback_volume(elem, channel, &value);
    }
    return value;
  }

  std::vector<int64_t> Values() const {
    std::vector<int64_t> values;
    for (const snd_mixer_selem_channel_id_t channel : kSides) {
      values.push_back(Read(Mono() ? SND_MIXER_SCHN_MONO : channel));
    }
    return values;
  }

  double LevelOf(long value) const {
    if (value <= min) {
      return 0;
    }
    if (hasDb) {
      return std::pow(10.0, static_cast<double>(value) / 2000.0);
    }
    return static_cast<double>(value - min) / static_cast<double>(max - min);
  }

  long ValueOf(double level) const {
    if (hasDb) {
      if (level <= 0) {
        return min;
      }
      return std::clamp(std::lround(2000.0 * std::log10(level)), min, max);
    }
    return min + std::lround(std::clamp(level, 0.0, 1.0) * static_cast<double>(max - min));
  }

  SideLevels Levels() const {
    const std::vector<int64_t> values = Values();
    return {LevelOf(static_cast<long>(values[0])), LevelOf(static_cast<long>(values[1]))};
  }

  void Set(SideLevels levels) {
    const std::vector<int64_t> before = Values();
    const double sides[] = {levels.left, levels.right};
    for (std::size_t i = 0; i < kSides.size(); ++i) {
      const snd_mixer_selem_channel_id_t channel = Mono() ? SND_MIXER_SCHN_MONO : kSides[i];
      const double level = Mono() ? std::max(levels.left, levels.right) : sides[i];
      const long value = ValueOf(level);
      if (hasDb) {
        capture ? snd_mixer_selem_set_capture_dB(elem, channel, value, -1)
                : snd_mixer_selem_set_playback_dB(elem, channel, value, -1);
      } else {
        capture ? snd_mixer_selem_set_capture_volume(elem, channel, value)
                : snd_mixer_selem_set_playback_volume(elem, channel, value);
      }
    }
    echo.Sent(Values(), before, 0, EchoFilter::Clock::now());
  }
};

// alsa-lib prints its own complaints on standard error; the back end says
// what went wrong in one sentence of its own instead.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

} // namespace

class AlsaBackend final : public MixerBackend {
public:
  AlsaBackend(const MixerConfig& config, BackendListener& listener)
      : m_config(config), m_listener(listener) {}

  ~AlsaBackend() override { Close(); }

  AlsaBackend(const AlsaBackend&) = delete;
  AlsaBackend& operator=(const AlsaBackend&) = delete;

  // Opens the card's mixer and binds its elements; false with `why`.
  bool Open(std::string& why) {
    int result = snd_mixer_open(&m_mixer, 0);
    if (result >= 0) {
      result = snd_mixer_attach(m_mixer, m_config.card.c_str());
    }
    if (result >= 0) {
      result = snd_mixer_selem_register(m_mixer, nullptr, nullptr);
    }
    if (result >= 0) {
      result = snd_mixer_load(m_mixer);
    }
    if (result < 0) {
      Close();
      why = "the ALSA card \"" + m_config.card + "\" has no mixer that can be opened (" +
            snd_strerror(result) + ")";
      return false;
    }
    Bind();
    why = "the ALSA card \"" + m_config.card + "\" has a mixer";
    return true;
  }

  // The card has no mixer yet: tried again once a second from Poll, as
  // after an unplug.
  void WaitForCard() { m_nextTry = Clock::now() + kRetryDelay; }

  std::string_view Name() const override { return "alsa"; }

  std::string Status() const override {
    if (m_mixer == nullptr) {
      return "waiting for the ALSA card \"" + m_config.card + "\", trying once a second";
    }
    return "ALSA mixer of card \"" + m_config.card + "\"";
  }

  void Apply(int strip) override {
    if (m_mixer == nullptr) {
      m_changedWhileGone[static_cast<std::size_t>(strip)] = true;
      return;
    }
    const SideLevels levels = m_listener.StripLevels(strip);
    for (const auto& element : m_elements) {
      if (element->strip == strip) {
        element->Set(levels);
      }
    }
  }

  void ApplyMute(int strip) override {
    if (m_mixer == nullptr) {
      m_changedWhileGone[static_cast<std::size_t>(strip)] = true;
      return;
    }
    const bool muted = StripMuted(m_listener.State(), strip);
    for (const auto& element : m_elements) {
      if (element->strip == strip && element->HasSwitch()) {
        element->SetMuted(muted);
      }
    }
  }

  std::string MetersUnavailable() const override {
    return "the ALSA back end sees the card's mixer controls, not the sound through them, so it "
           "has no meters";
  }

  std::vector<BackendTarget> Targets() const override {
    std::vector<BackendTarget> targets;
    for (const auto& element : m_elements) {
      BackendTarget target{TargetKind::Element, element->name, element->strip, {}};
      target.properties.emplace_back(std::string(kElementNameProperty), element->name);
      target.properties.emplace_back("volume", element->capture ? "capture" : "playback");
      target.properties.emplace_back("scale", element->hasDb
                                                  ? "dB " + std::to_string(element->min / 100.0) +
                                                        ".." + std::to_string(element->max / 100.0)
                                                  : "raw " + std::to_string(element->min) + ".." +
                                                        std::to_string(element->max));
      targets.push_back(std::move(target));
    }
    return targets;
  }

  int Poll(std::span<pollfd> fds, int timeoutMs) override {
    if (m_mixer == nullptr) {
      return PollWhileGone(fds, timeoutMs);
    }
    const int count = snd_mixer_poll_descriptors_count(m_mixer);
    std::vector<pollfd> all(fds.begin(), fds.end());
    all.resize(fds.size() + static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0) {
      snd_mixer_poll_descriptors(m_mixer, all.data() + fds.size(), static_cast<unsigned>(count));
    }
    const int result = ::poll(all.data(), all.size(), timeoutMs);
    if (result < 0) {
      return result;
    }
    int serviceEvents = 0;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      fds[i].revents = all[i].revents;
      serviceEvents += all[i].revents != 0 ? 1 : 0;
    }
    if (count > 0) {
      unsigned short revents = 0;
      snd_mixer_poll_descriptors_revents(m_mixer, all.data() + fds.size(),
                                         static_cast<unsigned>(count), &revents);
      // An unplugged card hangs up its descriptors, which then never stop
      // being ready: close it rather than spin.
      if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ||
          (revents != 0 && snd_mixer_handle_events(m_mixer) < 0)) {
        Lose();
      }
    }
    return serviceEvents;
  }

private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kRetryDelay{1};

  // Binds the loaded mixer's elements to strips. Strips set while the card
  // was away drive it; every other bound strip takes the card's levels.
  void Bind() {
    std::vector<TargetProperties> targets;
    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(m_mixer); elem != nullptr;
         elem = snd_mixer_elem_next(elem)) {
      const bool playback = snd_mixer_selem_has_playback_volume(elem) != 0;
      const bool capture = snd_mixer_selem_has_capture_volume(elem) != 0;
      if (!playback && !capture) {
        continue;
      }
      auto element = std::make_unique<Element>();
      element->elem = elem;
      element->owner = this;
      element->name = snd_mixer_selem_get_name(elem);
      if (snd_mixer_selem_get_index(elem) > 0) {
        element->name += "," + std::to_string(snd_mixer_selem_get_index(elem));
      }
      element->capture = !playback;
      TargetProperties target;
      target.properties.emplace_back(std::string(kElementNameProperty), element->name);
      targets.push_back(std::move(target));
      m_elements.push_back(std::move(element));
    }
    const std::vector<int> strips = BindTargets(m_config, TargetKind::Element, targets);
    for (std::size_t i = 0; i < m_elements.size(); ++i) {
      Element& element = *m_elements[i];
      element.strip = strips[i];
      // Record drives the capture side of an element that has both.
      if (element.strip == kRecordStrip && snd_mixer_selem_has_capture_volume(element.elem)) {
        element.capture = true;
      }
      Measure(element);
      snd_mixer_elem_set_callback_private(element.elem, &element);
      snd_mixer_elem_set_callback(element.elem, &AlsaBackend::OnElementEvent);
      if (element.strip < 0) {
        continue;
      }
      const bool hasSwitch = element.HasSwitch();
      if (m_changedWhileGone[static_cast<std::size_t>(element.strip)]) {
        element.Set(m_listener.StripLevels(element.strip));
        if (hasSwitch) {
          element.SetMuted(StripMuted(m_listener.State(), element.strip));
        }
      } else {
        m_listener.OnStripLevels(element.strip, element.Levels());
        if (hasSwitch) {
          element.muted = element.ReadMuted();
          m_listener.OnStripMute(element.strip, element.muted);
        }
      }
    }
    m_changedWhileGone = {};
  }

  void Close() {
    m_elements.clear();
    if (m_mixer != nullptr) {
      snd_mixer_close(m_mixer);
      m_mixer = nullptr;
    }
  }

  // The card went away: its strips keep their values until it is back.
  void Lose() {
    Close();
    m_nextTry = Clock::now() + kRetryDelay;
    std::cerr << "vantrel-mixerd: the ALSA card \"" << m_config.card
              << "\" is gone; its strips keep their values until it is back.\n";
  }

  int PollWhileGone(std::span<pollfd> fds, int timeoutMs) {
    const auto untilTry = std::chrono::ceil<std::chrono::milliseconds>(m_nextTry - Clock::now());
    const int wait = static_cast<int>(std::max<int64_t>(untilTry.count(), 0));
    const int result =
        ::poll(fds.data(), fds.size(), timeoutMs < 0 ? wait : std::min(timeoutMs, wait));
    if (result >= 0 && Clock::now() >= m_nextTry) {
      std::string why;
      if (Open(why)) {
        std::cerr << "vantrel-mixerd: the ALSA card \"" << m_config.card << "\" is there.\n";
      } else {
        m_nextTry = Clock::now() + kRetryDelay;
      }
    }
    return result;
  }

  static void Measure(Element& element) {
    const snd_mixer_elem_t* elem = element.elem;
    auto* mutableElem = const_cast<snd_mixer_elem_t*>(elem);
    element.hasDb =
        (element.capture
             ? snd_mixer_selem_get_capture_dB_range(mutableElem, &element.min, &element.max)
             : snd_mixer_selem_get_playback_dB_range(mutableElem, &element.min, &element.max)) ==
            0 &&
        element.max > element.min;
    if (!element.hasDb) {
      element.capture
          ? snd_mixer_selem_get_capture_volume_range(mutableElem, &element.min, &element.max)
          : snd_mixer_selem_get_playback_volume_range(mutableElem, &element.min, &element.max);
    }
  }

  static int OnElementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    auto& element = *static_cast<Element*>(snd_mixer_elem_get_callback_private(elem));
    if (mask == SND_CTL_EVENT_MASK_REMOVE || (mask & SND_CTL_EVENT_MASK_VALUE) == 0 ||
        element.strip < 0 || element.max <= element.min) {
      return 0;
    }
    element.owner->OnElementChanged(element);
    return 0;
  }

  void OnElementChanged(Element& element) {
    if (element.HasSwitch()) {
      if (const bool muted = element.ReadMuted(); muted != element.muted) {
        element.muted = muted;
        m_listener.OnStripMute(element.strip, muted);
      }
    }
    const std::vector<int64_t> values = element.Values();
    // alsa-lib reads its own cache, which holds what was set at once: a
    // report is never older than a set, so only echoes are ignored.
    if (element.echo.Classify(values, 0, EchoFilter::Clock::now()) == EchoFilter::Report::Echo) {
      return;
    }
    m_listener.OnStripLevels(element.strip, element.Levels());
  }

  MixerConfig m_config;
  BackendListener& m_listener;
  snd_mixer_t* m_mixer = nullptr;
  std::vector<std::unique_ptr<Element>> m_elements;
  std::array<bool, kStripCount> m_changedWhileGone{};
  Clock::time_point m_nextTry{};
};

std::unique_ptr<MixerBackend> MakeAlsaBackend(const MixerConfig& config, BackendListener& listener,
                                              MissingCard missing, std::string& why) {
  snd_lib_error_set_handler(&IgnoreAlsaMessage);
  auto backend = std::make_unique<AlsaBackend>(config, listener);
  if (!backend->Open(why)) {
    if (missing == MissingCard::Refuse) {
      return nullptr;
    }
    why = "chosen, but " + why + "; trying again once a second";
    backend->WaitForCard();
  }
  return backend;
}

} // namespace vantrel::mixerd
