#include "settings/settings.h"

#include <cstdio>
#include <cstdlib>

namespace vantrel {

namespace {

// An environment variable's value, empty when unset.
std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

} // namespace

std::filesystem::path DefaultProfilePath(std::string_view executableBaseName) {
  const std::string fileName = std::string(executableBaseName) + ".INI";
  // Relative values of XDG_CONFIG_HOME are invalid and ignored.
  const std::filesystem::path configHome = Environment("XDG_CONFIG_HOME");
  if (configHome.is_absolute()) {
    return configHome / "vantrel" / fileName;
  }
  const std::string_view home = Environment("HOME");
  if (!home.empty()) {
    return std::filesystem::path(home) / ".config" / "vantrel" / fileName;
  }
  std::error_code error;
  std::filesystem::path folder = std::filesystem::current_path(error);
  std::fputs(("vantrel: neither XDG_CONFIG_HOME nor HOME is set, so the profile " + fileName +
              " is kept in the current folder.\n")
                 .c_str(),
             stderr);
  return folder / fileName;
}

} // namespace vantrel
