#pragma once
// Finding and starting other programs.

#include <string>
#include <vector>

namespace vantrel {

// The program `name` in this program's own folder, else the first in PATH
// that may be executed; empty when there is none.
std::string FindProgram(const std::string& name);

// Starts `args[0]` with `args` and the environment `env` in a session of its
// own, not as our child, so it outlives us and is never left a zombie. True
// when the program was executed.
bool SpawnDetached(const std::vector<std::string>& args, const std::vector<std::string>& env);

} // namespace vantrel
