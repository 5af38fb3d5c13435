#include "files/file_io.h"

#include "posix/unique_fd.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vantrel {

namespace {

// Longer chains are treated as loops, as the kernel does.
constexpr int kMaxLinkHops = 40;
// Short whatever the file's own name, so a name that fits the file system
// always leaves room for the temporary one beside it.
constexpr std::string_view kTemporaryPrefix = ".vantrel-save-";

std::string Reason(int error) {
  return std::generic_category().message(error);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  std::filesystem::path folder = path.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// Removes the temporary files that processes of this user left in folder
// when they were killed while saving. A process still alive (or a process id
// already reused) keeps its files; so do other users.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::optional<pid_t> owner = TemporaryFileOwner(it->path().filename().native());
    if (!owner || *owner == ::getpid() || ::kill(*owner, 0) == 0 || errno != ESRCH) {
      continue;
    }
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_uid == ::geteuid()) {
      ::unlink(it->path().c_str());
    }
  }
}

// Once per folder and process: later leftovers in it can only be this
// process's own, which it removes itself.
void RemoveStaleTemporaryFilesOnce(const std::filesystem::path& folder) {
  static std::mutex mutex;
  static std::set<std::filesystem::path> cleaned;
  std::error_code error;
  std::filesystem::path key = std::filesystem::absolute(folder, error);
  const std::scoped_lock lock(mutex);
  if (cleaned.insert(error ? folder : key).second) {
    RemoveStaleTemporaryFiles(folder);
  }
}

// Creates a new file beside path with a name no one else uses.
int CreateTemporaryBeside(const std::filesystem::path& path, mode_t mode,
                          std::filesystem::path& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = FolderOf(path) / TemporaryFileName(::getpid(), counter++);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

FileReadResult Unsuitable(std::string why) {
  FileReadResult result;
  result.status = FileReadResult::Status::Unsuitable;
  result.error = std::move(why);
  return result;
}

FileReadResult Failed(int error) {
  FileReadResult result;
  result.status = FileReadResult::Status::Failed;
  result.error = Reason(error);
  return result;
}

std::string TooLarge(std::size_t maxBytes) {
  return "it is larger than " + std::to_string(maxBytes) + " bytes";
}

} // namespace

FileReadResult ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
  // Non-blocking so that a pipe in the file's place cannot hang the open.
  CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) {
    if (errno == ENOENT) {
      return {};
    }
    if (errno == ENXIO || errno == ENODEV) {
      return Unsuitable("it is not a regular file");
    }
    return Failed(errno);
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) {
    return Failed(errno);
  }
  if (!S_ISREG(info.st_mode)) {
    return Unsuitable(S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file");
  }
  if (static_cast<std::size_t>(info.st_size) > maxBytes) {
    return Unsuitable(TooLarge(maxBytes));
  }
  FileReadResult result;
  result.text.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got == 0) {
      break;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Failed(errno);
    }
    // The file may grow while it is read.
    if (static_cast<std::size_t>(got) > maxBytes - result.text.size()) {
      return Unsuitable(TooLarge(maxBytes));
    }
    result.text.append(buffer, static_cast<std::size_t>(got));
  }
  result.status = FileReadResult::Status::Read;
  result.mode = info.st_mode & 07777;
  result.owner = info.st_uid;
  result.group = info.st_gid;
  return result;
}

std::optional<std::filesystem::path> WriteTarget(const std::filesystem::path& path) {
  std::filesystem::path current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    std::error_code error;
    if (!std::filesystem::is_symlink(current, error)) {
      return current;
    }
    const std::filesystem::path next = std::filesystem::read_symlink(current, error);
    if (error) {
      return current;
    }
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return std::nullopt;
}

std::optional<std::string> CreateParentFolders(const std::filesystem::path& path, mode_t mode) {
  const std::filesystem::path folder = path.parent_path();
  std::error_code error;
  if (folder.empty() || std::filesystem::is_directory(folder, error)) {
    return std::nullopt;
  }
  std::filesystem::path built;
  for (const std::filesystem::path& part : folder) {
    built /= part;
    if (::mkdir(built.c_str(), mode) != 0 && errno != EEXIST) {
      return "its folder cannot be created (" + Reason(errno) + ")";
    }
  }
  if (!std::filesystem::is_directory(folder, error)) {
    return "its folder cannot be created (" + Reason(ENOTDIR) + ")";
  }
  return std::nullopt;
}

std::optional<std::string> ReplaceFileAtomically(const std::filesystem::path& path,
                                                 std::string_view text, const FileReadResult& old,
                                                 mode_t newFileMode) {
  RemoveStaleTemporaryFilesOnce(FolderOf(path));
  std::filesystem::path tempPath;
  CUniqueFd fd(CreateTemporaryBeside(path, newFileMode, tempPath));
  if (fd.Get() < 0) {
    return "a temporary file cannot be created in its folder (" + Reason(errno) + ")";
  }
  const auto fail = [&](const char* what) {
    const int error = errno;
    ::unlink(tempPath.c_str());
    return std::string(what) + " (" + Reason(error) + ")";
  };
  if (!WriteAll(fd.Get(), text)) {
    return fail("the new text cannot be written");
  }
  if (old.status == FileReadResult::Status::Read) {
    // Only root can give the file away, and must, or a file saved by root
    // would no longer belong to its user.
    if (::geteuid() == 0 && ::fchown(fd.Get(), old.owner, old.group) != 0) {
      return fail("the file's owner cannot be kept");
    }
    if (::fchmod(fd.Get(), old.mode) != 0) {
      return fail("the file's permissions cannot be kept");
    }
  }
  if (::fsync(fd.Get()) != 0) {
    return fail("the new text cannot be flushed to disk");
  }
  if (fd.Close() != 0) {
    return fail("the new text cannot be written");
  }
  if (::rename(tempPath.c_str(), path.c_str()) != 0) {
    return fail("the new file cannot take the old one's place");
  }
  // The rename is durable once the folder is flushed too. A failure here is
  // not a lost write (the file is already replaced, and some file systems
  // cannot flush folders), so it is not reported.
  CUniqueFd folderFd(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd.Get() >= 0) {
    ::fsync(folderFd.Get());
  }
  return std::nullopt;
}

std::string TemporaryFileName(pid_t pid, unsigned counter) {
  return std::string(kTemporaryPrefix) + std::to_string(pid) + "-" + std::to_string(counter);
}

std::optional<pid_t> TemporaryFileOwner(std::string_view fileName) {
  if (!fileName.starts_with(kTemporaryPrefix)) {
    return std::nullopt;
  }
  fileName.remove_prefix(kTemporaryPrefix.size());
  const std::size_t dash = fileName.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash + 1 == fileName.size() ||
      fileName.find_first_not_of("0123456789", dash + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(fileName.data(), fileName.data() + dash, pid);
  if (error != std::errc() || end != fileName.data() + dash || pid <= 0) {
    return std::nullopt;
  }
  return pid;
}

} // namespace vantrel
