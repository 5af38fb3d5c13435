// The pulse back end's bindings: which sink, source or stream each strip
// drives, and what a strip takes from an object that comes to it.

#include "pulse_backend_class.h"

#include "pulse_volume.h"

#include <utility>

namespace vantrel::mixerd {

namespace {

TargetProperties PropertiesOf(const pa_proplist* list, const char* objectName) {
  TargetProperties target;
  for (std::string_view name : kRuleProperties) {
    const std::string key(name);
    if (const char* value = pa_proplist_gets(list, key.c_str())) {
      target.properties.emplace_back(key, value);
    }
  }
  // PulseAudio names sinks and sources outside their property list.
  if (objectName != nullptr && target.Find("node.name") == nullptr) {
    target.properties.emplace_back("node.name", objectName);
  }
  return target;
}

// What "app #N" numbers a stream by: its application's name, else its
// program's.
const std::string* ApplicationOf(const TargetProperties& target) {
  const std::string* name = target.Find("application.name");
  return name != nullptr ? name : target.Find("application.process.binary");
}

} // namespace

// A sink or source was listed or changed. A new one may change which
// device each strip drives; a known one may report an outside change.
void PulseBackend::OnDevice(TargetKind kind, uint32_t index, const char* name,
                            const pa_proplist* list, const pa_channel_map& map,
                            const pa_cvolume& volume, bool muted, bool monitor, bool rebind) {
  auto [at, isNew] = m_objects.try_emplace(Key{kind, index});
  Object& object = at->second;
  object.kind = kind;
  object.index = index;
  object.name = name ? name : "";
  object.target = PropertiesOf(list, name);
  object.target.isMonitor = monitor;
  object.map = map;
  const std::vector<int64_t> previous = VolumeValues(object.volume);
  object.volume = volume;
  if (const std::optional<int> bus =
          kind == TargetKind::Sink ? m_aux.OnSink(object.name, muted) : std::nullopt) {
    m_listener.OnBusMute(*bus, muted);
    SyncAux();
  }
  if (isNew) {
    object.muted = muted;
    if (rebind) {
      RebindDevices(kind);
    }
    return;
  }
  CheckOutsideMute(object, muted);
  CheckOutsideChange(object, previous);
}

void PulseBackend::OnStream(const pa_sink_input_info& info, bool listed) {
  if (m_aux.OnStream(info, m_objects.contains(Key{TargetKind::Stream, info.index}))) {
    m_objects.erase(Key{TargetKind::Stream, info.index});
    return;
  }
  if (info.has_volume == 0 || info.volume_writable == 0) {
    return;
  }
  auto [at, isNew] = m_objects.try_emplace(Key{TargetKind::Stream, info.index});
  Object& object = at->second;
  object.kind = TargetKind::Stream;
  object.index = info.index;
  object.target = PropertiesOf(info.proplist, nullptr);
  const std::string* application = object.target.Find("application.name");
  object.name = (application ? *application + ": " : "") + (info.name ? info.name : "");
  object.map = info.channel_map;
  const std::vector<int64_t> previous = VolumeValues(object.volume);
  object.volume = info.volume;
  if (!isNew) {
    CheckOutsideMute(object, info.mute != 0);
    CheckOutsideChange(object, previous);
    return;
  }
  object.muted = info.mute != 0;
  if (const char* serial = pa_proplist_gets(info.proplist, "object.serial")) {
    object.serial = serial;
  }
  object.target.appNumber = NumberApp(object.target);
  const TargetProperties target = object.target;
  object.strip = BindTargets(m_config, TargetKind::Stream, std::span(&target, 1)).front();
  // Streams playing before we came keep their volume; later ones take
  // their strip's value at once. A stream the server announced after we
  // subscribed is a later one, even when the first list already holds it.
  object.keptOwnVolume = listed && !m_announced.contains(info.index);
  if (!object.keptOwnVolume) {
    TakeStripValue(object);
  }
  // Its strip's sends take it too (the first lists sync once they are in).
  if (m_listed && object.strip >= kFirstSourceStrip) {
    SyncAux();
  }
}

// A new stream plays at its strip's value and mute from the start.
void PulseBackend::TakeStripValue(Object& object) {
  if (object.strip < 0) {
    return;
  }
  const SideLevels levels = m_listener.StripLevels(object.strip);
  const bool already = SameVolumes(VolumeValues(VolumeOfLevels(object.map, levels, m_config.taper)),
                                   VolumeValues(object.volume), kVolumeTolerance);
  SetVolume(object, levels);
  m_unheard[static_cast<std::size_t>(object.strip)] = false;
  object.restoreUntil = Clock::now() + (already ? kRestoreWindow : kRestoreLatest);
  if (const bool muted = StripMuted(m_listener.State(), object.strip); muted != object.muted) {
    SetMute(object, muted);
  }
}

// The number of a new stream's application for "app #N" rules: the one it
// had, else, when no property rule claims it, the next number while a rule
// asks for one; 0 when it has none. A number stays with its application
// for good (the state file keeps it), so the application finds its strip
// again however often it or the service restarts.
int PulseBackend::NumberApp(const TargetProperties& target) const {
  const std::string* app = ApplicationOf(target);
  if (app == nullptr || app->empty() || app->find('\n') != std::string::npos) {
    return 0;
  }
  std::vector<std::string> apps = m_listener.State().apps;
  if (const auto held = std::ranges::find(apps, *app); held != apps.end()) {
    return static_cast<int>(held - apps.begin()) + 1;
  }
  if (std::cmp_greater_equal(apps.size(), HighestAppNumber(m_config)) ||
      ClaimedByProperty(m_config, TargetKind::Stream, target)) {
    return 0;
  }
  apps.push_back(*app);
  const auto number = static_cast<int>(apps.size());
  m_listener.OnAppNumbers(std::move(apps));
  return number;
}

// Binds the sinks or sources afresh; a strip that comes to a device takes
// its volume (or, when set while the server was away, gives it its own).
void PulseBackend::RebindDevices(TargetKind kind) {
  std::vector<Object*> devices;
  std::vector<TargetProperties> targets;
  const std::string& defaultName = kind == TargetKind::Sink ? m_defaultSink : m_defaultSource;
  for (auto& [key, object] : m_objects) {
    if (object.kind == kind) {
      object.target.isDefault = object.name == defaultName;
      devices.push_back(&object);
      targets.push_back(object.target);
    }
  }
  const std::vector<int> strips = BindTargets(m_config, kind, targets);
  std::array<bool, kStripCount> heard{};
  std::array<bool, kStripCount> muteHeard{};
  for (std::size_t i = 0; i < devices.size(); ++i) {
    Object& object = *devices[i];
    if (object.strip == strips[i]) {
      continue;
    }
    object.strip = strips[i];
    if (object.strip < 0) {
      continue;
    }
    const auto strip = static_cast<std::size_t>(object.strip);
    if (m_unheard[strip]) {
      SetVolume(object, m_listener.StripLevels(object.strip));
      heard[strip] = true;
    } else {
      m_listener.OnStripLevels(object.strip,
                               LevelsOfVolume(object.map, object.volume, m_config.taper));
    }
    if (m_muteUnheard[strip]) {
      SetMute(object, StripMuted(m_listener.State(), object.strip));
      muteHeard[strip] = true;
    } else {
      m_listener.OnStripMute(object.strip, object.muted);
    }
  }
  for (std::size_t strip = 0; strip < heard.size(); ++strip) {
    m_unheard[strip] = m_unheard[strip] && !heard[strip];
    m_muteUnheard[strip] = m_muteUnheard[strip] && !muteHeard[strip];
  }
  if (kind == TargetKind::Source && m_listed) {
    SyncAux();
  }
}

// The aux side follows the model, the capture source and the streams of
// each strip (what its sends take) and the default sink (where effects play).
void PulseBackend::SyncAux() {
  std::vector<SendOrigin> origins;
  for (const auto& [key, object] : m_objects) {
    if (object.strip < kFirstSourceStrip) {
      continue;
    }
    if (object.kind == TargetKind::Source) {
      origins.push_back({object.strip, object.name, object.name});
    } else if (object.kind == TargetKind::Stream) {
      // Without a serial (PulseAudio) the send is only shown.
      origins.push_back({object.strip, object.serial, "stream " + object.name});
    }
  }
  m_aux.Sync(m_listener.State(), std::move(origins), m_defaultSink);
}

} // namespace vantrel::mixerd
