#pragma once
// The mapping file (mixer.ini): which back end serves and what each strip
// drives. Absent file, missing sections: the defaults below. A strip's
// section replaces all of that strip's default bindings.
//
//   [Mixer]
//   backend = auto | virtual | pulse | alsa
//   card = default                      ; the ALSA card
//   [Wave]
//   stream = application.name = Firefox ; property equals text
//   stream = media.role ~ ^(music|video)$ ; property matches a regular expression (RE2)
//   [Master]
//   sink = default                      ; the default sink, following it
//   [Analog 1]
//   source = #1                         ; the first capture source left over
//   [User 1]
//   stream = app #1                     ; the first application no other rule claims
//   [MIDI]
//   stream = *                          ; every stream no other rule claims
//   [Record]
//   element = Capture                   ; an ALSA simple element
//   [Outputs]
//   A3+4 = alsa_output.usb-headphones   ; the sink an aux bus routed to A3+4 plays into
//   [Effects]
//   Reverb = tap_reverb tap_reverb 2500,-70,0,1,1,1,1,0 ; LADSPA plugin, label, controls
//
// Each object goes to the first rule that matches it, in file order, then
// the defaults; "#N" and "app #N" rules come after the others and "*" rules
// last.

#include "pulse_effects.h"
#include "rule_matcher.h"

#include <array>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::mixerd {

enum class TargetKind { Stream, Sink, Source, Element };

std::string_view TargetKindName(TargetKind kind);

// What a rule can look at: the properties the sound server reports (only
// those listed in kRuleProperties are matched), and two facts of its own.
struct TargetProperties {
  std::vector<std::pair<std::string, std::string>> properties;
  bool isDefault = false; // the default sink or source
  bool isMonitor = false; // a sink's monitor, not a capture source
  int appNumber = 0;      // a stream's application's number for "app #N" (0: none)

  const std::string* Find(std::string_view name) const;
};

inline constexpr std::string_view kRuleProperties[] = {
    "application.name", "application.process.binary", "media.name", "media.role",
    "node.name",        "device.description"};

// The property under which an ALSA simple element carries its name.
inline constexpr std::string_view kElementNameProperty = "element.name";

struct BindingRule {
  enum class Match { Default, Equals, Pattern, Position, App, Any };
  // Tried in this order: property and default rules, then positions and
  // application numbers, then "*".
  int Rank() const {
    return match == Match::Any ? 2 : match == Match::Position || match == Match::App ? 1 : 0;
  }

  int strip = 0;
  TargetKind kind = TargetKind::Stream;
  Match match = Match::Any;
  std::string property; // Equals, Pattern
  std::string text;     // Equals: the text; Pattern: the expression; Element: the name
  RuleMatcher pattern;
  int position = 0; // Position, App: 1-based
  // Takes only the first capture source (monitors aside) it matches, and
  // nothing when an earlier rule gave its strip one: how Digital 1 and 2
  // each find one digital input.
  bool firstCaptureOnly = false;
};

// How a fader's travel becomes a sound server's volume.
enum class VolumeTaper {
  // Travel is the server's own volume scale, as the desktop's volume
  // control shows it: half travel is 50 % there (cubic: about -18 dB).
  Desktop,
  // Travel is linear amplitude: half travel is -6 dB (79 % on the desktop).
  Amplitude,
};

struct MixerConfig {
  std::string backend; // empty when the file names none
  std::string card = "default";
  VolumeTaper taper = VolumeTaper::Desktop; // [Mixer] taper = desktop | amplitude
  std::vector<BindingRule> rules;
  // [Outputs]: the sink of each output pair an aux bus can be routed to
  // ("default": the default sink, following it; empty: plays nowhere), by
  // pair index: A1+2, A3+4, A5+6, A5+8 (the pair between), A7+8; D1, D, D2.
  std::array<std::string, 5> analogPairs = {"default"};
  std::array<std::string, 3> digitalPairs{};
  // [Effects]: what each effect type loads, by type ("Reverb = tap_reverb
  // tap_reverb 2500,-70,0,1,1,1,1,0"); the table in pulse_effects.cpp by default.
  std::array<EffectSetting, kEffectCount> effects = DefaultEffectSettings();
};

// $XDG_CONFIG_HOME/vantrel/mixer.ini, else ~/.config/vantrel/mixer.ini.
std::string DefaultMixerConfigPath();

// The bindings that hold with no file at all.
MixerConfig DefaultMixerConfig();

// Reads the file's text. Each fault (unknown section or key, a bad rule or
// expression, an unknown property) costs one line on `errors` naming
// `fileName`, the line and the reason; everything else applies.
MixerConfig ParseMixerConfig(std::string_view text, std::string_view fileName,
                             std::ostream& errors);

// Reads the file at `path`; a missing file gives the defaults silently, an
// unreadable one the defaults with a line on `errors`.
MixerConfig LoadMixerConfig(const std::string& path, std::ostream& errors);

// Whether a property or default rule of the file or the defaults takes the
// object: such a stream is no "app #N" candidate.
bool ClaimedByProperty(const MixerConfig& config, TargetKind kind, const TargetProperties& target);

// The highest N of the "app #N" rules; 0 when there are none.
int HighestAppNumber(const MixerConfig& config);

// The strip of each object of one kind, or -1: each object goes to the first
// rule that matches it. Positions count the capture sources (monitors
// aside) that no earlier rule claimed, in the order given.
std::vector<int> BindTargets(const MixerConfig& config, TargetKind kind,
                             std::span<const TargetProperties> targets);

} // namespace vantrel::mixerd
