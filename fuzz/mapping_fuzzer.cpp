// The mapping file and its rules: any text gives a configuration and a fault
// line per refused line, and binding any objects against it answers (in
// linear time, so a slow input is a finding) with a strip or none for each.
// Every object that a rule names exactly, or whose value a rule's
// expression matches, is bound.
//
// Input: the file, then after a NUL byte the property values of the
// objects, separated by NUL bytes.

#include "mixer_config.h"
#include "mixer_strips.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vantrel::mixerd;

constexpr TargetKind kKinds[] = {TargetKind::Stream, TargetKind::Sink, TargetKind::Source,
                                 TargetKind::Element};

void Check(bool holds) {
  if (!holds) {
    std::abort();
  }
}

// Binds `targets` for every kind and checks each answer is a strip or none.
void CheckBindings(const MixerConfig& config, const std::vector<TargetProperties>& targets) {
  for (TargetKind kind : kKinds) {
    const std::vector<int> strips = BindTargets(config, kind, targets);
    Check(strips.size() == targets.size());
    for (int strip : strips) {
      Check(strip >= -1 && strip < kStripCount);
    }
  }
}

TargetProperties OneProperty(const std::string& name, const std::string& value) {
  TargetProperties target;
  target.properties = {{name, value}};
  return target;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t end = std::min(input.find('\0'), input.size());
  std::ostringstream errors;
  const MixerConfig config = ParseMixerConfig(input.substr(0, end), "fuzz.ini", errors);

  // One fault line each, all naming the file.
  std::istringstream lines(errors.str());
  for (std::string line; std::getline(lines, line);) {
    Check(line.starts_with("vantrel-mixerd: fuzz.ini:"));
  }

  // The values after the file, on each rule property in turn.
  std::vector<TargetProperties> targets;
  std::size_t next = 0;
  for (std::size_t at = end + 1; at <= input.size();) {
    const std::size_t stop = std::min(input.find('\0', at), input.size());
    const std::string_view name = kRuleProperties[next++ % std::size(kRuleProperties)];
    targets.push_back(OneProperty(std::string(name), std::string(input.substr(at, stop - at))));
    at = stop + 1;
  }
  CheckBindings(config, targets);

  for (const BindingRule& rule : config.rules) {
    if (rule.match == BindingRule::Match::Equals) {
      const TargetProperties named = OneProperty(rule.property, rule.text);
      Check(BindTargets(config, rule.kind, std::span(&named, 1)).front() >= 0);
    }
    if (rule.match != BindingRule::Match::Pattern) {
      continue;
    }
    Check(static_cast<bool>(rule.pattern));
    for (const TargetProperties& target : targets) {
      const auto& [name, value] = target.properties.front();
      if (name == rule.property && rule.pattern.Search(value)) {
        Check(BindTargets(config, rule.kind, std::span(&target, 1)).front() >= 0);
      }
    }
  }
  return 0;
}
