#pragma once
// The aux side on the sound server: four buses as null sinks ("Vantrel Aux
// 1" ...) whose volume is the bus level, each routed by a loopback from its
// monitor to an output pair's sink, or through its effect (a LADSPA sink)
// into the default sink, or nowhere; and each send above 0 a loopback from
// each of its strip's origins into its bus: the strip's capture source, and
// on PipeWire each playback stream bound to it (a loopback there can take a
// single stream's output beside the stream's own link, which stays as it is). Everything is a
// module of the server, found again after a crash (by the names in its arguments) and unloaded at
// exit.

#include "mixer_backend.h"
#include "pulse_effect_check.h"

#include <pulse/pulseaudio.h>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantrel::mixerd {

// Where a strip's sends take its sound from.
struct SendOrigin {
  int strip = -1;
  std::string source; // what a loopback's source= names: a source, or a stream's serial
  std::string label;  // as targets shows it
};

class PulseAux {
public:
  // `relistStreams` asks for every stream's report again (through OnStream).
  PulseAux(const MixerConfig& config, std::function<void()> relistStreams)
      : m_config(config), m_relistStreams(std::move(relistStreams)) {}

  // Connected: adopts the modules a previous run left, then builds.
  // `pipeWire`: the server can build effects and sends from streams.
  void OnReady(pa_context* context, pa_mainloop_api* api, bool pipeWire);
  // Whether a sink is one of the buses or effects.
  static bool IsOurs(std::string_view sink);
  void OnLost();

  // Builds what the model asks for. `origins` are the sound of the strips
  // (their capture sources and bound streams); `defaultSink` the server's.
  void Sync(const MixerState& state, std::vector<SendOrigin> origins,
            const std::string& defaultSink);

  // A stream appeared or changed; true when it is one of ours (a loopback
  // or an effect's output), which no strip may take. A stream not `known`
  // before that appears while modules of ours are still loading counts as
  // ours until their loads are answered; each answer asks for every
  // stream's report again, which settles it.
  bool OnStream(const pa_sink_input_info& info, bool known);
  // A stream went: a module of ours that played through it looks for its
  // stream again.
  void OnStreamGone(uint32_t index);

  // A sink was listed or changed: when it is a bus whose mute was changed
  // elsewhere (not our own set coming back), that bus, whose mute is now
  // `muted`.
  std::optional<int> OnSink(std::string_view name, bool muted);

  // A module of the server was removed: one of ours that we did not
  // unload is built again.
  void OnModuleGone(uint32_t index);

  // Unloads every module of ours and builds nothing from then on (to be
  // called before the main loop ends); the
  // caller runs the loop until Busy() is false.
  void UnloadAll();
  bool Busy() const { return m_inFlight > 0; }

  std::vector<BackendTarget> Targets() const;

private:
  struct Module {
    std::string arguments;
    uint32_t index = PA_INVALID_INDEX;
    bool loading = false;
    uint64_t load = 0;                  // which load request it waits for
    double volume = -1;                 // a loopback's level; < 0: left as it is
    uint32_t stream = PA_INVALID_INDEX; // a loopback's sink input
    // An effect plays silent until then (see kEffectWarmUp).
    std::chrono::steady_clock::time_point warmUntil;
    std::unique_ptr<EffectCheck> check; // an effect's, on its stream
  };
  using Modules = std::map<std::string, Module>;
  // A load request, until its answer: the server may answer loads out of
  // order (PipeWire answers a loopback's before an earlier effect's).
  struct Load {
    PulseAux* aux = nullptr;
    uint64_t load = 0;
    std::string key;
  };

  void Adopt(const pa_module_info& info);
  void Resync();
  Modules::iterator Unload(Modules::iterator it);
  void UnloadIndex(uint32_t index);
  void ForgetBusLevels(const std::string& key);
  static void OnLoaded(pa_context*, uint32_t index, void* request);
  void Loaded(const std::string& key, uint64_t load, uint32_t index);
  static void OnUnloaded(pa_context*, int, void* self);
  void SetStreamVolume(Module& module);
  // Gives each built bus its level and mute.
  void SetBusSinks();
  const std::string& OutputSink(bool digital, int32_t pair) const;
  // Why a bus must not play into `sink` ("default": the default sink), as
  // targets says it; empty when it may.
  std::string OwnDestination(const std::string& sink) const;
  // Why a send must not take `source`, a monitor of where the buses play;
  // empty when it may.
  std::string OwnMonitor(const std::string& source) const;
  static std::string PairName(bool digital, int32_t pair);
  // Gives each effect whose warm-up is over its level.
  void EndWarmUps();
  // Starts the check of an effect whose stream is known.
  void WatchEffect(const std::string& key, Module& module);
  // Builds again the effects whose check found broken samples.
  void RebuildBrokenEffects();
  // Makes again the checks that starved; runs while any check exists.
  void RenewStarvedChecks();
  void ArmCheckTimer();
  // Counts one more rebuild of `key`: false once it has gone too often
  // within the window (then said once: `what` happened, and it stays down
  // `until` what).
  bool MayRebuild(const std::string& key, const std::string& what, const std::string& until);

  MixerConfig m_config;
  std::function<void()> m_relistStreams;
  pa_context* m_context = nullptr;
  bool m_adopted = false;   // the server's module list has been read
  bool m_unloading = false; // UnloadAll ran: nothing is built again
  bool m_pipeWire = false;
  Modules m_modules; // by what it is: "bus 0", "route 0", "effect 0", "send STRIP SEND ORIGIN"
  std::map<uint64_t, Load> m_loads; // by request; a node's address is its answer's tag
  std::set<uint32_t> m_ownUnloads;  // modules we unloaded, until the server reports them
  uint64_t m_nextLoad = 1;
  int m_inFlight = 0;
  std::array<int32_t, kBusCount> m_busVolumes{-1, -1, -1, -1}; // last level set on each bus
  std::array<int, kBusCount> m_busMutes{-1, -1, -1, -1}; // last mute set or heard; -1: none yet
  // Until then a report that differs from our last mute set is older news.
  std::array<std::chrono::steady_clock::time_point, kBusCount> m_busMuteSettle{};
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> m_graph;
  std::set<std::string> m_missingSaid;
  struct Rebuilds {
    std::chrono::steady_clock::time_point since;
    int count = 0;
  };
  std::map<std::string, Rebuilds> m_rebuilds; // modules removed by others, by key
  pa_mainloop_api* m_api = nullptr;
  pa_time_event* m_warmUpTimer = nullptr;
  std::set<std::string> m_brokenEffects; // found by their checks, rebuilt by a timer
  // Effects that went on playing broken samples: not built again with
  // these arguments.
  std::map<std::string, std::string> m_leftDown;
  pa_time_event* m_brokenTimer = nullptr;
  pa_time_event* m_checkTimer = nullptr;
  bool m_checkTimerArmed = false;
  std::optional<MixerState> m_state;
  std::vector<SendOrigin> m_origins;
  std::string m_defaultSink;
};

// The name of bus 0..3's null sink.
std::string BusSink(int bus);

// Output pair names as the mapping file's [Outputs] section writes them.
inline constexpr std::array<std::string_view, 5> kAnalogPairNames = {"A1+2", "A3+4", "A5+6", "A5+8",
                                                                     "A7+8"};
inline constexpr std::array<std::string_view, 3> kDigitalPairNames = {"D1", "D", "D2"};

} // namespace vantrel::mixerd
