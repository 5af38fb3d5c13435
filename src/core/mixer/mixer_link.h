#pragma once
// CMixerLink: the program's one connection to the mixer server, held for the
// whole run. Its life cycle:
//
//   Startup()  connect to the session bus                       (0 ok, 1 failed)
//   Create()   make sure vantrel-mixerd runs, then build the    (0 ok, 1 failed)
//              IMixerServer. When nobody owns org.vantrel.Mixer it starts
//              vantrel-mixerd from the program's own folder, else from PATH,
//              else through bus activation, and waits briefly for the name.
//   Server()   the IMixerServer, or nullptr while no server could be reached
//   Release()  drop the IMixerServer; Server() answers nullptr afterwards
//   Shutdown() close the bus connection
//
// After a successful Create() every call goes to the current owner of the
// name: when the server dies its calls fail quickly (getters leave the
// caller's zeros) and a restarted server is reached by the next call. When
// Create() failed, Server() looks for a server again, at most about once a
// second, so one started later is found. Ask Server() for each use rather
// than keeping its pointer across Release(). Dialog thread only.

#include "mixer/mixer_server.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace sdbus {
class IConnection;
}

namespace vantrel {

class DbusMixerServer;

struct MixerLinkOptions {
  // The bus to use; empty means the session bus.
  std::string busAddress;
  // The server program to start; empty means vantrel-mixerd from the
  // program's folder, else from PATH, else bus activation.
  std::string serverProgram;
  std::vector<std::string> serverArguments;
  // Whether Create() may start a server at all.
  bool startServer = true;
  std::chrono::milliseconds startTimeout{2000};
  // How long a getter waits for its answer.
  std::chrono::milliseconds callTimeout{1000};
};

class CMixerLink {
public:
  CMixerLink();
  explicit CMixerLink(MixerLinkOptions options);
  ~CMixerLink();
  CMixerLink(const CMixerLink&) = delete;
  CMixerLink& operator=(const CMixerLink&) = delete;

  int Startup();
  int Create();
  IMixerServer* Server();
  // True while an IMixerServer exists (Server() is not nullptr).
  bool IsPresent() const;
  void Release();
  void Shutdown();

  // Whether someone owns org.vantrel.Mixer on the link's bus right now.
  bool NameHasOwner();

  // Why the last step that failed did, in a sentence; empty before any
  // failure, and again once a server is reached.
  const std::string& LastError() const { return m_lastError; }

private:
  bool StartServerProcess();
  bool WaitForName(std::chrono::milliseconds timeout);
  void BuildServer();

  MixerLinkOptions m_options;
  std::unique_ptr<sdbus::IConnection> m_connection;
  std::unique_ptr<DbusMixerServer> m_server;
  bool m_created = false; // Create() was called and Release() not yet
  std::chrono::steady_clock::time_point m_nextLookup{};
  std::string m_lastError;
};

} // namespace vantrel
