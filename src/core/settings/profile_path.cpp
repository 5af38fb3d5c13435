#include "files/xdg_folders.h"
#include "settings/settings.h"

#include <cstdio>

namespace vantrel {

std::filesystem::path DefaultProfilePath(std::string_view executableBaseName) {
  const std::string fileName = std::string(executableBaseName) + ".INI";
  if (const std::optional<std::filesystem::path> folder = VantrelFolder(XdgBase::Config)) {
    return *folder / fileName;
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
