#include "surface/mackie_surface.h"

#include "midi/midi_out_port.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "mixer/mute_targets.h"
#include "mixer/scales.h"
#include "pages/page_model.h"
#include "pages/page_table.h"
#include "state/bridge_context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantrel {

namespace {

using mackie::Button;
using mackie::kMasterStrip;
using mackie::kStrips;

constexpr int kMixerMax = 65535;
constexpr int kRingPositions = 11;

// The mixer, when its values are known; null otherwise.
IMixerServer* KnownMixer(const BridgeContext& context) {
  IMixerServer* mixer = context.mixer;
  return mixer != nullptr && !mixer->IsStalled() ? mixer : nullptr;
}

std::optional<int32_t> Reading(const BridgeContext& context, std::size_t row) {
  int32_t cell = 0;
  IMixerServer* mixer = KnownMixer(context);
  if (mixer == nullptr || ReadParameter(*mixer, kCatalogue[row], cell) != kMixerOk) {
    return std::nullopt;
  }
  return cell;
}

// A level as the display's bottom row shows it: decibels against full scale.
std::string Decibels(int32_t reading) {
  if (reading <= 0) {
    return "-inf";
  }
  char text[16];
  std::snprintf(text, sizeof text, "%.1fdB",
                20.0 * std::log10(static_cast<double>(reading) / kMixerMax));
  return text;
}

std::string Fitted(std::string_view text) {
  return std::string(text.substr(0, mackie::kDisplayColumns));
}

// The page on screen shows a value the surface set.
void ShowOnPage(BridgeContext& context, std::size_t row, int32_t mixerValue) {
  if (const int pageNumber = PageOfRow(row); context.state.currentPage == pageNumber) {
    if (CPageModel* page = context.state.Slot(pageNumber)) {
      page->ShowIncoming(*page->StripOfRow(row),
                         FaderValueFromReading(kCatalogue[row], mixerValue));
    }
  }
}

} // namespace

CMackieSurface::CMackieSurface(BridgeContext& context, CMidiOutPort& output)
    : m_context(context), m_output(output) {}

void CMackieSurface::SetBoundName(std::size_t channel, std::string name) {
  if (channel < m_boundNames.size()) {
    m_boundNames[channel] = std::move(name);
  }
}

void CMackieSurface::Forget() {
  m_sent.fill({});
  m_lastSent.fill({});
  m_waiting.fill(false);
  SendAssignLeds();
}

std::optional<std::size_t> CMackieSurface::VPotRow(const SurfaceChannel& channel) const {
  switch (m_vpots) {
  case VPotTarget::Pan:
    return channel.panRow;
  case VPotTarget::Send1:
    return channel.sendRows[0];
  case VPotTarget::Send2:
    break;
  }
  return channel.sendRows[1];
}

StripView CMackieSurface::Wanted(std::size_t strip) const {
  const StripView& sent = m_sent[strip];
  StripView view;
  // A fader already where the mixer's value puts it stays: on the gain
  // scale several positions give one value.
  auto fader = [&](std::size_t row) {
    const std::optional<int32_t> reading = Reading(m_context, row);
    if (!reading) {
      return -1;
    }
    const Parameter& p = kCatalogue[row];
    if (sent.fader >= 0 && MixerValueFromFineController(p, sent.fader) == *reading) {
      return sent.fader;
    }
    return FineControllerValueFromReading(p, *reading);
  };
  if (strip == kMasterStrip) {
    view.fader = m_touched[strip] ? sent.fader : fader(SurfaceMasterRows().leftRow);
    return view;
  }
  const std::size_t index = m_first + strip;
  const SurfaceChannel& channel = SurfaceChannels()[index];
  view.fader = m_touched[strip] ? sent.fader : fader(channel.faderRow);
  view.top = Fitted(m_boundNames[index].empty() ? channel.name : m_boundNames[index]);
  view.select = m_selected == index ? 1 : 0;
  IMixerServer* mixer = KnownMixer(m_context);
  if (mixer == nullptr) {
    return view;
  }
  if (const std::optional<int32_t> level = Reading(m_context, channel.faderRow)) {
    view.bottom = Decibels(*level);
  }
  int32_t muted = 0;
  if (ReadMute(*mixer, kMutes[channel.mute], muted) == kMixerOk) {
    view.mute = muted != 0 ? 1 : 0;
  }
  view.ring = mackie::RingMessage(strip, mackie::RingMode::Dot, 0).data2;
  if (const std::optional<std::size_t> row = VPotRow(channel)) {
    if (const std::optional<int32_t> value = Reading(m_context, *row)) {
      const int position = 1 + std::clamp(*value, 0, kMixerMax) * (kRingPositions - 1) / kMixerMax;
      view.ring =
          m_vpots == VPotTarget::Pan
              ? mackie::RingMessage(strip, mackie::RingMode::Dot, position).data2
              : mackie::RingMessage(strip, mackie::RingMode::Bar, *value > 0 ? position : 0).data2;
    }
  }
  return view;
}

void CMackieSurface::Send(std::size_t strip, const StripView& wanted) {
  StripView& sent = m_sent[strip];
  auto shortMessage = [this](const mackie::ShortMessage& m) {
    m_output.SendShort(m.status, m.data1, m.data2);
  };
  if (wanted.fader >= 0 && wanted.fader != sent.fader) {
    shortMessage(mackie::FaderMessage(strip, wanted.fader));
  }
  if (wanted.ring != 0xFF && wanted.ring != sent.ring) {
    shortMessage({0xB0, static_cast<uint8_t>(mackie::kRingFirst + strip), wanted.ring});
  }
  if (wanted.mute >= 0 && wanted.mute != sent.mute) {
    shortMessage(mackie::LedMessage(Button::Mute, strip, wanted.mute != 0));
  }
  if (wanted.select >= 0 && wanted.select != sent.select) {
    shortMessage(mackie::LedMessage(Button::Select, strip, wanted.select != 0));
  }
  const std::pair<const std::string*, const std::string*> rows[] = {{&wanted.top, &sent.top},
                                                                    {&wanted.bottom, &sent.bottom}};
  for (int row = 0; row < 2; ++row) {
    if (*rows[row].first != *rows[row].second) {
      m_output.SendExclusive(mackie::DisplayMessage(strip, row, *rows[row].first));
    }
  }
  sent = wanted;
}

void CMackieSurface::Refresh(Clock::time_point now) {
  for (std::size_t strip = 0; strip <= kMasterStrip; ++strip) {
    const StripView wanted = Wanted(strip);
    if (wanted == m_sent[strip]) {
      m_waiting[strip] = false;
      continue;
    }
    if (now - m_lastSent[strip] < std::chrono::milliseconds(kStripUpdateIntervalMs)) {
      m_waiting[strip] = true;
      continue;
    }
    Send(strip, wanted);
    m_lastSent[strip] = now;
    m_waiting[strip] = false;
  }
}

std::optional<std::chrono::milliseconds> CMackieSurface::NextDue(Clock::time_point now) const {
  std::optional<std::chrono::milliseconds> due;
  for (std::size_t strip = 0; strip <= kMasterStrip; ++strip) {
    if (!m_waiting[strip]) {
      continue;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        m_lastSent[strip] + std::chrono::milliseconds(kStripUpdateIntervalMs) - now);
    const auto wait = std::max(left, std::chrono::milliseconds(0));
    due = due ? std::min(*due, wait) : wait;
  }
  return due;
}

void CMackieSurface::ShowMeters(std::span<const mixer_dbus::MeterReading> readings) {
  for (std::size_t strip = 0; strip < kStrips; ++strip) {
    const std::optional<std::size_t> slot =
        ValueSlotOf(kCatalogue[SurfaceChannels()[m_first + strip].faderRow]);
    for (const mixer_dbus::MeterReading& reading : readings) {
      if (reading.slot == slot) {
        const mackie::ShortMessage m =
            mackie::MeterMessage(strip, mackie::MeterLevelOfPeak(reading.Peak()));
        m_output.SendShort(m.status, m.data1, m.data2);
      }
    }
  }
}

void CMackieSurface::OnMessage(const CMidiMessage& message, Clock::time_point now) {
  const mackie::Input input = mackie::Decode(message);
  switch (input.kind) {
  case mackie::Input::Kind::Fader:
    OnFader(input.strip, input.value);
    break;
  case mackie::Input::Kind::VPot:
    OnVPot(input.strip, input.value);
    break;
  case mackie::Input::Kind::Button:
    OnButton(input.strip, input.button, input.pressed);
    break;
  case mackie::Input::Kind::None:
    return;
  }
  Refresh(now);
}

void CMackieSurface::OnFader(std::size_t strip, int value) {
  // The fader is where the hand put it: no motor move answers it.
  m_sent[strip].fader = value;
  IMixerServer* mixer = m_context.mixer;
  if (mixer == nullptr) {
    return;
  }
  if (strip == kMasterStrip) {
    const SurfaceMaster master = SurfaceMasterRows();
    for (const std::size_t row : {master.leftRow, master.rightRow}) {
      const int32_t mixerValue = MixerValueFromFineController(kCatalogue[row], value);
      SetParameter(*mixer, kCatalogue[row], mixerValue);
      ShowOnPage(m_context, row, mixerValue);
    }
    return;
  }
  const std::size_t row = SurfaceChannels()[m_first + strip].faderRow;
  const int32_t mixerValue = MixerValueFromFineController(kCatalogue[row], value);
  SetParameter(*mixer, kCatalogue[row], mixerValue);
  ShowOnPage(m_context, row, mixerValue);
}

void CMackieSurface::OnVPot(std::size_t strip, int ticks) {
  const std::optional<std::size_t> row = VPotRow(SurfaceChannels()[m_first + strip]);
  IMixerServer* mixer = m_context.mixer;
  if (!row || mixer == nullptr) {
    return;
  }
  const std::optional<int32_t> reading = Reading(m_context, *row);
  if (!reading) {
    return;
  }
  const Parameter& p = kCatalogue[*row];
  const int v = std::clamp(ControllerValueFromReading(p, *reading) + ticks, 0, kFaderMax);
  const int32_t mixerValue = MixerValueFromController(p, v);
  SetParameter(*mixer, p, mixerValue);
  ShowOnPage(m_context, *row, mixerValue);
}

void CMackieSurface::OnButton(std::size_t strip, Button button, bool pressed) {
  if (button == Button::Touch) {
    m_touched[strip] = pressed;
    return;
  }
  if (!pressed) {
    return;
  }
  const std::size_t channel = m_first + std::min(strip, kStrips - 1);
  switch (button) {
  case Button::Mute:
    if (IMixerServer* mixer = KnownMixer(m_context)) {
      const MuteTarget& target = kMutes[SurfaceChannels()[channel].mute];
      int32_t muted = 0;
      ReadMute(*mixer, target, muted);
      SetMute(*mixer, target, muted == 0);
      // The mirror takes the program's own change as no change from
      // elsewhere: the page on screen is told here.
      if (CPageModel* page = m_context.state.CurrentPageModel();
          page != nullptr && page->HasView()) {
        CMixerMirror::Slots changed;
        changed.set(MuteSlotOf(target));
        page->FollowMixerChanges(changed);
      }
    }
    break;
  case Button::Select:
    m_selected = m_selected == channel ? std::nullopt : std::optional<std::size_t>(channel);
    break;
  case Button::AssignPan:
    m_vpots = VPotTarget::Pan;
    SendAssignLeds();
    break;
  case Button::AssignSend:
    m_vpots = m_vpots == VPotTarget::Send1 ? VPotTarget::Send2 : VPotTarget::Send1;
    SendAssignLeds();
    break;
  case Button::BankLeft:
    MoveBank(-static_cast<int>(kStrips));
    break;
  case Button::BankRight:
    MoveBank(static_cast<int>(kStrips));
    break;
  case Button::ChannelLeft:
    MoveBank(-1);
    break;
  case Button::ChannelRight:
    MoveBank(1);
    break;
  default:
    // Record, Solo, Flip and the other assignments do nothing here.
    break;
  }
}

void CMackieSurface::MoveBank(int by) {
  const int last = static_cast<int>(kSurfaceChannelCount - kStrips);
  m_first = static_cast<std::size_t>(std::clamp(static_cast<int>(m_first) + by, 0, last));
}

void CMackieSurface::SendAssignLeds() {
  for (const auto& [button, on] : {std::pair{Button::AssignPan, m_vpots == VPotTarget::Pan},
                                   std::pair{Button::AssignSend, m_vpots != VPotTarget::Pan}}) {
    const mackie::ShortMessage m = mackie::LedMessage(button, 0, on);
    m_output.SendShort(m.status, m.data1, m.data2);
  }
}

} // namespace vantrel
