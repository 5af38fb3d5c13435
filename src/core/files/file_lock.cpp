#include "files/file_lock.h"

#include "files/file_io.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <functional>
#include <system_error>
#include <unistd.h>

namespace vantrel {

namespace {

// Longest file name most file systems take.
constexpr std::size_t kMaxNameBytes = 255;

pid_t ReadHolder(int fd) {
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) {
    return 0;
  }
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(text, text + got, pid);
  return error == std::errc() && pid > 0 ? pid : 0;
}

} // namespace

std::filesystem::path LockPathOf(const std::filesystem::path& file) {
  std::string name = "." + file.filename().string() + ".lock";
  if (name.size() > kMaxNameBytes) {
    // A name that would not fit is replaced by its hash; still one per file.
    name =
        ".vantrel-" + std::to_string(std::hash<std::string>()(file.filename().string())) + ".lock";
  }
  return file.parent_path() / name;
}

CFileLock::CFileLock(const std::filesystem::path& file) {
  const std::filesystem::path lockPath = LockPathOf(WriteTarget(file).value_or(file));
  if (std::optional<std::string> failure = CreateParentFolders(lockPath)) {
    m_error = *failure;
    return;
  }
  m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (m_fd < 0) {
    m_error = std::generic_category().message(errno);
    return;
  }
  // An open-file-description lock: tied to this descriptor (so it is not
  // passed on to programs this one starts) and refused even to a second
  // lock in the same process.
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(m_fd, F_OFD_SETLK, &lock) != 0) {
    const int error = errno;
    if (error == EAGAIN || error == EACCES) {
      m_state = State::HeldByOther;
      m_holder = ReadHolder(m_fd);
    } else {
      m_error = std::generic_category().message(error);
    }
    ::close(m_fd);
    m_fd = -1;
    return;
  }
  m_state = State::Held;
  // Should this fail, the lock holds all the same; only the holder's id
  // stays unknown to the one refused.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(m_fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(m_fd, pid.data(), pid.size(), 0);
  }
}

CFileLock::~CFileLock() {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

} // namespace vantrel
