#pragma once
// Level meters on the sound server: while metering is on, one peak-detecting
// record stream per measured object (a source, a sink's monitor, or a
// playback stream through the monitor of its sink), at a low rate, and one
// MeterFrame every 1/kMeterUpdatesPerSecond s with each strip's and bus's
// loudest recent peak. What is measured is asked of the back end at
// each update, so objects that come and go get and lose their meter within
// one update. A stream the server stops feeding while its object plays is
// made again. Off, or without a server, no stream of ours exists.

#include "mixer_backend.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::mixerd {

// One object to measure for a meter (a strip, or BusMeter(bus)): a playback
// stream (its sink input index) or else a source by name.
struct MeterSource {
  int meter = 0;
  uint32_t stream = PA_INVALID_INDEX;
  std::string device;

  auto operator<=>(const MeterSource&) const = default;
};

// What measures an object the back end sees, bound to `strip` (-1: none):
// a stream itself, a source, or a sink's monitor; an aux bus's sink is
// measured for its bus. Nullopt for an object no meter shows.
std::optional<MeterSource> MeterSourceOf(TargetKind kind, uint32_t index, const std::string& name,
                                         int strip);

class PulseMeters {
public:
  using Sources = std::function<std::vector<MeterSource>()>;

  PulseMeters(BackendListener& listener, Sources sources);
  ~PulseMeters();
  PulseMeters(const PulseMeters&) = delete;
  PulseMeters& operator=(const PulseMeters&) = delete;

  // The context is ready; meters start if they are on. `api` is the loop's.
  void OnReady(pa_context* context, pa_mainloop_api* api);
  // The context goes: every stream and the timer are dropped at once.
  void OnLost();
  void SetOn(bool on);

private:
  struct Meter;
  using Clock = std::chrono::steady_clock;
  void StartTimer();
  void StopAll();
  void Tick();
  void Sync();
  // `patience`: how long the stream may hand over nothing at first.
  void Open(const MeterSource& source, std::chrono::milliseconds patience);
  void WatchForStall(const MeterSource& source, Meter& meter, Clock::time_point now);
  static void OnRead(pa_stream* stream, size_t bytes, void* tag);
  static void OnStreamState(pa_stream* stream, void* tag);
  static void OnStalledStream(pa_context* context, const pa_sink_input_info* info, int eol,
                              void* tag);
  template <typename Info, auto kRunning>
  static void OnStalledDevice(pa_context* context, const Info* info, int eol, void* tag);

  BackendListener& m_listener;
  Sources m_sources;
  pa_context* m_context = nullptr;
  pa_mainloop_api* m_api = nullptr;
  pa_time_event* m_timer = nullptr;
  bool m_on = false;
  std::map<MeterSource, std::unique_ptr<Meter>> m_meters;
  // Objects whose stream failed, not tried again before the time given.
  std::map<MeterSource, Clock::time_point> m_failed;
};

} // namespace vantrel::mixerd
