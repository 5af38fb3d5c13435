#pragma once
// A GoogleTest fixture with the real vantrel-mixerd running on the test bus
// (fresh state in a temporary folder) and helpers to reach it. Tests using it
// need the CTest property RESOURCE_LOCK vantrel_mixer_bus (see
// mixerd_server.h).

#include "mixer/mixer_link.h"
#include "support/mixerd_server.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

namespace vantrel::test {

// A link's options that never start a server of its own, as the program's
// --no-mixer-start asks: the test starts the server it wants.
inline MixerLinkOptions ExistingServerOnly() {
  MixerLinkOptions options;
  options.startServer = false;
  return options;
}

// A started link that never starts a server of its own.
inline std::unique_ptr<CMixerLink> ConnectMixerLink() {
  auto link = std::make_unique<CMixerLink>(ExistingServerOnly());
  link->Startup();
  link->Create();
  return link;
}

// Runs the link as the program's event loop does until done() holds (true)
// or the timeout passes (false).
inline bool PumpLinkUntil(CMixerLink& link, const std::function<bool()>& done,
                          std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    const MixerEventWatch watch = link.EventWatch();
    pollfd fd{watch.fd, watch.events, 0};
    ::poll(&fd, watch.fd >= 0 ? 1 : 0, watch.timeoutMs < 0 ? 50 : std::min(watch.timeoutMs, 50));
    link.ProcessEvents();
  }
  return true;
}

class MixerdFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(m_dir.Path().empty()) << "cannot create a temporary folder";
    ASSERT_TRUE(m_server.Start()) << "vantrel-mixerd did not start: " << m_server.Errors();
  }

  static std::unique_ptr<CMixerLink> ConnectLink() { return ConnectMixerLink(); }

  TempDir m_dir;
  MixerdProcess m_server{m_dir.File("mixer.state")};
};

} // namespace vantrel::test
