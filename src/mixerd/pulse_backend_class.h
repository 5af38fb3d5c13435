#pragma once
// The pulse back end's class. Its members are defined by concern:
// pulse_backend.cpp its life and what the service calls, pulse_connection.cpp
// the connection and the server's reports, pulse_binding.cpp which object
// each strip drives, pulse_volume_sets.cpp the throttled volume and mute
// sets, pulse_echo_policy.cpp how a report is told from our own set's echo.

#include "echo_filter.h"
#include "mixer_backend.h"
#include "pulse_aux.h"
#include "pulse_meters.h"
#include "pulse_volume.h"

#include <pulse/pulseaudio.h>

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace vantrel::mixerd {

// PipeWire restores a stream's remembered volume just after the stream
// appears, over the value the strip gave it. Outside changes this soon
// after the strip's value came back (and at most kRestoreLatest after the
// stream appeared) are that restore: the value is put back instead of taken.
inline constexpr std::chrono::milliseconds kRestoreWindow{500};
inline constexpr std::chrono::seconds kRestoreLatest{2};

class PulseBackend final : public MixerBackend {
public:
  PulseBackend(const MixerConfig& config, BackendListener& listener);
  ~PulseBackend() override;
  PulseBackend(const PulseBackend&) = delete;
  PulseBackend& operator=(const PulseBackend&) = delete;

  bool WaitForServer(std::chrono::milliseconds wait);

  std::string_view Name() const override { return "pulse"; }
  std::string Status() const override;
  void Apply(int strip) override;
  void ApplyMute(int strip) override;
  void ApplyAux() override { SyncAux(); }
  std::vector<BackendTarget> Targets() const override;
  std::string MetersUnavailable() const override { return {}; }
  void SetMetering(bool on) override { m_meters.SetOn(on); }
  int Poll(std::span<pollfd> fds, int timeoutMs) override;

private:
  using Clock = std::chrono::steady_clock;

  struct Object {
    TargetKind kind = TargetKind::Sink;
    uint32_t index = 0;
    std::string name;
    TargetProperties target;
    pa_channel_map map{};
    pa_cvolume volume{};
    int strip = -1;
    // A PipeWire stream's object.serial, by which a loopback captures it
    // alone; empty elsewhere.
    std::string serial;
    EchoFilter echo;
    std::optional<Clock::time_point> restoreUntil; // see kRestoreWindow
    // A stream of the first list that kept the volume it played at.
    bool keptOwnVolume = false;
    bool muted = false;
    // Until then a report that differs from the strip's mute is older than
    // our own set (PipeWire answers a set before it has applied it).
    std::optional<Clock::time_point> muteSettleUntil;
  };
  using Key = std::pair<TargetKind, uint32_t>;

  // An info request in flight; a change reported meanwhile asks again after it.
  struct Request {
    PulseBackend* owner = nullptr;
    Key key;
    bool inFlight = false;
    bool again = false;
    // The object went while the request was in flight: PipeWire may still
    // answer with it, and that answer must not bring it back.
    bool gone = false;
  };

  // A volume set in flight for one object, and the value that waits for it.
  struct Setting {
    PulseBackend* owner = nullptr;
    Key key;
    bool inFlight = false;
    Clock::time_point lastSent;
    std::optional<SideLevels> next;
  };

  pa_mainloop_api* Api() { return pa_mainloop_get_api(m_loop); }
  static void Done(pa_operation* operation) {
    if (operation != nullptr) {
      pa_operation_unref(operation);
    }
  }

  // pulse_connection.cpp
  static int PollThunk(pollfd* ufds, unsigned long nfds, int timeout, void* self);
  void Connect();
  void DropContext();
  void ScheduleRetry();
  void OnState();
  void OnLost();
  void OnReady();
  void RequestServerInfo();
  void OnServerInfo(const pa_server_info& info);
  void OnEvent(pa_subscription_event_type_t type, uint32_t index);
  void RequestInfo(const Key& key);
  static void Answered(void* tag);
  void ForgetIdle(Key key);
  static void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* tag);
  static void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* tag);
  static void OnStreamInfo(pa_context*, const pa_sink_input_info* info, int eol, void* tag);
  static void OnSinkListed(pa_context*, const pa_sink_info* info, int eol, void* self);
  static void OnSourceListed(pa_context*, const pa_source_info* info, int eol, void* self);
  static void OnStreamListed(pa_context*, const pa_sink_input_info* info, int eol, void* self);
  // Every stream reports again, as a change would (the aux settles which
  // are its own).
  void RelistStreams();

  // pulse_binding.cpp
  void OnDevice(TargetKind kind, uint32_t index, const char* name, const pa_proplist* list,
                const pa_channel_map& map, const pa_cvolume& volume, bool muted, bool monitor,
                bool rebind);
  void OnStream(const pa_sink_input_info& info, bool listed);
  void TakeStripValue(Object& object);
  int NumberApp(const TargetProperties& target) const;
  void RebindDevices(TargetKind kind);
  void SyncAux();
  // What the meters measure: every bound object, and each bus's sink.
  std::vector<MeterSource> MeterSources() const;

  // pulse_echo_policy.cpp
  void CheckOutsideMute(Object& object, bool reported);
  void CheckOutsideChange(Object& object, const std::vector<int64_t>& previous);

  // pulse_volume_sets.cpp
  void SetMute(Object& object, bool muted);
  void SetVolume(Object& object, SideLevels levels);
  void SendWaiting(Setting& setting);
  static void OnSet(pa_context*, int, void* tag);
  void ArmFlush();

  const MixerConfig m_config;
  BackendListener& m_listener;
  PulseAux m_aux{m_config, [this] { RelistStreams(); }};
  bool m_auxStarted = false; // see OnServerInfo
  pa_mainloop* m_loop;
  pa_context* m_context = nullptr;
  pa_time_event* m_retry = nullptr;
  pa_time_event* m_flush = nullptr;
  bool m_flushArmed = false;
  bool m_ready = false;
  bool m_listed = false; // the first lists after connecting are in
  bool m_failedOnce = false;
  std::string m_serverName;
  std::string m_serverAddress;
  std::string m_defaultSink;
  std::string m_defaultSource;
  std::map<Key, Object> m_objects;
  std::set<uint32_t> m_announced; // streams announced before the first list came
  std::map<Key, Request> m_requests;
  std::map<Key, Setting> m_settings;
  std::array<bool, kStripCount> m_unheard{};     // see Apply
  std::array<bool, kStripCount> m_muteUnheard{}; // the same for ApplyMute
  std::span<pollfd> m_serviceFds;
  int m_serviceEvents = 0;
  std::vector<pollfd> m_pollScratch;
  PulseMeters m_meters{m_listener, [this] { return MeterSources(); }};
};

} // namespace vantrel::mixerd
