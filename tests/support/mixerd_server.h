#pragma once
// The real vantrel-mixerd for tests: started on the test bus (the session
// bus of the test command) with a state file in a private temporary folder,
// and stopped with the test.
//
// Only one server can own org.vantrel.Mixer on a bus, so tests that start
// one must not run at the same time as each other: give them the CTest
// property RESOURCE_LOCK vantrel_mixer_bus. Start() also waits for a server
// left by another test to go away before it gives up.

#include "support/file_text.h"
#include "support/temp_dir.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vantrel::test {

// The built programs.
std::string MixerdProgram();
std::string MixerctlProgram();

// The process id of the owner of org.vantrel.Mixer on the session bus, or 0.
pid_t MixerNameOwnerPid();
// Waits until the name is owned (or free) and answers whether it happened.
bool WaitForMixerName(bool owned, std::chrono::milliseconds timeout);
// Sends `signal` to the name's owner and waits until the name is free.
bool StopMixerNameOwner(int signal = 15);

// Writes `mapping` as the mapping file dir/mixer.ini and answers the
// server's arguments for `backend` with it.
std::vector<std::string> BackendWithMapping(const TempDir& dir, std::string_view mapping,
                                            const std::string& backend = "virtual");

class MixerdProcess {
public:
  // The server keeps its state in `statePath`; its standard error goes to a
  // file beside it. `arguments` follow; the virtual card unless they say
  // otherwise, so that no test drives a real mixer by chance.
  explicit MixerdProcess(std::string statePath,
                         std::vector<std::string> arguments = {"--backend", "virtual"});
  ~MixerdProcess();
  MixerdProcess(const MixerdProcess&) = delete;
  MixerdProcess& operator=(const MixerdProcess&) = delete;

  // Replaces the arguments that follow the state file, before Start().
  void SetArguments(std::vector<std::string> arguments) { m_arguments = std::move(arguments); }

  // Starts the server and waits until it owns the name. False on failure.
  bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // SIGTERM, then waits: the exit code, or -1 when it did not exit normally.
  int Stop();
  // SIGKILL, then waits.
  void Kill();
  bool Running() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }
  const std::string& StatePath() const { return m_statePath; }
  // What the server wrote to standard error so far.
  std::string Errors() const;

private:
  int Wait();

  std::string m_statePath;
  std::vector<std::string> m_arguments;
  std::string m_errorPath;
  pid_t m_pid = 0;
};

struct CommandResult {
  int exitCode = -1; // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs a program to its end with a time limit and collects its output.
CommandResult RunCommand(const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

// What the server itself holds, asked with vantrel-mixerctl as another
// client would ("BusLevel", "0"): the first result, or -1 when the call
// failed. A program's own getters answer from its mirror instead.
int32_t ServerReads(std::vector<std::string> args);
// Sets a value on the server with vantrel-mixerctl ("BusMute", "0", "1");
// false when the call failed.
bool ServerSets(std::vector<std::string> args);

} // namespace vantrel::test
