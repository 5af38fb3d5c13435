#include "app/bridge_session.h"

#include "app/main_keys.h"
#include "midi/midi_out_port.h"
#include "settings/settings.h"

namespace vantrel {

CBridgeSession::CBridgeSession(CSettings* settings, CBridgeMidiIn& input, CMidiOutPort& output,
                               CControllerQueue& queue, CMixerLink& mixerLink)
    : m_settings(settings), m_output(output),
      m_devices(input, output, queue, m_context.state, [this] { SendAllToOutput(); }),
      m_mixer(mixerLink, m_context), m_drain(queue, input, output),
      m_surface(m_context, input, output, mixerLink) {
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
    m_devices.Close();
  }
}

CPageModel& CBridgeSession::Page(int number) {
  return *m_pages[static_cast<std::size_t>(number - 1)];
}

void CBridgeSession::InitPages() {
  for (int templateId : kTemplateOrder) {
    Page(PageByTemplate(templateId)->number).OnInit();
  }
}

void CBridgeSession::LoadMainSettings() {
  MainKeys keys = ReadMainKeys(m_settings);
  AppState& state = m_context.state;
  state.currentPage = keys.activePage;
  state.outputDevice = keys.outputDevice;
  state.inputDevice = keys.inputDevice;
  SetChannelMember(keys.outputChannel);
  m_devices.LoadSavedNames(std::move(keys.inputName).value_or(""),
                           std::move(keys.outputName).value_or(""));
  m_feedback.SetFeedback(m_feedbackForRun || keys.feedback);
  m_context.table.SetSoftTakeover(m_softTakeoverForRun || keys.softTakeover);
  ReadControllerModes(m_settings, m_context.modes);
  m_buttons.Load(m_settings);
  SetSurface(m_surfaceForRun.value_or(ReadSurfaceProtocol(m_settings)), false);
  m_showMeters = m_settings != nullptr && m_settings->ReadInt(kShowMetersKey, 0) != 0;
}

void CBridgeSession::SetShowMeters(bool on, bool remember) {
  m_showMeters = on;
  m_mixer.WantMeters(on);
  if (remember) {
    WriteOption(kShowMetersKey, on);
  }
}

void CBridgeSession::SetSurface(SurfaceProtocol protocol, bool remember) {
  m_surfaceProtocol = protocol;
  const bool on = protocol != SurfaceProtocol::None;
  // Only the surface writes to its output: no page Control Changes,
  // feedback, button lights or filter sequences reach it.
  m_context.midiOut = on ? nullptr : &m_output;
  m_surface.SetOn(on);
  if (remember && m_settings != nullptr) {
    m_settings->Write(kSurfaceProtocolKey, SurfaceProtocolName(protocol));
  }
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
  if (m_settings != nullptr) {
    m_settings->WriteInt(key, on ? 1 : 0);
  }
}

int32_t CBridgeSession::ChannelMember() const {
  // Wraps as SetChannelMember does, so every saved number comes back.
  return static_cast<int32_t>(static_cast<int64_t>(m_context.state.outputChannel) + 1);
}

void CBridgeSession::SetChannelMember(int32_t channel) {
  // A channel outside 1..16 is kept as it is; its low four bits are sent.
  m_context.state.outputChannel = static_cast<int32_t>(static_cast<int64_t>(channel) - 1);
}

void CBridgeSession::StartFollowingMixer() {
  // The pages on screen read the values as they are; the controller gets
  // them all once instead of as changes.
  m_mixer.ForgetChanges();
  if (m_output.IsOpen()) {
    SendAllToOutput();
  }
}

void CBridgeSession::SendAllToOutput() {
  m_surface.OutputOpened();
  m_feedback.SendAll(m_context);
  m_buttons.SendAll(m_context);
}

void CBridgeSession::SetButton(std::size_t mute, const ButtonBinding& binding) {
  m_buttons.SetBinding(m_settings, mute, binding);
}

void CBridgeSession::OnActivate() {
  if (m_shutDown) {
    return;
  }
  m_mixer.Follow();
  if (CPageModel* page = m_context.state.CurrentPageModel()) {
    page->RefreshFromMixer();
  }
}

void CBridgeSession::ProcessMixerEvents() {
  const CMixerMirror::Slots changed = m_mixer.ProcessEvents();
  // The surface compares what it shows with the mirror: it follows the
  // program's own changes (a fader dragged on screen) too.
  m_surface.Follow();
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

void CBridgeSession::DrainControllers() {
  m_mixer.Follow();
  // Changes still queued when the session shuts down are dropped: the mixer
  // is gone by then.
  m_drain.Drain(m_context, m_learn, m_buttons, m_shutDown);
}

BridgeStats CBridgeSession::Stats() const {
  BridgeStats stats = m_drain.Stats();
  stats.surfaceExclusiveDropped = m_surface.ExclusiveDroppedCount();
  stats.surfaceSilent = !m_surface.Notice().empty();
  return stats;
}

void CBridgeSession::Shutdown() {
  if (m_shutDown) {
    return;
  }
  m_shutDown = true;
  m_learn.Cancel();
  m_surface.SetOn(false);
  m_mixer.Release();
  // The profile first: closing a port may wait on the MIDI system, and a
  // stop that overruns its deadline must not lose what the user chose.
  if (m_settings != nullptr) {
    const AppState& state = m_context.state;
    MainKeys keys;
    keys.activePage = state.currentPage;
    keys.outputDevice = state.outputDevice;
    keys.inputDevice = state.inputDevice;
    keys.outputChannel = ChannelMember();
    keys.outputName = m_devices.NameToSave(MidiDirection::Output);
    keys.inputName = m_devices.NameToSave(MidiDirection::Input);
    WriteMainKeys(*m_settings, keys);
  }
  m_devices.Close();
}

} // namespace vantrel
