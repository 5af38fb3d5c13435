#include "app/mute_buttons.h"

#include "app/command_line.h"
#include "app/single_instance.h"
#include "midi/short_message_sink.h"
#include "mixer/mixer_server.h"
#include "mixer/mute_targets.h"
#include "pages/page_model.h"
#include "settings/settings.h"
#include "state/bridge_context.h"

#include <cstdio>

namespace vantrel {

namespace {

constexpr uint8_t kPressed = 64;
constexpr uint8_t kLightOn = 127;

} // namespace

int ListButtons(const CommandLine& options) {
  const CSettings settings(ProfilePathOf(options));
  CMuteButtons buttons;
  buttons.Load(&settings);
  for (const std::string& line : buttons.Describe()) {
    std::fputs((line + "\n").c_str(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

void CMuteButtons::Load(const CSettings* settings) {
  m_map = {};
  if (settings == nullptr) {
    return;
  }
  for (std::size_t mute = 0; mute < kMuteCount; ++mute) {
    const SettingKey key = ButtonMappingKey(kMutes[mute].key);
    const std::string text = settings->Read(key);
    if (text.empty()) {
      continue;
    }
    if (const auto binding = ParseButtonBinding(text)) {
      m_map.SetBinding(mute, *binding);
    } else {
      std::fprintf(stderr,
                   "vantrel: the profile sets [%s] %s=%s, which is none of -1, \"CC n\" or "
                   "\"Note n\" (n 0..127, optionally followed by \"latch\"); %s has no button.\n",
                   std::string(key.section).c_str(), std::string(key.name).c_str(), text.c_str(),
                   std::string(kMutes[mute].strip).c_str());
    }
  }
}

void CMuteButtons::SetBinding(CSettings* settings, std::size_t mute, const ButtonBinding& binding) {
  m_map.SetBinding(mute, binding);
  if (settings != nullptr) {
    settings->Write(ButtonMappingKey(kMutes[mute].key), FormatButtonBinding(binding));
  }
}

void CMuteButtons::OnInput(BridgeContext& context, const ControllerChange& change) {
  const auto kind = change.note ? ButtonBinding::Kind::Note : ButtonBinding::Kind::Controller;
  // A Note On with velocity 0 is a release, as a Note Off is.
  const bool pressed = change.note ? change.value > 0 : change.value >= kPressed;
  m_map.ForEachMuteOf(kind, change.controller & 0x7F, [&](std::size_t mute) {
    if (m_map.Binding(mute).latch) {
      SetMute(context, mute, pressed);
    } else if (pressed) {
      SetMute(context, mute, !IsMuted(context, mute));
    }
  });
}

bool CMuteButtons::IsMuted(BridgeContext& context, std::size_t mute) {
  int32_t muted = 0;
  return context.mixer != nullptr && ReadMute(*context.mixer, kMutes[mute], muted) == kMixerOk &&
         muted != 0;
}

void CMuteButtons::SetMute(BridgeContext& context, std::size_t mute, bool muted) {
  if (context.mixer == nullptr) {
    return;
  }
  vantrel::SetMute(*context.mixer, kMutes[mute], muted);
  Light(context, mute, muted);
  // The mirror takes the program's own change as no change from elsewhere:
  // the page on screen is told here.
  if (CPageModel* page = context.state.CurrentPageModel(); page != nullptr && page->HasView()) {
    CMixerMirror::Slots changed;
    changed.set(MuteSlotOf(kMutes[mute]));
    page->FollowMixerChanges(changed);
  }
}

void CMuteButtons::Follow(BridgeContext& context, const CMixerMirror::Slots& changed) {
  for (std::size_t mute = 0; mute < kMuteCount; ++mute) {
    if (changed.test(MuteSlotOf(kMutes[mute]))) {
      Light(context, mute, IsMuted(context, mute));
    }
  }
}

void CMuteButtons::SendAll(BridgeContext& context) {
  for (std::size_t mute = 0; mute < kMuteCount; ++mute) {
    Light(context, mute, IsMuted(context, mute));
  }
}

std::vector<std::string> CMuteButtons::Describe() const {
  std::vector<std::string> lines;
  for (std::size_t mute = 0; mute < kMuteCount; ++mute) {
    lines.push_back(std::string(kMutes[mute].key) + "=" + FormatButtonBinding(m_map.Binding(mute)) +
                    " (" + std::string(kMutes[mute].strip) + ")");
  }
  return lines;
}

void CMuteButtons::Light(BridgeContext& context, std::size_t mute, bool muted) {
  const ButtonBinding& binding = m_map.Binding(mute);
  if (!binding.IsMapped() || context.midiOut == nullptr) {
    return;
  }
  const auto channel = static_cast<uint8_t>(context.state.outputChannel & 0x0F);
  const uint8_t status =
      binding.kind == ButtonBinding::Kind::Note ? 0x90 | channel : 0xB0 | channel;
  context.midiOut->SendShort(status, binding.number, muted ? kLightOn : 0);
}

} // namespace vantrel
