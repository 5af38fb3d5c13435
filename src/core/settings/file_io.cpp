#include "settings/file_io.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vantrel {

namespace {

std::string Reason(int error) {
  return std::generic_category().message(error);
}

// Closes the descriptor when it goes out of scope.
class CFileDescriptor {
public:
  explicit CFileDescriptor(int fd) : m_fd(fd) {}
  ~CFileDescriptor() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  CFileDescriptor(const CFileDescriptor&) = delete;
  CFileDescriptor& operator=(const CFileDescriptor&) = delete;

  int Get() const { return m_fd; }
  // Closes now, for callers that must see the result (NFS reports late
  // write errors here).
  int Close() {
    const int result = ::close(m_fd);
    m_fd = -1;
    return result;
  }

private:
  int m_fd;
};

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

// Creates a new file beside path with a name no one else uses.
int CreateTemporaryBeside(const std::filesystem::path& path, std::filesystem::path& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = path;
    tempPath.replace_filename("." + path.filename().string() + ".tmp-" +
                              std::to_string(::getpid()) + "-" + std::to_string(counter++));
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

} // namespace

FileReadResult ReadWholeFile(const std::filesystem::path& path) {
  FileReadResult result;
  // Non-blocking so that a pipe in the file's place cannot hang the open.
  CFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) {
    if (errno == ENOENT) {
      return result;
    }
    result.status = FileReadResult::Status::Failed;
    result.error = Reason(errno);
    return result;
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) {
    result.status = FileReadResult::Status::Failed;
    result.error = Reason(errno);
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.status = FileReadResult::Status::Failed;
    result.error = S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file";
    return result;
  }
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
      result.status = FileReadResult::Status::Failed;
      result.error = Reason(errno);
      result.text.clear();
      return result;
    }
    result.text.append(buffer, static_cast<std::size_t>(got));
  }
  result.status = FileReadResult::Status::Read;
  result.mode = info.st_mode & 07777;
  result.owner = info.st_uid;
  result.group = info.st_gid;
  return result;
}

std::optional<std::string> ReplaceFileAtomically(const std::filesystem::path& path,
                                                 std::string_view text, const FileReadResult& old) {
  std::filesystem::path tempPath;
  CFileDescriptor fd(CreateTemporaryBeside(path, tempPath));
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
    // Only root can give the file away, and must, or a profile saved by
    // root would no longer belong to its user.
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
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  CFileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd.Get() >= 0) {
    ::fsync(folderFd.Get());
  }
  return std::nullopt;
}

} // namespace vantrel
