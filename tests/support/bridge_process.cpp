#include "support/bridge_process.h"

#include "support/mixerd_server.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantrel::test {

std::string BridgeProgram() {
  return std::string(VANTREL_BIN_DIR) + "/vantrel";
}

BridgeProcess::BridgeProcess(std::vector<std::string> arguments, std::string outputFolder,
                             std::map<std::string, std::string> environment)
    : m_arguments(std::move(arguments)), m_environment(std::move(environment)),
      m_outPath(outputFolder + "/vantrel.out"), m_errPath(outputFolder + "/vantrel.err") {}

BridgeProcess::~BridgeProcess() {
  if (m_pid > 0) {
    Stop(SIGKILL, std::chrono::seconds(5));
  }
}

bool BridgeProcess::Start() {
  std::vector<std::string> args = m_arguments;
  args.insert(args.begin(), BridgeProgram());
  std::vector<char*> argv;
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  m_pid = fork();
  if (m_pid < 0) {
    m_pid = 0;
    return false;
  }
  if (m_pid == 0) {
    for (const auto& [name, value] : m_environment) {
      setenv(name.c_str(), value.c_str(), 1);
    }
    const int out = open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    // The test may have blocked signals for its own use; the child starts clean.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return true;
}

bool BridgeProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (Output().find(text) != std::string::npos) {
      return true;
    }
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = 0;
      return Output().find(text) != std::string::npos;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int BridgeProcess::Stop(int signal, std::chrono::milliseconds timeout) {
  if (m_pid <= 0) {
    return -1;
  }
  kill(m_pid, signal);
  const auto end = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (waitpid(m_pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      m_pid = 0;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_pid = 0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string BridgeProcess::Output() const {
  return ReadTextFile(m_outPath);
}
std::string BridgeProcess::Errors() const {
  return ReadTextFile(m_errPath);
}

} // namespace vantrel::test
