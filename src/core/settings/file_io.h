#pragma once
// Whole-file reads and atomic replaces for small files that must never be
// left half written. POSIX only; failures come back as a reason phrase
// ("the folder cannot be created (Permission denied)") for the caller's
// message.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vantrel {

struct FileReadResult {
  enum class Status { Read, Missing, Failed };
  Status status = Status::Missing;
  std::string text;  // Read: the whole file
  mode_t mode = 0;   // Read: the file's permission bits
  uid_t owner = 0;   // Read: the file's owner and group
  gid_t group = 0;
  std::string error; // Failed: why
};

// Reads a regular file whole. A missing file is not a failure; a directory,
// a device, a pipe or any read error is.
FileReadResult ReadWholeFile(const std::filesystem::path& path);

// Writes text to a new file in the same folder, flushes it to disk, renames
// it over path and flushes the folder, so path holds either the old or the
// new text whatever happens. The new file takes the permissions, owner and
// group of old when it was read (as far as this process may set them), else
// the usual permissions under the umask. Returns the reason on failure, when
// path is unchanged.
std::optional<std::string> ReplaceFileAtomically(const std::filesystem::path& path,
                                                 std::string_view text, const FileReadResult& old);

} // namespace vantrel
