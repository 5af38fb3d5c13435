#include "mixer_config.h"

#include "files/file_io.h"
#include "files/xdg_folders.h"
#include "mixer_strips.h"
#include "settings/profile_file.h"
#include "text/ascii_text.h"
#include "text/integer_text.h"

#include <algorithm>
#include <array>

namespace vantrel::mixerd {

namespace {

constexpr std::string_view kMixerSection = "Mixer";
constexpr std::string_view kOutputsSection = "Outputs";
constexpr std::string_view kEffectsSection = "Effects";
constexpr std::array<std::string_view, 5> kAnalogPairKeys = {"A1+2", "A3+4", "A5+6", "A5+8",
                                                             "A7+8"};
constexpr std::array<std::string_view, 3> kDigitalPairKeys = {"D1", "D", "D2"};

// A mapping file is a few dozen lines; anything this large is not one.
constexpr std::size_t kMaxConfigBytes = 1 << 20;

// Reads "PAIR = SINK" of [Outputs]; false when PAIR is no output pair.
bool ReadOutput(MixerConfig& config, const std::string& key, const std::string& value) {
  for (std::size_t i = 0; i < kAnalogPairKeys.size(); ++i) {
    if (EqualsIgnoringAsciiCase(key, kAnalogPairKeys[i])) {
      config.analogPairs[i] = value;
      return true;
    }
  }
  for (std::size_t i = 0; i < kDigitalPairKeys.size(); ++i) {
    if (EqualsIgnoringAsciiCase(key, kDigitalPairKeys[i])) {
      config.digitalPairs[i] = value;
      return true;
    }
  }
  return false;
}

constexpr std::array<TargetKind, 4> kKinds = {TargetKind::Stream, TargetKind::Sink,
                                              TargetKind::Source, TargetKind::Element};

BindingRule Rule(int strip, TargetKind kind, BindingRule::Match match, std::string text = {},
                 int position = 0) {
  BindingRule rule;
  rule.strip = strip;
  rule.kind = kind;
  rule.match = match;
  rule.text = std::move(text);
  rule.position = position;
  return rule;
}

BindingRule PatternRule(int strip, std::string property, std::string expression) {
  BindingRule rule = Rule(strip, TargetKind::Stream, BindingRule::Match::Pattern, expression);
  rule.property = std::move(property);
  std::string error;
  rule.pattern = RuleMatcher::Compile(expression, error);
  return rule;
}

// Software synthesisers whose playback is the MIDI strip's by default.
constexpr std::string_view kSynthesisers =
    "^(fluidsynth|timidity|qsynth|zynaddsubfx|yoshimi|setbfree|amsynth|surge-xt|vital|helm|"
    "linuxsampler|carla|sfizz_jack)$";

// What ALSA and PipeWire call digital inputs, in node names
// ("...iec958-stereo", "...hdmi-stereo") and descriptions ("S/PDIF").
constexpr std::string_view kDigitalInputs = "(?i)(s/?pdif|iec958|hdmi)";

// Every strip's default bindings, in the order they are tried.
std::vector<BindingRule> DefaultRules() {
  using Match = BindingRule::Match;
  std::vector<BindingRule> rules;
  rules.push_back(Rule(kMasterStrip, TargetKind::Sink, Match::Default));
  rules.push_back(Rule(kRecordStrip, TargetKind::Source, Match::Default));
  rules.push_back(PatternRule(SourceStrip(kSourceMidi, 0), "application.process.binary",
                              std::string(kSynthesisers)));
  rules.push_back(PatternRule(SourceStrip(kSourceMidi, 0), "application.name",
                              "^(FluidSynth|TiMidity|Qsynth|ZynAddSubFX|Yoshimi)"));
  // Digital 1 and 2: one capture source each whose name (else, whose
  // description) says it is a digital input (S/PDIF, IEC958, HDMI), in the
  // server's order.
  for (int index = 0; index < mixer_dbus::kSourcesPerType[kSourceDigital]; ++index) {
    for (const char* property : {"node.name", "device.description"}) {
      BindingRule rule =
          PatternRule(SourceStrip(kSourceDigital, index), property, std::string(kDigitalInputs));
      rule.kind = TargetKind::Source;
      rule.firstCaptureOnly = true;
      rules.push_back(std::move(rule));
    }
  }
  for (int index = 0; index < mixer_dbus::kSourcesPerType[kSourceAnalog]; ++index) {
    rules.push_back(Rule(SourceStrip(kSourceAnalog, index), TargetKind::Source, Match::Position, {},
                         index + 1));
  }
  rules.push_back(Rule(SourceStrip(kSourceWave, 0), TargetKind::Stream, Match::Any));
  const std::pair<int, std::string_view> elements[] = {
      {kMasterStrip, "Master"},
      {kRecordStrip, "Capture"},
      {SourceStrip(kSourceAnalog, 0), "Line"},
      {SourceStrip(kSourceAnalog, 1), "Mic"},
      {SourceStrip(kSourceAnalog, 2), "CD"},
      {SourceStrip(kSourceAnalog, 3), "Aux"},
      {SourceStrip(kSourceDigital, 0), "IEC958"},
      {SourceStrip(kSourceWave, 0), "PCM"},
  };
  for (const auto& [strip, name] : elements) {
    BindingRule rule = Rule(strip, TargetKind::Element, Match::Equals, std::string(name));
    rule.property = std::string(kElementNameProperty);
    rules.push_back(std::move(rule));
  }
  return rules;
}

class Parser {
public:
  Parser(std::string_view fileName, std::ostream& errors)
      : m_fileName(fileName), m_errors(errors) {}

  void Fault(std::size_t line, const std::string& reason) {
    m_errors << "vantrel-mixerd: " << m_fileName << ':' << line << ": " << reason << '\n';
  }

  // Reads "PROPERTY = TEXT", "PROPERTY ~ EXPRESSION", "default", "#N" or
  // "*" into rule; false with a fault line when it is none of them.
  bool ReadMatch(std::size_t line, std::string_view value, BindingRule& rule) {
    using Match = BindingRule::Match;
    if (rule.kind == TargetKind::Element) {
      if (value.empty()) {
        Fault(line, "an element rule needs an element name; the line is ignored.");
        return false;
      }
      rule.match = Match::Equals;
      rule.property = std::string(kElementNameProperty);
      rule.text = std::string(value);
      return true;
    }
    if (value == "*") {
      rule.match = Match::Any;
      return true;
    }
    if (EqualsIgnoringAsciiCase(value, "default")) {
      if (rule.kind == TargetKind::Stream) {
        Fault(line, "\"default\" names the default sink or source, not a stream; the line is "
                    "ignored.");
        return false;
      }
      rule.match = Match::Default;
      return true;
    }
    if (value.starts_with("app") && TrimBlanks(value.substr(3)).starts_with('#')) {
      const std::string_view number = TrimBlanks(TrimBlanks(value.substr(3)).substr(1));
      const int32_t position = ParseInt32(number).value_or(0);
      if (rule.kind != TargetKind::Stream || position < 1 ||
          static_cast<std::size_t>(position) > kMaxNumberedApps ||
          number.find_first_not_of("0123456789") != std::string_view::npos) {
        Fault(line,
              "\"" + std::string(value) + "\": an application is app # and a number from 1 to " +
                  std::to_string(kMaxNumberedApps) + ", for streams only; the line is ignored.");
        return false;
      }
      rule.match = Match::App;
      rule.position = position;
      return true;
    }
    if (!value.empty() && value.front() == '#') {
      const int32_t position = ParseInt32(value.substr(1)).value_or(0);
      if (rule.kind != TargetKind::Source || position < 1 ||
          value.find_first_not_of("0123456789", 1) != std::string_view::npos) {
        Fault(line, "\"" + std::string(value) +
                        "\": a position is # and a number from 1, for capture sources only; the "
                        "line is ignored.");
        return false;
      }
      rule.match = Match::Position;
      rule.position = position;
      return true;
    }
    const std::size_t op = value.find_first_of("=~");
    if (op == std::string_view::npos) {
      Fault(line, "\"" + std::string(value) +
                      "\" is not a rule (PROPERTY = TEXT, PROPERTY ~ EXPRESSION, default, #N, "
                      "app #N or *); the line is ignored.");
      return false;
    }
    rule.property = std::string(TrimBlanks(value.substr(0, op)));
    rule.text = std::string(TrimBlanks(value.substr(op + 1)));
    if (std::ranges::find(kRuleProperties, rule.property) == std::end(kRuleProperties)) {
      std::string known;
      for (std::string_view name : kRuleProperties) {
        known += (known.empty() ? "" : ", ") + std::string(name);
      }
      Fault(line, "unknown property \"" + rule.property + "\" (known: " + known +
                      "); the line is ignored.");
      return false;
    }
    if (value[op] == '=') {
      rule.match = Match::Equals;
      return true;
    }
    std::string error;
    rule.pattern = RuleMatcher::Compile(rule.text, error);
    if (!rule.pattern) {
      Fault(line,
            "bad regular expression \"" + rule.text + "\" (" + error + "); the line is ignored.");
      return false;
    }
    rule.match = Match::Pattern;
    return true;
  }

private:
  std::string_view m_fileName;
  std::ostream& m_errors;
};

} // namespace

std::string_view TargetKindName(TargetKind kind) {
  // In TargetKind's order.
  constexpr std::array<std::string_view, kKinds.size()> kNames = {"stream", "sink", "source",
                                                                  "element"};
  const auto index = static_cast<std::size_t>(kind);
  return index < kNames.size() ? kNames[index] : "?";
}

const std::string* TargetProperties::Find(std::string_view name) const {
  for (const auto& [key, value] : properties) {
    if (key == name) {
      return &value;
    }
  }
  return nullptr;
}

std::string DefaultMixerConfigPath() {
  const std::filesystem::path folder = VantrelFolder(XdgBase::Config).value_or(".");
  return (folder / "mixer.ini").string();
}

MixerConfig DefaultMixerConfig() {
  MixerConfig config;
  config.rules = DefaultRules();
  return config;
}

MixerConfig ParseMixerConfig(std::string_view text, std::string_view fileName,
                             std::ostream& errors) {
  Parser parser(fileName, errors);
  MixerConfig config;
  std::array<bool, kStripCount> configured{};
  for (const CProfileFile::Entry& entry : CProfileFile(text).Entries()) {
    using Kind = CProfileFile::Entry::Kind;
    if (entry.kind == Kind::Unreadable) {
      parser.Fault(entry.line, "\"" + entry.value + "\" is neither a section nor a key; ignored.");
      continue;
    }
    const bool mixerSection = EqualsIgnoringAsciiCase(entry.section, kMixerSection);
    const bool outputsSection = EqualsIgnoringAsciiCase(entry.section, kOutputsSection);
    const bool effectsSection = EqualsIgnoringAsciiCase(entry.section, kEffectsSection);
    const std::optional<int> strip = FindStrip(entry.section);
    if (entry.kind == Kind::Section) {
      if (strip) {
        configured[static_cast<std::size_t>(*strip)] = true;
      } else if (!mixerSection && !outputsSection && !effectsSection) {
        parser.Fault(entry.line, "unknown section [" + entry.value +
                                     "] (a strip name such as [Master], [Wave] or [Analog 1], "
                                     "[Mixer], [Outputs] or [Effects]); its lines are ignored.");
      }
      continue;
    }
    if (entry.section.empty()) {
      parser.Fault(entry.line, "\"" + entry.key + "\" stands outside any section; ignored.");
      continue;
    }
    if (mixerSection) {
      if (EqualsIgnoringAsciiCase(entry.key, "backend")) {
        if (entry.value == "auto" || entry.value == "virtual" || entry.value == "pulse" ||
            entry.value == "alsa") {
          config.backend = entry.value;
        } else {
          parser.Fault(entry.line, "unknown back end \"" + entry.value +
                                       "\" (auto, virtual, pulse or alsa); ignored.");
        }
      } else if (EqualsIgnoringAsciiCase(entry.key, "card")) {
        config.card = entry.value;
      } else if (EqualsIgnoringAsciiCase(entry.key, "taper")) {
        if (EqualsIgnoringAsciiCase(entry.value, "desktop")) {
          config.taper = VolumeTaper::Desktop;
        } else if (EqualsIgnoringAsciiCase(entry.value, "amplitude")) {
          config.taper = VolumeTaper::Amplitude;
        } else {
          parser.Fault(entry.line,
                       "unknown taper \"" + entry.value + "\" (desktop or amplitude); ignored.");
        }
      } else {
        parser.Fault(entry.line, "unknown key \"" + entry.key + "\" in [Mixer]; ignored.");
      }
      continue;
    }
    if (effectsSection) {
      const std::optional<int> effect = FindEffect(entry.key);
      const std::optional<EffectSetting> setting = ParseEffectSetting(entry.value);
      if (!effect) {
        parser.Fault(entry.line, "unknown effect \"" + entry.key +
                                     "\" (Reverb, Chorus, ... ParamEQ4); ignored.");
      } else if (!setting) {
        parser.Fault(entry.line, "\"" + entry.value +
                                     "\" is not PLUGIN LABEL [CONTROLS] (letters, digits and _-. "
                                     "in names, numbers and commas in controls); ignored.");
      } else {
        config.effects[static_cast<std::size_t>(*effect)] = *setting;
      }
      continue;
    }
    if (outputsSection) {
      if (!ReadOutput(config, entry.key, entry.value)) {
        parser.Fault(entry.line, "unknown output pair \"" + entry.key +
                                     "\" (A1+2, A3+4, A5+6, A5+8, A7+8, D1, D or D2); ignored.");
      }
      continue;
    }
    if (!strip) {
      continue; // its section was reported once
    }
    const auto kind = std::ranges::find_if(kKinds, [&](TargetKind k) {
      return EqualsIgnoringAsciiCase(entry.key, TargetKindName(k));
    });
    if (kind == kKinds.end()) {
      parser.Fault(entry.line,
                   "unknown key \"" + entry.key + "\" (stream, sink, source or element); ignored.");
      continue;
    }
    BindingRule rule;
    rule.strip = *strip;
    rule.kind = *kind;
    if (parser.ReadMatch(entry.line, entry.value, rule)) {
      config.rules.push_back(std::move(rule));
    }
  }
  for (BindingRule& rule : DefaultRules()) {
    if (!configured[static_cast<std::size_t>(rule.strip)]) {
      config.rules.push_back(std::move(rule));
    }
  }
  std::ranges::stable_sort(config.rules, {}, &BindingRule::Rank);
  return config;
}

MixerConfig LoadMixerConfig(const std::string& path, std::ostream& errors) {
  const FileReadResult file = ReadWholeFile(path, kMaxConfigBytes);
  if (file.status == FileReadResult::Status::Failed ||
      file.status == FileReadResult::Status::Unsuitable) {
    errors << "vantrel-mixerd: cannot read the mapping file " << path << " (" << file.error
           << "); using the default bindings.\n";
  }
  if (file.status != FileReadResult::Status::Read) {
    return DefaultMixerConfig();
  }
  return ParseMixerConfig(file.text, path, errors);
}

namespace {

bool Matches(const BindingRule& rule, const TargetProperties& target) {
  using Match = BindingRule::Match;
  switch (rule.match) {
  case Match::Default:
    return target.isDefault;
  case Match::Any:
    return true;
  case Match::Equals:
  case Match::Pattern: {
    const std::string* value = target.Find(rule.property);
    if (value == nullptr) {
      return false;
    }
    return rule.match == Match::Equals ? *value == rule.text : rule.pattern.Search(*value);
  }
  case Match::Position:
    return false; // counted by BindTargets
  case Match::App:
    return target.appNumber == rule.position;
  }
  return false;
}

} // namespace

bool ClaimedByProperty(const MixerConfig& config, TargetKind kind, const TargetProperties& target) {
  return std::ranges::any_of(config.rules, [&](const BindingRule& rule) {
    return rule.kind == kind && rule.Rank() == 0 && Matches(rule, target);
  });
}

int HighestAppNumber(const MixerConfig& config) {
  int highest = 0;
  for (const BindingRule& rule : config.rules) {
    if (rule.match == BindingRule::Match::App) {
      highest = std::max(highest, rule.position);
    }
  }
  return highest;
}

std::vector<int> BindTargets(const MixerConfig& config, TargetKind kind,
                             std::span<const TargetProperties> targets) {
  std::vector<int> strips(targets.size(), -1);
  // Positions count what the property and default rules left over.
  std::vector<std::size_t> leftOver;
  for (int rank = 0; rank <= 2; ++rank) {
    if (rank == 1) {
      for (std::size_t i = 0; i < targets.size(); ++i) {
        if (strips[i] < 0 && !targets[i].isMonitor) {
          leftOver.push_back(i);
        }
      }
    }
    for (const BindingRule& rule : config.rules) {
      if (rule.kind != kind || rule.Rank() != rank) {
        continue;
      }
      if (rule.match == BindingRule::Match::Position) {
        const auto at = static_cast<std::size_t>(rule.position - 1);
        if (at < leftOver.size() && strips[leftOver[at]] < 0) {
          strips[leftOver[at]] = rule.strip;
        }
        continue;
      }
      if (rule.firstCaptureOnly && std::ranges::find(strips, rule.strip) != strips.end()) {
        continue; // the strip has its one source
      }
      for (std::size_t i = 0; i < targets.size(); ++i) {
        if (rule.firstCaptureOnly && targets[i].isMonitor) {
          continue;
        }
        if (strips[i] < 0 && Matches(rule, targets[i])) {
          strips[i] = rule.strip;
          if (rule.firstCaptureOnly) {
            break;
          }
        }
      }
    }
  }
  return strips;
}

} // namespace vantrel::mixerd
