#include "pulse_aux.h"

#include "pulse_effects.h"
#include "pulse_timer.h"
#include "pulse_volume.h"
#include "text/integer_text.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <span>
#include <utility>

namespace vantrel::mixerd {

namespace {

using namespace mixer_dbus;

// Short enough for a send to sound with its source, long enough for a busy
// machine's scheduler.
constexpr std::string_view kLoopbackLatency = "latency_msec=10";
constexpr std::string_view kBusPrefix = "vantrel_aux";
constexpr std::string_view kEffectPrefix = "vantrel_fx";
// PipeWire may report a sink's former mute for a moment after a set.
constexpr std::chrono::milliseconds kMuteSettle{500};
// A module removed more often than this within the window is left down.
constexpr int kRebuildLimit = 5;
constexpr std::chrono::seconds kRebuildWindow{10};
// A LADSPA effect PipeWire has just built can play loud garbage for its
// first seconds under load (a new tap_reverb peaked at 224-305 times full
// scale and fell about 50 dB a second, from a start that can come a second
// or more late), and PipeWire may then hold such a buffer on its output for
// good. So a new effect plays at level 0 until this long after it was
// built: long enough for the default effects' garbage to die away.
constexpr std::chrono::milliseconds kEffectWarmUp{6000};
// The level 0 of a warm-up is the smallest level above silence (about
// -290 dB): a NaN or an infinity still shows through it to the effect's
// check, where PipeWire would play true silence at 0.
constexpr pa_volume_t kWarmUpVolume = 1;
// How often the effects' checks are looked at for starving.
constexpr std::chrono::seconds kCheckRound{1};

std::string EffectSink(int bus) {
  return std::string(kEffectPrefix) + std::to_string(bus + 1);
}

std::string Described(const std::string& text) {
  return "sink_properties='device.description=\"" + text + "\"'";
}

double Level(int32_t value) {
  return value / static_cast<double>(kMixerValueMax);
}

// Whether every channel is at `level` (< 0: any level), within PipeWire's
// rounding.
bool AtLevel(const pa_cvolume& volume, double level, VolumeTaper taper) {
  const auto wanted = static_cast<int64_t>(ServerVolume(level, taper));
  for (unsigned i = 0; i < volume.channels; ++i) {
    if (std::abs(static_cast<int64_t>(volume.values[i]) - wanted) > kVolumeTolerance) {
      return level < 0;
    }
  }
  return true;
}

void Done(pa_operation* operation) {
  if (operation != nullptr) {
    pa_operation_unref(operation);
  }
}

struct Wanted {
  std::string name;
  std::string arguments;
  // The level of the module's stream: unity but for sends. PipeWire gives a
  // new stream the volume it remembers for its name, and a loopback's name
  // comes again with a reused module number, so a route could play at an
  // old send's level if it were left as it is.
  double volume = 1.0;
};

} // namespace

std::string BusSink(int bus) {
  return std::string(kBusPrefix) + std::to_string(bus + 1);
}

bool PulseAux::IsOurs(std::string_view sink) {
  return sink.starts_with(kBusPrefix) || sink.starts_with(kEffectPrefix);
}

void PulseAux::OnReady(pa_context* context, pa_mainloop_api* api, bool pipeWire) {
  m_api = api;
  m_context = context;
  m_pipeWire = pipeWire;
  m_adopted = false;
  m_modules.clear();
  m_loads.clear();
  Done(pa_context_get_module_info_list(
      context,
      [](pa_context*, const pa_module_info* info, int eol, void* self) {
        auto& aux = *static_cast<PulseAux*>(self);
        if (info != nullptr) {
          aux.Adopt(*info);
        }
        if (eol != 0) {
          aux.m_adopted = true;
          aux.Resync();
        }
      },
      this));
}

// A bus left by a run that crashed is taken over as it is; whatever else
// it left (routes, sends, effects) is unloaded and built again.
void PulseAux::Adopt(const pa_module_info& info) {
  const std::string arguments = info.argument != nullptr ? info.argument : "";
  if (arguments.find(kBusPrefix) == std::string::npos &&
      arguments.find(kEffectPrefix) == std::string::npos) {
    return;
  }
  for (int bus = 0; bus < kBusCount; ++bus) {
    if (std::string_view(info.name) == "module-null-sink" &&
        arguments.find("sink_name=" + BusSink(bus) + " ") != std::string::npos) {
      Module& module = m_modules["bus " + std::to_string(bus)];
      if (module.index == PA_INVALID_INDEX) {
        module.arguments = arguments;
        module.index = info.index;
        return;
      }
    }
  }
  UnloadIndex(info.index);
}

void PulseAux::OnLost() {
  m_context = nullptr;
  m_adopted = false;
  m_modules.clear();
  m_loads.clear();
  m_ownUnloads.clear();
  m_inFlight = 0;
  m_busVolumes.fill(-1);
  m_busMutes.fill(-1);
}

void PulseAux::Sync(const MixerState& state, std::vector<SendOrigin> origins,
                    const std::string& defaultSink) {
  m_state = state;
  m_origins = std::move(origins);
  m_defaultSink = defaultSink;
  Resync();
}

void PulseAux::Resync() {
  // The exit's wait for the unloads hears the server report them; that must
  // not build the buses again.
  if (!m_state || m_unloading) {
    return;
  }
  const MixerState& state = *m_state;
  std::map<std::string, Wanted> wanted;
  m_graph.clear();
  for (int bus = 0; bus < kBusCount; ++bus) {
    const BusState& b = state.buses[static_cast<std::size_t>(bus)];
    const std::string sink = BusSink(bus);
    const std::string label = "Aux " + std::to_string(bus + 1);
    wanted["bus " + std::to_string(bus)] = {"module-null-sink", "sink_name=" + sink + " " +
                                                                    Described("Vantrel " + label)};
    std::string to = "nowhere (not routed)";
    // A loopback that lost its bus must end, not fall back to the default
    // source: that is the default sink's monitor on many systems, and the
    // bus's effect would then feed its own output back into itself.
    const std::string monitor = "source=" + sink + ".monitor source_dont_move=true ";
    if (b.routed && b.onOutput) {
      const std::string& pairSink = OutputSink(b.digital, b.pair);
      const std::string pairName = PairName(b.digital, b.pair);
      if (pairSink.empty()) {
        to = "output " + pairName + ": nowhere (no sink configured for it)";
      } else if (const std::string own = OwnDestination(pairSink); !own.empty()) {
        to = "output " + pairName + ": nowhere (" + own + ")";
      } else {
        const bool followDefault = pairSink == "default";
        wanted["route " + std::to_string(bus)] = {
            "module-loopback", monitor + (followDefault ? "" : "sink=" + pairSink + " ") +
                                   std::string(kLoopbackLatency)};
        to = "output " + pairName + " -> " + (followDefault ? "the default sink" : pairSink);
      }
    } else if (const std::string own = OwnDestination("default"); b.routed && !own.empty()) {
      to = "effect: nowhere (" + own + ")";
    } else if (b.routed) {
      const auto type = static_cast<std::size_t>(b.effect);
      const EffectSetting& setting = m_config.effects[type];
      const EffectPlugin effect{EffectPlugins()[type].effect, setting.plugin, setting.label,
                                setting.controls};
      if (!m_pipeWire) {
        wanted["route " + std::to_string(bus)] = {"module-loopback",
                                                  monitor + std::string(kLoopbackLatency)};
        to = "effect " + std::string(effect.effect) +
             ": effects are built on PipeWire only, so the bus plays dry -> the default sink";
      } else if (EffectPluginInstalled(effect.plugin)) {
        const std::string fx = EffectSink(bus);
        const std::string arguments =
            "sink_name=" + fx + " " +
            Described("Vantrel " + label + " " + std::string(effect.effect)) +
            (m_defaultSink.empty() ? "" : " master=" + m_defaultSink) +
            " plugin=" + std::string(effect.plugin) + " label=" + std::string(effect.label) +
            (effect.controls.empty() ? "" : " control=" + std::string(effect.controls));
        const std::string key = "effect " + std::to_string(bus);
        to = "effect " + std::string(effect.effect) + " (" + std::string(effect.plugin) + ":" +
             std::string(effect.label) + ") -> ";
        if (const auto down = m_leftDown.find(key);
            down != m_leftDown.end() && down->second == arguments) {
          to += "nowhere (left down: it played broken samples)";
        } else {
          m_leftDown.erase(key);
          wanted[key] = {"module-ladspa-sink", arguments};
          wanted["route " + std::to_string(bus)] = {
              "module-loopback",
              monitor + "sink=" + fx + " sink_dont_move=true " + std::string(kLoopbackLatency)};
          to += "the default sink";
        }
      } else {
        wanted["route " + std::to_string(bus)] = {"module-loopback",
                                                  monitor + std::string(kLoopbackLatency)};
        to = "effect " + std::string(effect.effect) + ": plugin " + std::string(effect.plugin) +
             ".so is missing, so the bus plays dry -> the default sink";
        if (m_missingSaid.insert(std::string(effect.plugin)).second) {
          std::cerr << "vantrel-mixerd: the LADSPA plugin " << effect.plugin << ".so for "
                    << effect.effect << " is not installed (Debian: swh-plugins, tap-plugins); "
                    << label << " plays dry.\n";
        }
      }
    }
    m_graph.push_back({sink, {{"bus", label}, {"level", std::to_string(b.level)}, {"to", to}}});
  }
  for (const SendOrigin& origin : m_origins) {
    if (origin.strip < kFirstSourceStrip || origin.strip >= kStripCount) {
      continue;
    }
    const SourceState& source =
        state.sources[static_cast<std::size_t>(origin.strip - kFirstSourceStrip)];
    for (int send = 0; send < kSendCount; ++send) {
      const SendState& s = source.sends[static_cast<std::size_t>(send)];
      if (s.level <= 0) {
        continue;
      }
      if (const std::string own = OwnMonitor(origin.source); !own.empty()) {
        m_graph[static_cast<std::size_t>(s.bus)].second.push_back(
            {"send from " + std::string(kStripNames[static_cast<std::size_t>(origin.strip)]),
             std::to_string(s.level) + " (" + origin.label + ": not built, " + own + ")"});
        continue;
      }
      if (origin.source.empty()) {
        m_graph[static_cast<std::size_t>(s.bus)].second.push_back(
            {"send from " + std::string(kStripNames[static_cast<std::size_t>(origin.strip)]),
             std::to_string(s.level) + " (" + origin.label +
                 ": sends from streams are built on PipeWire only)"});
        continue;
      }
      // A stream's loopback must not fall back to the default source when
      // the stream ends before the loopback is unloaded.
      wanted["send " + std::to_string(origin.strip) + " " + std::to_string(send) + " " +
             origin.source] = {"module-loopback",
                               "source=" + origin.source + " source_dont_move=true sink=" +
                                   BusSink(s.bus) + " " + std::string(kLoopbackLatency),
                               Level(s.level)};
      m_graph[static_cast<std::size_t>(s.bus)].second.push_back(
          {"send from " + std::string(kStripNames[static_cast<std::size_t>(origin.strip)]),
           std::to_string(s.level) + " (" + origin.label + ")"});
    }
  }
  if (m_context == nullptr || !m_adopted) {
    return;
  }
  for (auto it = m_modules.begin(); it != m_modules.end();) {
    const auto found = wanted.find(it->first);
    if (found == wanted.end() || found->second.arguments != it->second.arguments) {
      it = Unload(it);
    } else {
      ++it;
    }
  }
  for (const auto& [key, want] : wanted) {
    auto [at, isNew] = m_modules.try_emplace(key);
    Module& module = at->second;
    if (isNew) {
      module.arguments = want.arguments;
      module.volume = want.volume;
      module.loading = true;
      module.load = m_nextLoad++;
      Load& load = m_loads[module.load];
      load = {this, module.load, key};
      ++m_inFlight;
      Done(pa_context_load_module(m_context, want.name.c_str(), want.arguments.c_str(),
                                  &PulseAux::OnLoaded, &load));
    } else if (module.volume != want.volume &&
               module.warmUntil == std::chrono::steady_clock::time_point{}) {
      module.volume = want.volume;
      SetStreamVolume(module);
    }
  }
  SetBusSinks();
}

PulseAux::Modules::iterator PulseAux::Unload(Modules::iterator it) {
  // One still loading is unloaded when its index comes (OnLoaded).
  if (!it->second.loading && it->second.index != PA_INVALID_INDEX) {
    UnloadIndex(it->second.index);
  }
  ForgetBusLevels(it->first);
  return m_modules.erase(it);
}

// The answers of a context that failed never come; OnLost forgets their
// requests.
void PulseAux::OnLoaded(pa_context*, uint32_t index, void* request) {
  auto& aux = *static_cast<Load*>(request)->aux;
  const uint64_t load = static_cast<Load*>(request)->load;
  const std::string key = std::move(static_cast<Load*>(request)->key);
  aux.m_loads.erase(load);
  --aux.m_inFlight;
  aux.Loaded(key, load, index);
  // A stream reported before its module's answer, or while any load was
  // pending, is settled when its report comes again: by the module number
  // the server gives it then. Numbers the server hands out again are not
  // kept across answers for that reason.
  if (aux.m_context != nullptr && !aux.m_unloading) {
    aux.m_relistStreams();
  }
}

void PulseAux::Loaded(const std::string& key, uint64_t load, uint32_t index) {
  const auto found = m_modules.find(key);
  if (found == m_modules.end() || !found->second.loading || found->second.load != load) {
    // No longer wanted by the time it was built.
    if (index != PA_INVALID_INDEX && m_context != nullptr) {
      UnloadIndex(index);
    }
    return;
  }
  Module& module = found->second;
  module.loading = false;
  module.index = index;
  if (key.starts_with("effect ") && index != PA_INVALID_INDEX && m_api != nullptr) {
    module.volume = 0;
    module.warmUntil = std::chrono::steady_clock::now() + kEffectWarmUp;
    ArmPulseTimer<&PulseAux::EndWarmUps>(m_api, m_warmUpTimer, kEffectWarmUp, this);
  }
  if (index == PA_INVALID_INDEX) {
    std::cerr << "vantrel-mixerd: the sound server refused to build " << key << " ("
              << module.arguments << "): " << pa_strerror(pa_context_errno(m_context)) << ".\n";
    return;
  }
  SetBusSinks();
}

// A bus's sink that goes takes its level and mute with it: the next one
// built gets both set.
void PulseAux::ForgetBusLevels(const std::string& key) {
  if (key.starts_with("bus ")) {
    const auto bus = static_cast<std::size_t>(ParseInt32(key.substr(4)).value_or(0));
    m_busVolumes[bus] = -1;
    m_busMutes[bus] = -1;
  }
}

void PulseAux::UnloadIndex(uint32_t index) {
  ++m_inFlight;
  m_ownUnloads.insert(index);
  Done(pa_context_unload_module(m_context, index, &PulseAux::OnUnloaded, this));
}

void PulseAux::OnModuleGone(uint32_t index) {
  // The report of our own unload. PipeWire gives a freed number to the
  // next module, so it may already name a new module of ours.
  if (m_ownUnloads.erase(index) > 0) {
    return;
  }
  const auto found = std::find_if(m_modules.begin(), m_modules.end(), [index](const auto& entry) {
    return !entry.second.loading && entry.second.index == index;
  });
  if (found == m_modules.end() || m_unloading) {
    return;
  }
  // Something else unloaded it, or a loopback ended with its source. Built
  // again, unless it keeps going: then it stays down and is said once.
  const std::string key = found->first;
  m_modules.erase(found);
  ForgetBusLevels(key);
  if (MayRebuild(key, "was removed from the sound server", "the mixer changes")) {
    Resync();
  }
}

bool PulseAux::MayRebuild(const std::string& key, const std::string& what,
                          const std::string& until) {
  const auto now = std::chrono::steady_clock::now();
  Rebuilds& rebuilds = m_rebuilds[key];
  if (now - rebuilds.since > kRebuildWindow) {
    rebuilds = {now, 0};
  }
  if (++rebuilds.count <= kRebuildLimit) {
    return true;
  }
  if (rebuilds.count == kRebuildLimit + 1) {
    std::cerr << "vantrel-mixerd: " << key << " " << what << " " << kRebuildLimit
              << " times in a row; it is not built again until " << until << ".\n";
  }
  return false;
}

void PulseAux::WatchEffect(const std::string& key, Module& module) {
  if (!key.starts_with("effect ") || module.stream == PA_INVALID_INDEX || module.check ||
      m_context == nullptr) {
    return;
  }
  if (!m_checkTimerArmed) {
    ArmCheckTimer();
  }
  module.check = std::make_unique<EffectCheck>(m_context, module.stream, [this, key] {
    // Rebuilt from the loop, not inside the check's own callback.
    m_brokenEffects.insert(key);
    ArmPulseTimer<&PulseAux::RebuildBrokenEffects>(m_api, m_brokenTimer,
                                                   std::chrono::microseconds{0}, this);
  });
}

void PulseAux::ArmCheckTimer() {
  m_checkTimerArmed = true;
  ArmPulseTimer<&PulseAux::RenewStarvedChecks>(m_api, m_checkTimer, kCheckRound, this);
}

void PulseAux::RenewStarvedChecks() {
  m_checkTimerArmed = false;
  if (m_context == nullptr || m_unloading) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  bool any = false;
  for (auto& [key, module] : m_modules) {
    if (module.check && module.check->Starved(now)) {
      module.check.reset();
      WatchEffect(key, module);
    }
    any = any || module.check != nullptr;
  }
  if (any) {
    ArmCheckTimer();
  }
}

void PulseAux::RebuildBrokenEffects() {
  const std::set<std::string> broken = std::exchange(m_brokenEffects, {});
  if (m_context == nullptr || m_unloading) {
    return;
  }
  for (const std::string& key : broken) {
    const auto found = m_modules.find(key);
    if (found == m_modules.end()) {
      continue;
    }
    const std::string arguments = found->second.arguments;
    // Its feed goes with it, to be built again into the new effect.
    Unload(found);
    if (const auto feed = m_modules.find("route " + key.substr(key.find(' ') + 1));
        feed != m_modules.end()) {
      Unload(feed);
    }
    if (MayRebuild(key, "played broken samples", "its effect or the default sink changes")) {
      std::cerr << "vantrel-mixerd: " << key << " played broken samples (not numbers, or far "
                << "beyond full scale); it is built again.\n";
    } else {
      m_leftDown[key] = arguments;
    }
  }
  Resync();
}

void PulseAux::EndWarmUps() {
  const auto now = std::chrono::steady_clock::now();
  for (auto& [key, module] : m_modules) {
    if (module.warmUntil != std::chrono::steady_clock::time_point{} && now >= module.warmUntil) {
      module.warmUntil = {};
      module.volume = 1.0;
      SetStreamVolume(module);
    }
  }
}

void PulseAux::OnUnloaded(pa_context*, int, void* self) {
  --static_cast<PulseAux*>(self)->m_inFlight;
}

bool PulseAux::OnStream(const pa_sink_input_info& info, bool known) {
  if (info.owner_module == PA_INVALID_INDEX) {
    return false;
  }
  for (auto& [key, module] : m_modules) {
    if (!module.loading && module.index == info.owner_module) {
      // PipeWire may restore a new stream's remembered volume over the
      // send level: nobody else sets our loopbacks, so any other level is
      // put back.
      if (module.stream != info.index || !AtLevel(info.volume, module.volume, m_config.taper)) {
        if (module.stream != info.index) {
          module.check.reset();
        }
        module.stream = info.index;
        SetStreamVolume(module);
        WatchEffect(key, module);
      }
      return true;
    }
  }
  return !known && !m_loads.empty();
}

void PulseAux::OnStreamGone(uint32_t index) {
  bool lost = false;
  for (auto& [key, module] : m_modules) {
    if (module.stream == index) {
      module.stream = PA_INVALID_INDEX;
      module.check.reset();
      lost = true;
    }
  }
  // A report of a module's stream can come after the stream went, while
  // the server still listed it under a module number it has since given
  // to a module of ours: that module's own stream is found again.
  if (lost && m_context != nullptr && !m_unloading) {
    m_relistStreams();
  }
}

void PulseAux::SetStreamVolume(Module& module) {
  if (m_context == nullptr || module.stream == PA_INVALID_INDEX || module.volume < 0) {
    return;
  }
  const bool warming = module.warmUntil != std::chrono::steady_clock::time_point{};
  pa_cvolume volume;
  pa_cvolume_set(&volume, 2, warming ? kWarmUpVolume : ServerVolume(module.volume, m_config.taper));
  Done(pa_context_set_sink_input_volume(m_context, module.stream, &volume, nullptr, nullptr));
}

void PulseAux::SetBusSinks() {
  if (m_context == nullptr || !m_state) {
    return;
  }
  for (int bus = 0; bus < kBusCount; ++bus) {
    const auto at = static_cast<std::size_t>(bus);
    const auto found = m_modules.find("bus " + std::to_string(bus));
    if (found == m_modules.end() || found->second.index == PA_INVALID_INDEX) {
      continue;
    }
    const BusState& wanted = m_state->buses[at];
    const std::string sink = BusSink(bus);
    if (m_busVolumes[at] != wanted.level) {
      m_busVolumes[at] = wanted.level;
      pa_cvolume volume;
      pa_cvolume_set(&volume, 2, ServerVolume(Level(wanted.level), m_config.taper));
      Done(pa_context_set_sink_volume_by_name(m_context, sink.c_str(), &volume, nullptr, nullptr));
    }
    if (m_busMutes[at] != static_cast<int>(wanted.muted)) {
      m_busMutes[at] = static_cast<int>(wanted.muted);
      m_busMuteSettle[at] = std::chrono::steady_clock::now() + kMuteSettle;
      Done(pa_context_set_sink_mute_by_name(m_context, sink.c_str(), wanted.muted ? 1 : 0, nullptr,
                                            nullptr));
    }
  }
}

std::optional<int> PulseAux::OnSink(std::string_view name, bool muted) {
  for (int bus = 0; bus < kBusCount; ++bus) {
    const auto at = static_cast<std::size_t>(bus);
    if (name != BusSink(bus)) {
      continue;
    }
    // Nothing set yet (the bus is still being built), our own set, or news
    // older than it.
    if (m_busMutes[at] < 0 || m_busMutes[at] == static_cast<int>(muted) ||
        std::chrono::steady_clock::now() < m_busMuteSettle[at]) {
      return std::nullopt;
    }
    m_busMutes[at] = static_cast<int>(muted);
    return bus;
  }
  return std::nullopt;
}

void PulseAux::UnloadAll() {
  m_unloading = true;
  // The timers go with the loop, which ends after this.
  for (pa_time_event** timer : {&m_warmUpTimer, &m_brokenTimer, &m_checkTimer}) {
    if (*timer != nullptr) {
      m_api->time_free(*timer);
      *timer = nullptr;
    }
  }
  if (m_context == nullptr) {
    return;
  }
  for (auto it = m_modules.begin(); it != m_modules.end();) {
    it = Unload(it);
  }
}

std::string PulseAux::OwnDestination(const std::string& sink) const {
  const std::string& actual = sink == "default" ? m_defaultSink : sink;
  if (!IsOurs(actual)) {
    return {};
  }
  return (sink == "default" ? "the default sink is " : "") + actual +
         ", a sink of the buses, so the bus would play into itself";
}

std::string PulseAux::OwnMonitor(const std::string& source) const {
  constexpr std::string_view kMonitor = ".monitor";
  if (!source.ends_with(kMonitor)) {
    return {};
  }
  const std::string sink = source.substr(0, source.size() - kMonitor.size());
  const bool playedInto = IsOurs(sink) || sink == m_defaultSink ||
                          std::find(m_config.analogPairs.begin(), m_config.analogPairs.end(),
                                    sink) != m_config.analogPairs.end() ||
                          std::find(m_config.digitalPairs.begin(), m_config.digitalPairs.end(),
                                    sink) != m_config.digitalPairs.end();
  return playedInto ? source + " carries what the buses play, so the send would feed back" : "";
}

const std::string& PulseAux::OutputSink(bool digital, int32_t pair) const {
  static const std::string kNone;
  const std::span<const std::string> sinks =
      digital ? std::span<const std::string>(m_config.digitalPairs) : m_config.analogPairs;
  return pair >= 0 && static_cast<std::size_t>(pair) < sinks.size()
             ? sinks[static_cast<std::size_t>(pair)]
             : kNone;
}

std::string PulseAux::PairName(bool digital, int32_t pair) {
  const std::span<const std::string_view> names =
      digital ? std::span<const std::string_view>(kDigitalPairNames) : kAnalogPairNames;
  return pair >= 0 && static_cast<std::size_t>(pair) < names.size()
             ? std::string(names[static_cast<std::size_t>(pair)])
             : "?";
}

std::vector<BackendTarget> PulseAux::Targets() const {
  std::vector<BackendTarget> targets;
  for (const auto& [name, properties] : m_graph) {
    targets.push_back({TargetKind::Sink, name, -1, properties});
  }
  return targets;
}

} // namespace vantrel::mixerd
