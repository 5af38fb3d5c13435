#pragma once
// Reading what a JACK peer playing a Mackie Control surface was sent.

#include "support/jack_peer.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

// The text of a display message at one place (top row: strip x 7, bottom
// row: 56 + strip x 7), or nullopt for any other message.
std::optional<std::string> DisplayText(const std::vector<uint8_t>& bytes, int offset);

// Walks through what the peer receives, each message once.
class SurfaceWatch {
public:
  explicit SurfaceWatch(JackPeer& peer) : m_peer(peer) {}

  // Waits until a message not looked at yet matches; those before it are
  // passed over.
  bool WaitFor(const std::function<bool(const PeerMessage&)>& match,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool WaitForBytes(const std::vector<uint8_t>& bytes);
  bool WaitForText(int offset, const std::string& text);

  // Plays a surface that answers. The device query a host sends:
  bool WaitForDeviceQuery();
  // Sends the connection query a surface of this model sends (in answer to
  // the device query, or on its own when switched on) with the serial
  // number kSerial and this challenge; returns the host's reply, or nothing
  // when none came.
  static constexpr char kSerial[] = "AB12345";
  std::optional<std::vector<uint8_t>> SendConnectionQuery(uint8_t model,
                                                          const std::vector<uint8_t>& challenge);
  // The confirmation a surface sends once the reply is right.
  void Confirm(uint8_t model);
  // How many messages have been looked at.
  std::size_t Seen() const { return m_seen; }

private:
  JackPeer& m_peer;
  std::size_t m_seen = 0;
};

} // namespace vantrel::test
