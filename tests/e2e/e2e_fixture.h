#pragma once
// The real stack for one test: vantrel-mixerd on the test bus, a JACK peer
// whose out1 plays into the program and whose in1 listens to it, a profile
// that opens those two ports, and the program itself (headless or with its
// window, offscreen).

#include "mixer/catalogue.h"
#include "mixer/mixer_link.h"
#include "settings/settings.h"
#include "support/bridge_process.h"
#include "support/jack_peer.h"
#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::test {

using Message = std::vector<uint8_t>;

class EndToEndTest : public MixerdFixture, public ::testing::WithParamInterface<bool> {
protected:
  void SetUp() override;
  void TearDown() override;

  bool Windowed() const { return GetParam(); }
  // Writes the profile: the peer's ports as devices, the output channel
  // ("Out Chn", 1-based) and the given controller numbers by key; every
  // other key is left out (not mapped).
  void WriteProfile(const std::map<std::string, int>& controllers, int channel = 1,
                    int activePage = 1);
  // Starts the program on the profile (with these options besides) and
  // waits until its devices are open.
  void StartBridge(const std::vector<std::string>& options = {});
  // Stops it with SIGTERM; its exit code.
  int StopBridge();

  // Sends messages from the peer and waits until their thru copies came back.
  void Play(const std::vector<Message>& messages, unsigned perPeriod = 0);
  // Waits until the server holds the value for a catalogue row (or times out)
  // and returns what it holds.
  int32_t WaitForValue(std::size_t row, int32_t expected,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
  int32_t Read(std::size_t row);
  // Every parameter and route, as vantrel-mixerctl dump prints them.
  std::string Dump();
  // Starts the program with the rows of these keys on controller 5 of
  // channel 1; returns a sweep on it: a thousand values back and forth,
  // ending on 127.
  std::vector<Message> StartWithOneControllerOn(const std::vector<std::string>& keys);
  // Maps the rows of these keys to one controller and plays a sweep on it
  // while the bus is stopped; every row must end on the sweep's last value.
  void SweepThroughAStoppedBus(const std::vector<std::string>& keys);

  std::string m_profilePath;
  std::unique_ptr<JackPeer> m_peer;
  std::unique_ptr<CMixerLink> m_link;
  std::unique_ptr<BridgeProcess> m_bridge;
  std::size_t m_received = 0; // messages the peer had received before a Play
};

// Catalogue row of a profile key.
std::size_t RowOfKey(std::string_view key);

} // namespace vantrel::test
