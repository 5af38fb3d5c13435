#pragma once
// A folder of its own for one test, removed with everything in it
// afterwards. Path() is empty when no folder could be made.

#include <filesystem>
#include <string>
#include <string_view>

#include <stdlib.h>

namespace vantrel::test {

class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      m_path = pattern;
    }
  }
  ~TempDir() {
    if (m_path.empty()) {
      return;
    }
    std::error_code ignored;
    // A folder a test made read-only must be writable again to be removed.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  // The path of `name` inside the folder, as text.
  std::string File(std::string_view name) const { return (m_path / name).string(); }

private:
  std::filesystem::path m_path;
};

} // namespace vantrel::test
