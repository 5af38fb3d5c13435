#pragma once
// One running program per profile, window or headless: two on one profile
// would open the same devices, pass every message through twice, apply
// every controller twice and overwrite each other's settings.

#include "app/command_line.h"
#include "files/file_lock.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vantrel {

// The exit code of a run refused because the profile is in use.
inline constexpr int kExitProfileInUse = 3;

// The profile of this run: --profile, else the default path.
std::filesystem::path ProfilePathOf(const CommandLine& options);

// Why this run must not go on, as a sentence, when another program holds the
// profile's lock. A lock that cannot be taken at all (a read-only folder) is
// no reason to refuse: a warning goes to standard error and the run goes on.
std::optional<std::string> ProfileInUse(const CFileLock& lock,
                                        const std::filesystem::path& profile);

} // namespace vantrel
