#pragma once
// Mute buttons and their lights. Buttons come from the profile's
// "Button Mapping" section (an extra section: without it nothing changes);
// a button's Control Change or note toggles (momentary) or sets (latch) its
// mute in the mixer. Every change of a mapped mute, from a button, the
// window or anywhere else, lights the button: its Control Change (127 or 0)
// or Note On (velocity 127 or 0) on the output channel. Dialog thread only.

#include "midi/controller_queue.h"
#include "mixer/mixer_mirror.h"
#include "state/button_map.h"

#include <string>
#include <vector>

namespace vantrel {

struct BridgeContext;
class CSettings;

struct CommandLine;

// --list-buttons: the profile's mute buttons, one line each; exit code.
int ListButtons(const CommandLine& options);

class CMuteButtons {
public:
  // Reads "Button Mapping"; a value that is no binding is reported on
  // standard error and read as -1.
  void Load(const CSettings* settings);
  const CButtonMap& Map() const { return m_map; }
  // A learned or chosen button; written to the profile when settings is
  // not null.
  void SetBinding(CSettings* settings, std::size_t mute, const ButtonBinding& binding);

  // A Control Change or note drained from the controller queue.
  void OnInput(BridgeContext& context, const ControllerChange& change);
  // Whether the mixer holds the mute muted (false when it is not known).
  static bool IsMuted(BridgeContext& context, std::size_t mute);
  // Mutes or unmutes (the window's menu) and lights the button.
  void SetMute(BridgeContext& context, std::size_t mute, bool muted);
  // Mixer values changed elsewhere: the lights of mapped mutes among them.
  void Follow(BridgeContext& context, const CMixerMirror::Slots& changed);
  // Every mapped button's light, once (the output has just opened).
  void SendAll(BridgeContext& context);
  // One line per mute: "VolMute=CC 20 latch (Master)".
  std::vector<std::string> Describe() const;

private:
  void Light(BridgeContext& context, std::size_t mute, bool muted);

  CButtonMap m_map;
};

} // namespace vantrel
