#pragma once
// Whole-file reads and atomic replaces for the small files the programs
// keep (profile, mixer state, mixer mapping): one crash-safe path for all of
// them. POSIX only; failures come back as a reason phrase ("the folder
// cannot be created (Permission denied)") for the caller's message.

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vantrel {

inline constexpr std::size_t kNoSizeLimit = std::numeric_limits<std::size_t>::max();

struct FileReadResult {
  enum class Status {
    Read,
    Missing,
    // Something is there but it is no file to read: a directory, a device,
    // a pipe, or a file over the caller's size limit. Never opened for
    // reading, so it cannot block or exhaust memory.
    Unsuitable,
    Failed,
  };
  Status status = Status::Missing;
  std::string text; // Read: the whole file
  mode_t mode = 0;  // Read: the file's permission bits
  uid_t owner = 0;  // Read: the file's owner and group
  gid_t group = 0;
  std::string error; // Unsuitable, Failed: why
};

// Reads a regular file whole, never blocking on what stands in its place. A
// missing file is not a failure; anything that is not a regular file, or is
// larger than maxBytes, is Unsuitable; any other error is Failed.
FileReadResult ReadWholeFile(const std::filesystem::path& path,
                             std::size_t maxBytes = kNoSizeLimit);

// The file a write to path must replace: path itself, or, when path is a
// symbolic link, what the chain of links names in the end, even when that
// does not exist yet, so a linked file stays linked. Nothing on a link loop.
std::optional<std::filesystem::path> WriteTarget(const std::filesystem::path& path);

// Creates the folder that holds path and any folders above it, new ones
// with the given permissions (under the umask). The reason on failure.
std::optional<std::string> CreateParentFolders(const std::filesystem::path& path,
                                               mode_t mode = 0777);

// Writes text to a new file in the same folder, flushes it to disk, renames
// it over path and flushes the folder, so path holds either the old or the
// new text whatever happens. The new file takes the permissions, owner and
// group of old when it was read (as far as this process may set them), else
// newFileMode under the umask. Temporary files of processes that died while
// saving into this folder are removed at this process's first save there.
// Returns the reason on failure, when path is unchanged.
std::optional<std::string> ReplaceFileAtomically(const std::filesystem::path& path,
                                                 std::string_view text, const FileReadResult& old,
                                                 mode_t newFileMode = 0666);

// The name of this process's temporary files, and the process id such a
// name carries; nothing for names of other files.
std::string TemporaryFileName(pid_t pid, unsigned counter);
std::optional<pid_t> TemporaryFileOwner(std::string_view fileName);

} // namespace vantrel
