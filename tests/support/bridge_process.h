#pragma once
// The built vantrel program as a child process, for end-to-end tests: its
// standard output and error go to files that tests can wait on.

#include <chrono>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vantrel::test {

std::string BridgeProgram();

class BridgeProcess {
public:
  // Extra environment variables are added to the test's own.
  BridgeProcess(std::vector<std::string> arguments, std::string outputFolder,
                std::map<std::string, std::string> environment = {});
  ~BridgeProcess();
  BridgeProcess(const BridgeProcess&) = delete;
  BridgeProcess& operator=(const BridgeProcess&) = delete;

  bool Start();
  // Waits until the standard output holds text; false on timeout or exit.
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(15));
  // Sends the signal and waits: the exit code, or -1 when it did not exit
  // normally within the timeout (it is then killed).
  int Stop(int signal = 15, std::chrono::milliseconds timeout = std::chrono::seconds(15));
  std::string Output() const;
  std::string Errors() const;
  pid_t Pid() const { return m_pid; }

private:
  std::vector<std::string> m_arguments;
  std::map<std::string, std::string> m_environment;
  std::string m_outPath;
  std::string m_errPath;
  pid_t m_pid = 0;
};

} // namespace vantrel::test
