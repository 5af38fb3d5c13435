#include "posix/process.h"

#include "posix/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {

namespace {

bool IsExecutable(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

// The path of this program's file: /proc/self/exe, else (a fresh chroot or
// container without /proc) the path it was started by, as the kernel passed
// it to execve, made absolute. Nothing has changed the working folder yet
// when the first caller asks, and the answer is kept.
std::string OwnPath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) {
    return std::string(buffer, static_cast<std::size_t>(n));
  }
  const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
  if (started == nullptr || ::realpath(started, buffer) == nullptr) {
    return {};
  }
  return buffer;
}

std::string OwnFolder() {
  static const std::string folder = [] {
    const std::string path = OwnPath();
    return path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
  }();
  return folder;
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) {
    return {};
  }
  const std::string folders = path;
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string folder = folders.substr(start, end - start);
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (IsExecutable(candidate)) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

} // namespace

std::string FindProgram(const std::string& name) {
  const std::string beside = OwnFolder() + "/" + name;
  return IsExecutable(beside) ? beside : FindInPath(name);
}

bool SpawnDetached(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  // Everything the child needs is built before fork: after it, only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : env) {
    envp.push_back(const_cast<char*>(entry.c_str()));
  }
  envp.push_back(nullptr);

  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return false;
  }
  CUniqueFd reportRead(ends[0]);
  CUniqueFd reportWrite(ends[1]);
  const pid_t child = ::fork();
  if (child < 0) {
    return false;
  }
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) {
      ::_exit(0);
    }
    sigset_t none;
    sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      ::dup2(devNull, STDIN_FILENO);
    }
    ::execve(argv[0], argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] const ssize_t n = ::write(reportWrite.Get(), &error, sizeof error);
    ::_exit(127);
  }
  reportWrite.Close();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int execError = 0;
  ssize_t n = 0;
  do {
    n = ::read(reportRead.Get(), &execError, sizeof execError);
  } while (n < 0 && errno == EINTR);
  return n == 0;
}

} // namespace vantrel
