#include "files/xdg_folders.h"

#include <cstdlib>
#include <string_view>

namespace vantrel {

namespace {

// An environment variable's value, empty when unset.
std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

} // namespace

std::optional<std::filesystem::path> VantrelFolder(XdgBase base) {
  const bool config = base == XdgBase::Config;
  const std::filesystem::path folder = Environment(config ? "XDG_CONFIG_HOME" : "XDG_STATE_HOME");
  if (folder.is_absolute()) {
    return folder / "vantrel";
  }
  const std::string_view home = Environment("HOME");
  if (home.empty()) {
    return std::nullopt;
  }
  return std::filesystem::path(home) / (config ? ".config" : ".local/state") / "vantrel";
}

} // namespace vantrel
