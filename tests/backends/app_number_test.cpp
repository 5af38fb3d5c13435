// "app #N" rules on a real sound server: the applications that play and no
// other rule claims take the numbered strips in the order they come, and
// each keeps its strip across its own restarts and the service's.

#include "sound_backend_fixture.h"

#include <gtest/gtest.h>

#include <optional>

namespace vantrel::test {
namespace {

constexpr const char* kAppMapping = "[User 1]\nstream = app #1\n[User 2]\nstream = app #2\n"
                                    "[MIDI]\nstream = application.name = Claimed\n";

// The strip `targets` shows for the stream of application `name`.
std::string StripOf(const std::string& name) {
  const std::string targets = Ctl({"targets"}).out;
  const std::size_t at = targets.find("stream \"" + name + ":");
  if (at == std::string::npos) {
    return "(no stream)";
  }
  const std::size_t arrow = targets.find("-> ", at);
  return targets.substr(arrow + 3, targets.find('\n', arrow) - arrow - 3);
}

bool BindsTo(const std::string& name, const std::string& strip) {
  return Eventually([&] { return StripOf(name) == strip; });
}

TEST_F(SoundBackendTest, ApplicationsKeepTheirNumberedStripsAcrossBothRestarts) {
  Start("pulse", kAppMapping);
  std::optional<Player> claimed(std::in_place, "Claimed");
  std::optional<Player> first(std::in_place, "First App");
  std::optional<Player> second(std::in_place, "Second App");
  std::optional<Player> third(std::in_place, "Third App");
  // A property rule claims its stream before any number is given.
  EXPECT_TRUE(BindsTo("Claimed", "MIDI")) << StripOf("Claimed");
  EXPECT_TRUE(BindsTo("First App", "User 1")) << StripOf("First App");
  EXPECT_TRUE(BindsTo("Second App", "User 2")) << StripOf("Second App");
  EXPECT_TRUE(BindsTo("Third App", "Wave")) << StripOf("Third App");

  // The first application comes back to its strip, even after the third
  // one played while it was away.
  first.reset();
  third.reset();
  third.emplace("Third App");
  EXPECT_TRUE(BindsTo("Third App", "Wave")) << StripOf("Third App");
  first.emplace("First App");
  EXPECT_TRUE(BindsTo("First App", "User 1")) << StripOf("First App");

  // So does each after the service restarts, whatever order the server
  // lists them in.
  second.reset();
  first.reset();
  m_server.reset();
  second.emplace("Second App");
  first.emplace("First App");
  Start("pulse", kAppMapping);
  EXPECT_TRUE(BindsTo("First App", "User 1")) << StripOf("First App");
  EXPECT_TRUE(BindsTo("Second App", "User 2")) << StripOf("Second App");
  EXPECT_TRUE(BindsTo("Third App", "Wave")) << StripOf("Third App");
}

} // namespace
} // namespace vantrel::test
