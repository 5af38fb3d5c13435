#include "app/single_instance.h"

#include "settings/settings.h"

#include <cstdio>

namespace vantrel {

std::filesystem::path ProfilePathOf(const CommandLine& options) {
  return options.profile.empty() ? DefaultProfilePath("vantrel") : options.profile;
}

std::optional<std::string> ProfileInUse(const CFileLock& lock,
                                        const std::filesystem::path& profile) {
  switch (lock.GetState()) {
  case CFileLock::State::Held:
    return std::nullopt;
  case CFileLock::State::Unavailable:
    std::fprintf(stderr,
                 "vantrel: cannot lock the profile \"%s\" (%s); a second program on it would not "
                 "be noticed.\n",
                 profile.c_str(), lock.Error().c_str());
    return std::nullopt;
  case CFileLock::State::HeldByOther:
    break;
  }
  const std::string holder =
      lock.Holder() > 0 ? " (process " + std::to_string(lock.Holder()) + ")" : std::string();
  return "the profile \"" + profile.string() + "\" is in use by another running Vantrel" + holder +
         ". Stop that one first, or start this one with another profile (--profile PATH).";
}

} // namespace vantrel
