#include "support/mixerd_server.h"

#include "mixer/dbus_mixer_protocol.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantrel::test {

namespace {

constexpr int kNameTakenExit = 3;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// Forks and runs `args` with standard output and error in the given files.
// The child dies with the test process, so a crashed test leaves nothing.
pid_t Spawn(const std::vector<std::string>& args, const std::string& outPath,
            const std::string& errPath) {
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
    }
    if (err >= 0) {
      ::dup2(err, STDERR_FILENO);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// waitpid with a time limit; true with `status` when the child ended.
bool WaitFor(pid_t pid, int& status, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) {
      return done == pid;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::string MixerdProgram() {
  return std::string(VANTREL_BIN_DIR) + "/vantrel-mixerd";
}
std::string MixerctlProgram() {
  return std::string(VANTREL_BIN_DIR) + "/vantrel-mixerctl";
}

std::vector<std::string> BackendWithMapping(const TempDir& dir, std::string_view mapping,
                                            const std::string& backend) {
  std::ofstream(dir.File("mixer.ini")) << mapping;
  return {"--backend", backend, "--mixer-config", dir.File("mixer.ini")};
}

pid_t MixerNameOwnerPid() {
  try {
    auto connection = sdbus::createSessionBusConnection();
    auto bus = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    uint32_t pid = 0;
    bus->callMethod("GetConnectionUnixProcessID")
        .onInterface("org.freedesktop.DBus")
        .withArguments(std::string(mixer_dbus::kBusName))
        .storeResultsTo(pid);
    return static_cast<pid_t>(pid);
  } catch (const sdbus::Error&) {
    return 0;
  }
}

bool WaitForMixerName(bool owned, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if ((MixerNameOwnerPid() != 0) == owned) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

bool StopMixerNameOwner(int signal) {
  const pid_t owner = MixerNameOwnerPid();
  if (owner == 0) {
    return true;
  }
  ::kill(owner, signal);
  return WaitForMixerName(false, std::chrono::seconds(10));
}

MixerdProcess::MixerdProcess(std::string statePath, std::vector<std::string> arguments)
    : m_statePath(std::move(statePath)), m_arguments(std::move(arguments)),
      m_errorPath(m_statePath + ".stderr") {}

MixerdProcess::~MixerdProcess() {
  if (m_pid > 0) {
    Stop();
  }
}

bool MixerdProcess::Start(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::vector<std::string> args = {MixerdProgram(), "--state", m_statePath};
    args.insert(args.end(), m_arguments.begin(), m_arguments.end());
    m_pid = Spawn(args, "/dev/null", m_errorPath);
    if (m_pid < 0) {
      m_pid = 0;
      return false;
    }
    for (;;) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = 0;
        if (ExitCode(status) != kNameTakenExit) {
          return false;
        }
        // Another test's server still holds the name; wait for it to leave.
        WaitForMixerName(false, std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now()));
        break;
      }
      if (MixerNameOwnerPid() == m_pid) {
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        Kill();
        return false;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  return false;
}

int MixerdProcess::Wait() {
  int status = 0;
  if (!WaitFor(m_pid, status, std::chrono::seconds(10))) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    status = -1;
  }
  m_pid = 0;
  return status == -1 ? -1 : ExitCode(status);
}

int MixerdProcess::Stop() {
  if (m_pid <= 0) {
    return -1;
  }
  ::kill(m_pid, SIGTERM);
  return Wait();
}

void MixerdProcess::Kill() {
  if (m_pid <= 0) {
    return;
  }
  ::kill(m_pid, SIGKILL);
  Wait();
}

std::string MixerdProcess::Errors() const {
  return ReadTextFile(m_errorPath);
}

CommandResult RunCommand(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
  TempDir dir;
  const std::string outPath = dir.File("out");
  const std::string errPath = dir.File("err");
  CommandResult result;
  const pid_t pid = Spawn(args, outPath, errPath);
  if (pid < 0) {
    return result;
  }
  int status = 0;
  if (!WaitFor(pid, status, timeout)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    result.err = "timed out";
    return result;
  }
  result.exitCode = ExitCode(status);
  result.out = ReadTextFile(outPath);
  result.err = ReadTextFile(errPath);
  return result;
}

int32_t ServerReads(std::vector<std::string> args) {
  args.insert(args.begin(), {MixerctlProgram(), "get"});
  const CommandResult result = RunCommand(args);
  return result.exitCode == 0 ? std::atoi(result.out.c_str()) : -1;
}

bool ServerSets(std::vector<std::string> args) {
  args.insert(args.begin(), {MixerctlProgram(), "set"});
  return RunCommand(args).exitCode == 0;
}

} // namespace vantrel::test
