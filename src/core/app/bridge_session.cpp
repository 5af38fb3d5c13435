#include "app/bridge_session.h"

#include "app/cc_dispatcher.h"
#include "midi/controller_queue.h"
#include "midi/device_watch.h"
#include "midi/midi_backend.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "mixer/mixer_link.h"
#include "mixer/mixer_server.h"
#include "settings/profile_file.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>

namespace vantrel {

namespace {
std::string DescribeDevice(const char* kind, int32_t index, const std::vector<std::string>& names,
                           bool failed, bool awaited, const std::string& name,
                           const std::string& reason) {
  const std::string head = std::string("MIDI ") + kind + ": ";
  if (index == -1) {
    return head + "none";
  }
  if (failed) {
    return head + "cannot open device " + std::to_string(index) +
           // A device waited for is missing: that says why already.
           // Without a MIDI system the lists stay empty: nothing can appear.
           (awaited && (CurrentMidiApiAvailable() || !names.empty())
                ? "; \"" + name + "\" is opened when it appears"
            : reason.empty() ? std::string()
                             : ". " + reason);
  }
  const auto position = static_cast<std::size_t>(index);
  return head + "opened device " + std::to_string(index) + " (" +
         (position < names.size() ? names[position] : std::string("?")) + ")";
}

} // namespace

CBridgeSession::CBridgeSession(CSettings* settings, bool writesProfile, CBridgeMidiIn& input,
                               CMidiOutPort& output, CControllerQueue& queue, CMixerLink& mixerLink)
    : m_settings(settings), m_writesProfile(writesProfile), m_input(input), m_output(output),
      m_queue(queue), m_mixerLink(mixerLink), m_devices(input, output, m_context.state) {
  m_context.midiOut = &m_output;
  m_context.settings = settings;
  for (const PageDef& def : kPages) {
    m_pages[static_cast<std::size_t>(def.number - 1)] =
        std::make_unique<CPageModel>(def, m_context);
  }
}

CBridgeSession::~CBridgeSession() {
  if (!m_shutDown) {
    // Leave the devices closed even when nobody shut the session down.
    m_context.mixer = nullptr;
    m_input.Stop();
    m_input.Close();
    m_output.Close();
  }
}

CPageModel& CBridgeSession::Page(int number) {
  return *m_pages[static_cast<std::size_t>(number - 1)];
}

void CBridgeSession::LoadMainSettings() {
  AppState& state = m_context.state;
  state.currentPage = 1;
  state.outputDevice = -1;
  state.inputDevice = -1;
  m_channel = 1;
  if (m_settings != nullptr) {
    state.currentPage = m_settings->ReadInt(kActivePageKey, 1);
    state.outputDevice = m_settings->ReadInt(kDefaultMidiOutKey, -1);
    state.inputDevice = m_settings->ReadInt(kDefaultMidiInKey, -1);
    m_channel = m_settings->ReadInt(kDefaultMidiOutChannelKey, 1);
  }
  m_devices.LoadSavedNames(m_settings != nullptr ? m_settings->Read(kDefaultMidiInNameKey) : "",
                           m_settings != nullptr ? m_settings->Read(kDefaultMidiOutNameKey) : "");
  m_feedback.SetFeedback(m_feedbackForRun ||
                         (m_settings != nullptr && m_settings->ReadInt(kFeedbackKey, 0) != 0));
  m_context.table.SetSoftTakeover(
      m_softTakeoverForRun ||
      (m_settings != nullptr && m_settings->ReadInt(kSoftTakeoverKey, 0) != 0));
  LoadControllerModes();
  m_buttons.Load(m_settings);
  // A channel outside 1..16 is kept as it is; its low four bits are sent.
  state.outputChannel = static_cast<int32_t>(static_cast<int64_t>(m_channel) - 1);
}

void CBridgeSession::LoadControllerModes() {
  m_context.modes.Reset();
  if (m_settings == nullptr) {
    return;
  }
  for (uint8_t controller = 0; controller < 128; ++controller) {
    const SettingKey key = ControllerModeKey(controller);
    const std::string text = m_settings->Read(key);
    if (text.empty()) {
      continue;
    }
    const std::optional<ControllerMode> mode = ParseControllerMode(text);
    if (!mode || !m_context.modes.SetMode(controller, *mode)) {
      std::fprintf(stderr,
                   "vantrel: the profile sets [%s] %s=%s, which %s; controller %d is read as "
                   "absolute.\n",
                   std::string(key.section).c_str(), std::string(key.name).c_str(), text.c_str(),
                   mode ? "only controllers 0..31 can carry (their low halves are 32..63)"
                        : "is none of absolute, relative-twos, relative-signed, "
                          "relative-offset or 14bit",
                   controller);
    }
  }
}

void CBridgeSession::SetChannelMember(int32_t channel) {
  m_channel = channel;
  m_context.state.outputChannel = static_cast<int32_t>(static_cast<int64_t>(channel) - 1);
}

void CBridgeSession::SetFeedback(bool on, bool remember) {
  const bool was = m_feedback.Feedback();
  m_feedback.SetFeedback(on);
  if (remember) {
    WriteOption(kFeedbackKey, on);
  }
  if (on && !was && m_output.IsOpen()) {
    m_feedback.SendAll(m_context);
  }
}

void CBridgeSession::SetSoftTakeover(bool on, bool remember) {
  m_context.table.SetSoftTakeover(on);
  if (remember) {
    WriteOption(kSoftTakeoverKey, on);
  }
}

void CBridgeSession::TurnOnForRun(bool feedback, bool softTakeover) {
  m_feedbackForRun = feedback;
  m_softTakeoverForRun = softTakeover;
}

void CBridgeSession::WriteOption(const SettingKey& key, bool on) {
  if (m_settings != nullptr && m_writesProfile) {
    m_settings->WriteInt(key, on ? 1 : 0);
  }
}

bool CBridgeSession::ConnectMixer() {
  m_mixerLink.Startup();
  m_mixerLink.Create();
  FollowMixerLink();
  return m_context.mixer != nullptr;
}

const std::string& CBridgeSession::MixerError() const {
  return m_mixerLink.LastError();
}

SavedDevicesResult CBridgeSession::OpenSavedDevices() {
  SavedDevicesResult result;
  const AppState& state = m_context.state;
  if (state.outputDevice != -1) {
    result.outputFailed = m_output.Open(static_cast<uint32_t>(state.outputDevice)) != kMidiOk;
  }

  m_input.SetThruPort(&m_output);
  m_input.SetControllerQueue(&m_queue);
  if (state.inputDevice != -1) {
    result.inputFailed = m_input.Open(state.inputDevice) != kMidiOk;
    if (!result.inputFailed) {
      m_input.Start();
    }
  }
  m_devices.NoteChosen(MidiDirection::Output);
  m_devices.NoteChosen(MidiDirection::Input);
  return result;
}

void CBridgeSession::StartFollowingMixer() {
  // The pages on screen read the values as they are; the controller gets
  // them all once instead of as changes.
  m_mixerLink.TakeChangedValues();
  if (m_output.IsOpen()) {
    SendAllToOutput();
  }
}

void CBridgeSession::SendAllToOutput() {
  m_feedback.SendAll(m_context);
  m_buttons.SendAll(m_context);
}

void CBridgeSession::SetButton(std::size_t mute, const ButtonBinding& binding) {
  m_buttons.SetBinding(m_writesProfile ? m_settings : nullptr, mute, binding);
}

std::vector<std::string>
CBridgeSession::DescribeSavedDevices(const SavedDevicesResult& result) const {
  const AppState& state = m_context.state;
  return {DescribeDevice("output", state.outputDevice, m_output.DeviceNames(), result.outputFailed,
                         m_devices.IsAwaited(MidiDirection::Output),
                         m_devices.Name(MidiDirection::Output), OutputError()),
          DescribeDevice("input", state.inputDevice, m_input.DeviceNames(), result.inputFailed,
                         m_devices.IsAwaited(MidiDirection::Input),
                         m_devices.Name(MidiDirection::Input), InputError())};
}

std::string CBridgeSession::InputError() const {
  return m_input.LastError();
}

std::string CBridgeSession::OutputError() const {
  return m_output.LastError();
}

DeviceChange CBridgeSession::ChooseInput(int item) {
  const int32_t index = item - 1;
  AppState& state = m_context.state;
  // While the chosen device is gone, its index may name another device.
  if (index == state.inputDevice && !m_devices.IsAwaited(MidiDirection::Input)) {
    return DeviceChange::Unchanged;
  }
  m_input.Stop();
  m_input.Close();
  state.inputDevice = index;
  DeviceChange change = DeviceChange::Closed;
  if (index != -1) {
    change = m_input.Open(index) == kMidiOk ? DeviceChange::Opened : DeviceChange::OpenFailed;
  }
  if (change == DeviceChange::Opened) {
    m_input.Start();
  }
  m_devices.NoteChosen(MidiDirection::Input);
  return change;
}

DeviceChange CBridgeSession::ChooseOutput(int item) {
  const int32_t index = item - 1;
  AppState& state = m_context.state;
  if (index == state.outputDevice && !m_devices.IsAwaited(MidiDirection::Output)) {
    return DeviceChange::Unchanged;
  }
  m_output.Close();
  state.outputDevice = index;
  DeviceChange change = DeviceChange::Closed;
  if (index != -1) {
    change = m_output.Open(static_cast<uint32_t>(index)) == kMidiOk ? DeviceChange::Opened
                                                                    : DeviceChange::OpenFailed;
  }
  if (change == DeviceChange::Opened) {
    SendAllToOutput();
  }
  m_devices.NoteChosen(MidiDirection::Output);
  return change;
}

void CBridgeSession::SetDeviceWatch(IDeviceWatch* watch) {
  m_deviceWatch = watch;
  m_devices.SetWatch(watch);
}

int CBridgeSession::DeviceWatchFd() const {
  return m_deviceWatch != nullptr ? m_deviceWatch->Fd() : -1;
}

DeviceFollowResult CBridgeSession::OnDeviceWatch() {
  if (m_deviceWatch == nullptr || !m_deviceWatch->Acknowledge()) {
    return {};
  }
  return FollowDevices();
}

DeviceFollowResult CBridgeSession::FollowDevices() {
  if (m_shutDown) {
    return {};
  }
  // An output that came back is opened again: feedback sends it everything.
  const bool outputWasOpen = m_output.IsOpen();
  DeviceFollowResult result = m_devices.Follow();
  if (!outputWasOpen && m_output.IsOpen()) {
    SendAllToOutput();
  }
  return result;
}

void CBridgeSession::OnActivate() {
  if (m_shutDown) {
    return;
  }
  FollowMixerLink();
  if (CPageModel* page = m_context.state.CurrentPageModel()) {
    page->RefreshFromMixer();
  }
}

MixerEventWatch CBridgeSession::EventWatch() const {
  return m_shutDown ? MixerEventWatch{} : m_mixerLink.EventWatch();
}

void CBridgeSession::ProcessMixerEvents() {
  if (m_shutDown) {
    return;
  }
  m_mixerLink.ProcessEvents();
  FollowMixerLink();
  if (std::string notice = m_mixerLink.TakeNotice(); !notice.empty()) {
    m_mixerNotices.push_back(std::move(notice));
  }
  const CMixerMirror::Slots changed = m_mixerLink.TakeChangedValues();
  if (changed.none()) {
    return;
  }
  // The headless bridge shows no page: only feedback and soft takeover follow.
  CPageModel* page = m_context.state.CurrentPageModel();
  if (page != nullptr && page->HasView()) {
    page->FollowMixerChanges(changed);
  }
  m_feedback.Follow(m_context, changed);
  m_buttons.Follow(m_context, changed);
}

std::vector<std::string> CBridgeSession::TakeMixerNotices() {
  return std::exchange(m_mixerNotices, {});
}

void CBridgeSession::SetEventWatchListener(std::function<void()> listener) {
  m_mixerLink.SetWatchListener(std::move(listener));
}

void CBridgeSession::DrainControllers() {
  m_queue.AcknowledgeWake();
  if (m_input.LoopFound() != m_loopReported) {
    m_loopReported = m_input.LoopFound();
    if (m_loopReported) {
      std::fprintf(stderr, "vantrel: the MIDI output comes back to the MIDI input (a MIDI loop); "
                           "messages that come back are no longer passed on.\n");
    }
  }
  FollowMixerLink();
  ControllerChange change;
  // Everything drained in one turn leaves for the mixer as one batch, in
  // order.
  IMixerServer* mixer = m_context.mixer;
  if (mixer != nullptr) {
    mixer->BeginBatch();
  }
  // Changes still queued when the session shuts down are dropped: the mixer
  // is gone by then. The kept values of an overflow come after the ring.
  while (m_queue.Pop(change) || m_queue.PopLatest(change)) {
    if (!m_shutDown && !m_learn.Take(change)) {
      if (!change.note) {
        OnMidiCc(m_context, change.controller, change.value, change.channel);
        ++m_applied;
      }
      m_buttons.OnInput(m_context, change);
    }
  }
  if (mixer != nullptr && m_context.mixer == mixer) {
    mixer->EndBatch();
  }
}

BridgeStats CBridgeSession::Stats() const {
  return {m_applied,
          m_queue.DroppedCount(),
          m_input.ThruDroppedCount(),
          m_output.DroppedCount(),
          m_input.ReceivedCount(),
          m_input.LoopEchoesDropped()};
}

void CBridgeSession::Shutdown() {
  if (m_shutDown) {
    return;
  }
  m_shutDown = true;
  m_learn.Cancel();
  m_context.mixer = nullptr;
  m_mixerLink.SetWatchListener(nullptr);
  m_mixerLink.Release();
  m_mixerLink.Shutdown();
  // The profile first: closing a port may wait on the MIDI system, and a
  // stop that overruns its deadline must not lose what the user chose.
  if (m_settings != nullptr && m_writesProfile) {
    const AppState& state = m_context.state;
    std::vector<SettingWrite> writes = {
        {kDefaultMidiOutKey, FormatProfileInt(state.outputDevice)},
        {kDefaultMidiInKey, FormatProfileInt(state.inputDevice)},
        {kActivePageKey, FormatProfileInt(state.currentPage)},
        {kDefaultMidiOutChannelKey, FormatProfileInt(m_channel)},
    };
    // The names are extra lines: a profile that never had one gets one only
    // once a device is chosen.
    const std::pair<SettingKey, MidiDirection> names[] = {
        {kDefaultMidiOutNameKey, MidiDirection::Output},
        {kDefaultMidiInNameKey, MidiDirection::Input}};
    for (const auto& [key, direction] : names) {
      const std::string& name = m_devices.Name(direction);
      if ((!name.empty() || !m_devices.SavedName(direction).empty()) &&
          CProfileFile::IsValidValue(name)) {
        writes.push_back({key, name});
      }
    }
    m_settings->WriteMany(writes);
  }
  m_input.Stop();
  m_input.Close();
  m_output.Close();
}

void CBridgeSession::InitPages() {
  for (int templateId : kTemplateOrder) {
    Page(PageByTemplate(templateId)->number).OnInit();
  }
  // The headless bridge reads controller numbers but never saves them.
  if (!m_writesProfile) {
    m_context.settings = nullptr;
  }
}

void CBridgeSession::FollowMixerLink() {
  if (!m_shutDown) {
    m_context.mixer = m_mixerLink.Server();
  }
}

} // namespace vantrel
