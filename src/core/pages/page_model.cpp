#include "pages/page_model.h"

#include "midi/short_message_sink.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "mixer/mute_targets.h"
#include "pages/aux_labels.h"
#include "settings/settings.h"
#include "state/bridge_context.h"
#include "text/ascii_text.h"
#include "text/integer_text.h"

namespace vantrel {

std::optional<int32_t> ParseFieldInteger(std::string_view text) {
  return ParseInt32(TrimBlanks(text));
}

namespace {
// The caption an aux label shows until the mixer names the bus.
std::string AuxCaption(const StripDef& strip) {
  const Parameter& p = ParameterOf(strip);
  const int32_t aux = strip.label == LabelSource::Bus ? p.args[0] : p.args[2];
  return "Aux " + std::to_string(aux + 1);
}
// Whether a strip's aux label may read differently after `changed`: the
// bus it names changed its routing or effect, or (for a send) the send now
// feeds another bus.
bool LabelDependsOn(const StripDef& strip, IMixerServer& mixer,
                    const CMixerMirror::Slots& changed) {
  const Parameter& p = ParameterOf(strip);
  if (strip.label == LabelSource::Bus) {
    return AuxBusLabelChanged(p.args[0], changed);
  }
  const std::array<int32_t, 3> send{p.args[0], p.args[1], p.args[2]};
  const auto slot = mixer_dbus::ValueSlot(mixer_dbus::Method::GetSendBus, send);
  int32_t bus = 0;
  mixer.GetSendBus(p.args[0], p.args[1], p.args[2], bus);
  return (slot && changed.test(*slot)) || AuxBusLabelChanged(bus, changed);
}
} // namespace

CPageModel::CPageModel(const PageDef& def, BridgeContext& context)
    : m_def(def), m_context(context), m_strips(def.strips.size()) {
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    if (m_def.strips[i].label != LabelSource::None) {
      m_strips[i].label = AuxCaption(m_def.strips[i]);
    }
  }
}

const Parameter& CPageModel::ParameterOfStrip(std::size_t strip) const {
  return ParameterOf(m_def.strips[strip]);
}

int32_t CPageModel::Controller(std::size_t strip) const {
  return m_context.table.Controller(RowOf(strip));
}

int CPageModel::FaderValue(std::size_t strip) const {
  return m_context.table.Shown(RowOf(strip));
}

void CPageModel::SetFader(std::size_t strip, int value) {
  m_context.table.SetShown(RowOf(strip), value);
  m_strips[strip].readout = std::to_string(value);
}

std::optional<std::size_t> CPageModel::StripOfRow(std::size_t row) const {
  // A page's strips are consecutive catalogue rows, in order.
  const std::size_t first = m_def.strips.front().row;
  if (row < first || row - first >= m_def.strips.size()) {
    return std::nullopt;
  }
  return row - first;
}

void CPageModel::OnInit() {
  m_context.state.pageSlots[static_cast<std::size_t>(m_def.number - 1)] = this;
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    m_context.table.SetController(
        RowOf(i),
        m_context.settings == nullptr
            ? kNotMapped
            : m_context.settings->ReadInt(CcMappingKey(ParameterOfStrip(i).key), kNotMapped));
  }
}

void CPageModel::OnPageShow() {
  m_context.state.currentPage = m_def.number;
  RefreshFromMixer();
}

void CPageModel::OnPageHide() const {
  if (m_context.settings == nullptr) {
    return;
  }
  // One replace of the file for the whole page, in the page's key order.
  std::vector<SettingWrite> writes;
  writes.reserve(m_strips.size());
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    writes.push_back({CcMappingKey(ParameterOfStrip(i).key), FormatProfileInt(Controller(i))});
  }
  m_context.settings->WriteMany(writes);
}

bool CPageModel::ReadFader(IMixerServer& mixer, std::size_t strip) {
  const Parameter& p = ParameterOfStrip(strip);
  int32_t cell = 0;
  if (ReadParameter(mixer, p, cell) != kMixerOk) {
    return false;
  }
  SetFader(strip, FaderValueFromReading(p, cell));
  return true;
}

void CPageModel::ReadLabel(IMixerServer& mixer, std::size_t strip, int32_t& bus) {
  const StripDef& def = m_def.strips[strip];
  const Parameter& p = ParameterOf(def);
  if (def.label == LabelSource::Bus) {
    GetAuxBusLabel(mixer, p.args[0], m_strips[strip].label);
  } else if (def.label == LabelSource::SendBus) {
    mixer.GetSendBus(p.args[0], p.args[1], p.args[2], bus);
    GetAuxBusLabel(mixer, bus, m_strips[strip].label);
  }
}

void CPageModel::RefreshFromMixer() {
  // Until the mixer's values are known a read would show zeros where the
  // mixer holds values: keep what is shown.
  IMixerServer* mixer =
      m_context.mixer != nullptr && !m_context.mixer->IsStalled() ? m_context.mixer : nullptr;
  // One bus cell for the whole refresh: a bus read that fails labels its
  // strip with the bus of the strip before it.
  int32_t bus = 0;
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    const bool held = m_view != nullptr && m_view->IsFaderHeld(i);
    if (ParameterOfStrip(i).kind == ParameterKind::Filter) {
      SetFader(i, held ? FaderValue(i) : 0);
    } else if (mixer == nullptr || held || !ReadFader(*mixer, i)) {
      SetFader(i, FaderValue(i));
    }
    if (m_view != nullptr && !held) {
      m_view->ShowFaderValue(i, FaderValue(i));
    }
    if (mixer != nullptr) {
      ReadLabel(*mixer, i, bus);
      ReadMuted(*mixer, i);
    }
  }
  ShowMembers();
}

void CPageModel::FollowMixerChanges(const CMixerMirror::Slots& changed) {
  IMixerServer* mixer = m_context.mixer;
  if (mixer == nullptr || mixer->IsStalled()) {
    return;
  }
  for (std::size_t i = 0; i < m_strips.size(); ++i) {
    const StripDef& def = m_def.strips[i];
    const Parameter& p = ParameterOf(def);
    const auto slot = ValueSlotOf(p);
    bool show = false;
    if (slot && changed.test(*slot) && (m_view == nullptr || !m_view->IsFaderHeld(i))) {
      show = ReadFader(*mixer, i);
    }
    if (const auto mute = MuteOfStrip(i); mute && changed.test(MuteSlotOf(kMutes[*mute]))) {
      ReadMuted(*mixer, i);
      show = true;
    }
    if (def.label != LabelSource::None && LabelDependsOn(def, *mixer, changed)) {
      int32_t bus = 0;
      ReadLabel(*mixer, i, bus);
      show = true;
    }
    if (show && m_view != nullptr) {
      m_view->ShowStrip(i);
    }
  }
}

void CPageModel::MoveFader(std::size_t strip, int value) {
  const Parameter& p = ParameterOfStrip(strip);
  SetFader(strip, value);
  if (p.kind == ParameterKind::Filter) {
    ShowMembers();
    if (m_context.midiOut != nullptr) {
      SendFilterParameter(*m_context.midiOut, m_context.state.outputChannel, p, value);
    }
    return;
  }
  if (m_context.mixer != nullptr) {
    SetParameter(*m_context.mixer, p, MixerValueFromFader(p, value));
    m_context.table.NoteElsewhere(RowOf(strip));
  }
  ShowMembers();
  // A number outside 0..127 (from a hand-edited profile) is kept and saved
  // but never sent: its low byte would name some other controller.
  const int32_t controller = Controller(strip);
  if (IsMapped(controller) && m_context.midiOut != nullptr) {
    m_context.midiOut->SendShort(m_context.state.ControlChangeStatus(),
                                 static_cast<uint8_t>(controller),
                                 static_cast<uint8_t>(value & 0x7F));
  }
}

void CPageModel::ShowIncoming(std::size_t strip, int value) {
  SetFader(strip, value);
  if (m_view != nullptr) {
    m_view->ShowFaderValue(strip, value);
  }
  ShowMembers();
}

CommitResult CPageModel::Commit(std::span<const std::string> fieldTexts) {
  for (std::size_t strip : m_def.exchangeOrder) {
    if (strip >= fieldTexts.size()) {
      continue;
    }
    const auto value = ParseFieldInteger(fieldTexts[strip]);
    if (!value) {
      return {CommitError::NotInteger, strip};
    }
    if (*value < kControllerMin || *value > kControllerMax) {
      return {CommitError::OutOfRange, strip};
    }
    m_context.table.SetController(RowOf(strip), *value);
  }
  return {};
}

std::optional<std::size_t> CPageModel::MuteOfStrip(std::size_t strip) const {
  return MuteOfParameter(ParameterOfStrip(strip));
}

void CPageModel::ReadMuted(IMixerServer& mixer, std::size_t strip) {
  int32_t muted = 0;
  if (const auto mute = MuteOfStrip(strip);
      mute && ReadMute(mixer, kMutes[*mute], muted) == kMixerOk) {
    m_strips[strip].muted = muted != 0;
  }
}

ControllerMode CPageModel::ControllerModeOf(std::size_t strip) const {
  const int32_t controller = Controller(strip);
  return IsMapped(controller) ? m_context.modes.Mode(static_cast<uint8_t>(controller))
                              : ControllerMode::Absolute;
}

bool CPageModel::SetControllerMode(std::size_t strip, ControllerMode mode) {
  const int32_t controller = Controller(strip);
  if (!IsMapped(controller) || !m_context.modes.SetMode(static_cast<uint8_t>(controller), mode)) {
    return false;
  }
  if (m_context.settings != nullptr) {
    m_context.settings->Write(ControllerModeKey(static_cast<uint8_t>(controller)),
                              ControllerModeName(mode));
  }
  return true;
}

void CPageModel::ChooseEffect(int32_t aux, int32_t effect) {
  if (m_context.mixer != nullptr) {
    m_context.mixer->SetAuxEffect(aux, effect);
  }
}

void CPageModel::ShowMembers() {
  if (m_view != nullptr) {
    m_view->ShowMembers();
  }
}

} // namespace vantrel
