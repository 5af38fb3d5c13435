// The ports on a real JACK server (the private one of the test command),
// with a peer client standing in for the MIDI devices on both sides.

#include "midi/controller_queue.h"
#include "midi/jack_in.h"
#include "midi/jack_out.h"
#include "midi/message_queue.h"
#include "midi/midi_backend.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "midi/midi_process_objects.h"
#include "support/jack_peer.h"
#include "support/scoped_env.h"
#include "support/sound_server.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using test::JackPeer;
using test::PeerMessage;
using Bytes = std::vector<uint8_t>;

int IndexOf(const std::vector<std::string>& names, const std::string& name) {
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) {
    std::string listed;
    for (const std::string& n : names) {
      listed += " \"" + n + "\"";
    }
    ADD_FAILURE() << "\"" << name << "\" is not among the devices:" << listed;
    return -1;
  }
  return static_cast<int>(found - names.begin());
}

std::vector<PeerMessage> OnPort(int port, std::vector<Bytes> messages) {
  std::vector<PeerMessage> result;
  for (Bytes& bytes : messages) {
    result.push_back({std::move(bytes), port});
  }
  return result;
}

// The connections of a peer's port once the server runs them. A connection
// shows in the graph that other clients read only once the server has
// switched to the new graph, a period or so after it was made; what the peer
// sends before then is lost.
std::vector<std::string> RunningConnectionsOf(const JackPeer& peer, const std::string& port) {
  std::vector<std::string> connections = peer.ConnectionsOf(port);
  for (int wait = 0; wait < 200 && connections.empty(); ++wait) {
    std::this_thread::sleep_for(5ms);
    connections = peer.ConnectionsOf(port);
  }
  return connections;
}

class BridgeOnJack : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(test::JackTestServerProblem(), "");
    ASSERT_EQ(SelectMidiApi(MidiApi::Jack), MidiApi::Jack);
    ASSERT_TRUE(CurrentMidiApiAvailable()) << ::testing::PrintToString(MidiSystemLines());
    ASSERT_EQ(m_peer.Error(), "");
    m_input.SetThruPort(&m_output);
    m_input.SetControllerQueue(&m_queue);
  }

  int32_t InputIndex(int peerPort) {
    return IndexOf(MidiInputNames(), m_peer.OutputName(peerPort));
  }
  int32_t OutputIndex(int peerPort) {
    return IndexOf(MidiOutputNames(), m_peer.InputName(peerPort));
  }

  void OpenBoth(int peerOut, int peerIn) {
    ASSERT_EQ(m_output.Open(static_cast<uint32_t>(OutputIndex(peerIn))), kMidiOk)
        << m_output.LastError();
    ASSERT_EQ(m_input.Open(InputIndex(peerOut)), kMidiOk) << m_input.LastError();
    ASSERT_EQ(m_input.Start(), kMidiOk);
    ASSERT_FALSE(RunningConnectionsOf(m_peer, m_peer.OutputName(peerOut)).empty());
    ASSERT_FALSE(RunningConnectionsOf(m_peer, m_peer.InputName(peerIn)).empty());
  }

  // What the dialog thread would see: waits on the wake-up, then drains.
  std::vector<ControllerChange> WaitForChanges(std::size_t count,
                                               std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_changes.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{m_queue.WakeFd(), POLLIN, 0};
      if (poll(&fd, 1, 20) == 1) {
        m_queue.AcknowledgeWake();
        for (ControllerChange change; m_queue.Pop(change);) {
          m_changes.push_back(change);
        }
      }
    }
    return m_changes;
  }

  // Lets the peer's queue empty and a few periods pass, then reports the changes.
  std::vector<ControllerChange> ChangesAfterQuiet() {
    while (!m_peer.SendQueueEmpty()) {
      std::this_thread::sleep_for(2ms);
    }
    m_peer.ReceivedAfterQuiet();
    return WaitForChanges(m_changes.size() + 1, 50ms);
  }

  JackPeer m_peer;
  std::mutex m_receiveLock;
  CControllerQueue m_queue;
  CMidiOutPort m_output;
  CBridgeMidiIn m_input{m_receiveLock};
  std::vector<ControllerChange> m_changes;
};

TEST_F(BridgeOnJack, ThruPassesEveryShortMessageWholeInOrderAndHandsOnOnlyControlsAndNotes) {
  OpenBoth(0, 0);
  const std::vector<Bytes> sent = {
      {0xBF, 0x07, 0x64}, {0xC0, 0x05}, {0x90, 0x3C, 0x64}, {0xF8},
      {0xB0, 0x0A, 0x7F}, {0xFE},       {0xE3, 0x00, 0x40}, {0x80, 0x3C, 0x00}};
  for (const Bytes& bytes : sent) {
    ASSERT_TRUE(m_peer.Send(0, bytes));
  }
  EXPECT_EQ(m_peer.WaitForReceived(sent.size(), 5s), OnPort(0, sent));
  // Notes go too, for mute buttons; a Note Off as velocity 0.
  EXPECT_EQ(WaitForChanges(4), (std::vector<ControllerChange>{{0x07, 0x64, 0x0F},
                                                              {0x3C, 0x64, 0x00, true},
                                                              {0x0A, 0x7F, 0x00},
                                                              {0x3C, 0x00, 0x00, true}}));
  EXPECT_EQ(m_peer.ReceivedAfterQuiet().size(), sent.size());
}

TEST_F(BridgeOnJack, SystemExclusiveIsNotPassedThrough) {
  OpenBoth(0, 0);
  ASSERT_TRUE(m_peer.Send(0, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
  ASSERT_TRUE(m_peer.Send(0, {0xB1, 0x01, 0x02}));
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(0, {{0xB1, 0x01, 0x02}}));
  EXPECT_EQ(m_peer.ReceivedAfterQuiet().size(), 1u);
}

// A surface's answers: whole system exclusive messages reach its queue, and
// nothing else; too long or broken ones are counted and dropped. With no
// surface they go nowhere, not even to the controller queue.
TEST_F(BridgeOnJack, SystemExclusiveReachesOnlyASurfaceQueueWholeOrCounted) {
  OpenBoth(0, 0);
  CMessageQueue surface;
  const Bytes answer = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x03, 'A',
                        'B',  '1',  '2',  '3',  '4',  '5',  0xF7};
  Bytes longest(CExclusiveMessage::kMaxSize, 0x11);
  longest.front() = 0xF0;
  longest.back() = 0xF7;
  Bytes tooLong(CExclusiveMessage::kMaxSize + 1, 0x11);
  tooLong.front() = 0xF0;
  tooLong.back() = 0xF7;
  const std::vector<Bytes> refused = {
      tooLong,
      {0xF0, 0x00, 0x90, 0x10, 0xF7}, // a status byte inside
      {0xF0, 0x00, 0x00, 0x66},       // no end
  };
  ASSERT_TRUE(m_peer.Send(0, answer));
  ASSERT_TRUE(m_peer.Send(0, {0xB1, 0x01, 0x02}));
  ASSERT_EQ(m_peer.WaitForReceived(1, 5s).size(), 1u);
  ASSERT_TRUE(ChangesAfterQuiet().size() == 1);

  m_input.SetSurfaceQueue(&surface);
  for (const Bytes& bytes : refused) {
    ASSERT_TRUE(m_peer.Send(0, bytes));
  }
  ASSERT_TRUE(m_peer.Send(0, answer));
  ASSERT_TRUE(m_peer.Send(0, longest));
  std::vector<Bytes> got;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (got.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{surface.WakeFd(), POLLIN, 0};
    if (poll(&fd, 1, 20) == 1) {
      surface.AcknowledgeWake();
      for (CExclusiveMessage message; surface.PopExclusive(message);) {
        got.emplace_back(message.View().begin(), message.View().end());
      }
    }
  }
  EXPECT_EQ(got, (std::vector<Bytes>{answer, longest}));
  EXPECT_EQ(surface.ExclusiveDroppedCount(), refused.size());
  EXPECT_EQ(ChangesAfterQuiet(), (std::vector<ControllerChange>{{0x01, 0x02, 0x01}}));
  EXPECT_EQ(m_peer.ReceivedAfterQuiet().size(), 1u) << "nothing but the first thru copy";
  m_input.SetSurfaceQueue(nullptr);
}

TEST_F(BridgeOnJack, EachEventThatIsOneShortMessageArrivesWholeAndMalformedOnesAreDropped) {
  OpenBoth(0, 0);
  const std::vector<Bytes> malformed = {
      {0x40, 0x10},             // no status byte
      {0x90, 0x3C},             // a note-on cut short
      {0xF0, 0x01, 0xF7},       // a short system exclusive
      {0xF7},                   // its end alone
      {0xB0, 0x07, 0x64, 0x10}, // more than one message's bytes
      {0xB0, 0x90, 0x10},       // a status byte where a data byte belongs
  };
  const std::vector<Bytes> whole = {{0xF8},
                                    {0xF1, 0x23},
                                    {0xF6},
                                    {0xFE},
                                    {0xFF},
                                    {0xC3, 0x05},
                                    {0xF2, 0x01, 0x02},
                                    {0xB2, 0x01, 0x02}};
  for (std::size_t i = 0; i < malformed.size(); ++i) {
    ASSERT_TRUE(m_peer.Send(0, malformed[i]));
    ASSERT_TRUE(m_peer.Send(0, whole[i]));
  }
  for (std::size_t i = malformed.size(); i < whole.size(); ++i) {
    ASSERT_TRUE(m_peer.Send(0, whole[i]));
  }
  EXPECT_EQ(m_peer.WaitForReceived(whole.size(), 5s), OnPort(0, whole));
  EXPECT_EQ(WaitForChanges(1), (std::vector<ControllerChange>{{0x01, 0x02, 0x02}}));
  EXPECT_EQ(m_peer.ReceivedAfterQuiet().size(), whole.size());
  // Nothing malformed even reached the output port, which would refuse it.
  EXPECT_EQ(m_output.LastError(), "");
}

// The bridge's client as the server shows it: the client of the port that
// the bridge's input connected to the peer's output.
std::string BridgeClientOf(const JackPeer& peer, int peerOut) {
  const std::vector<std::string> connections = RunningConnectionsOf(peer, peer.OutputName(peerOut));
  if (connections.size() != 1) {
    ADD_FAILURE() << connections.size() << " connections to the peer's output";
    return "?";
  }
  return connections[0].substr(0, connections[0].find(':'));
}

std::vector<std::string> PortsOfClient(const JackPeer& peer, const std::string& client) {
  std::vector<std::string> ports;
  for (std::string& port : peer.AllPorts()) {
    if (port.rfind(client + ":", 0) == 0) {
      ports.push_back(std::move(port));
    }
  }
  std::sort(ports.begin(), ports.end());
  return ports;
}

TEST_F(BridgeOnJack, EverySendBeforeACloseGoesOutOnceBeforeThePortCloses) {
  // Closing the window or choosing "None" right after fader moves: what was
  // reported as sent arrives, once.
  const std::vector<Bytes> sent = {{0xB0, 0x07, 0x10}, {0xB0, 0x07, 0x20}, {0xB0, 0x07, 0x30}};
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    m_peer.ClearReceived();
    ASSERT_EQ(m_output.Open(static_cast<uint32_t>(OutputIndex(0))), kMidiOk)
        << m_output.LastError();
    ASSERT_FALSE(RunningConnectionsOf(m_peer, m_peer.InputName(0)).empty());
    for (const Bytes& bytes : sent) {
      ASSERT_EQ(m_output.SendShort(bytes[0], bytes[1], bytes[2]), 0);
    }
    ASSERT_EQ(m_output.Close(), kMidiOk);
    EXPECT_EQ(m_peer.ReceivedAfterQuiet(), OnPort(0, sent));
  }
}

// Waits until the input has received nothing new for a while; false when
// messages keep coming.
bool InputFallsQuiet(const CBridgeMidiIn& input) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  uint64_t seen = input.ReceivedCount();
  auto since = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
    if (const uint64_t now = input.ReceivedCount(); now != seen) {
      seen = now;
      since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - since > 200ms) {
      return true;
    }
  }
  return false;
}

TEST_F(BridgeOnJack, ItsOwnOutputComingBackIsALoopThatStopsWhileEverythingElseStillPassesOnce) {
  OpenBoth(0, 0);
  const std::string bridgeIn = RunningConnectionsOf(m_peer, m_peer.OutputName(0)).front();
  const std::string bridgeOut = RunningConnectionsOf(m_peer, m_peer.InputName(0)).front();
  // A wire from the bridge's output back to its input, as a device that
  // echoes what it gets would make.
  jack_client_t* wire =
      jack_client_open(("vt-wire-" + std::to_string(getpid())).c_str(), JackNoStartServer, nullptr);
  ASSERT_NE(wire, nullptr);
  ASSERT_EQ(jack_connect(wire, bridgeOut.c_str(), bridgeIn.c_str()), 0);
  ASSERT_TRUE(test::Eventually([&] { return m_peer.ConnectionsOf(bridgeOut).size() == 2; }));

  // One controller played: without the loop watch it would circulate forever.
  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x07, 0x40}));
  EXPECT_TRUE(test::Eventually([&] { return m_input.LoopFound(); }));
  EXPECT_TRUE(InputFallsQuiet(m_input));
  EXPECT_GE(m_input.LoopEchoesDropped(), 1u);
  const std::size_t before = WaitForChanges(1).size();
  EXPECT_GE(before, CBridgeMidiIn::kLoopRun - 1);

  // What the controller plays next passes through and reaches the dialog
  // thread once; its copy that comes back is dropped.
  m_peer.ClearReceived();
  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x08, 0x11}));
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(0, {{0xB0, 0x08, 0x11}}));
  EXPECT_TRUE(InputFallsQuiet(m_input));
  EXPECT_EQ(m_peer.ReceivedAfterQuiet(), OnPort(0, {{0xB0, 0x08, 0x11}}));
  const std::vector<ControllerChange> changes = ChangesAfterQuiet();
  ASSERT_EQ(changes.size(), before + 1);
  EXPECT_EQ(changes.back(), (ControllerChange{0x08, 0x11, 0}));
  jack_client_close(wire);
}

// An encoder turned fast repeats one message, each a little after the thru
// copy of the one before went out: that is no loop, and every step passes
// and reaches the dialog thread. Steps 10 ms apart (100 a second); a loaded
// machine may deliver a few together, which must not make the rest look
// like echoes.
TEST_F(BridgeOnJack, AControllerRepeatingOneMessageFastIsNoLoop) {
  OpenBoth(0, 0);
  constexpr std::size_t kSteps = CBridgeMidiIn::kLoopRun + 20;
  for (std::size_t i = 0; i < kSteps; ++i) {
    ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x10, 0x01}));
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(m_peer.WaitForReceived(kSteps, 10s).size(), kSteps);
  EXPECT_EQ(WaitForChanges(kSteps).size(), kSteps);
  EXPECT_FALSE(m_input.LoopFound());
  EXPECT_EQ(m_input.LoopEchoesDropped(), 0u);
}

TEST_F(BridgeOnJack, OneClientServesTheListsAndBothPortsAndClosingTakesEachPortAway) {
  OpenBoth(0, 0);
  const std::string client = BridgeClientOf(m_peer, 0);
  EXPECT_TRUE(IsBridgePortName(client + ":x")) << client;
  EXPECT_EQ(m_peer.ConnectionsOf(m_peer.InputName(0)),
            (std::vector<std::string>{client + ":MIDI Out"}));
  EXPECT_GE(InputIndex(1), 0);
  EXPECT_GE(OutputIndex(1), 0);
  EXPECT_EQ(PortsOfClient(m_peer, client),
            (std::vector<std::string>{client + ":MIDI In", client + ":MIDI Out"}));

  ASSERT_EQ(m_input.Close(), kMidiOk);
  EXPECT_EQ(PortsOfClient(m_peer, client), (std::vector<std::string>{client + ":MIDI Out"}));
  EXPECT_EQ(m_output.SendShort(0xB4, 0x01, 0x02), kMidiOk);
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(0, {{0xB4, 0x01, 0x02}}));

  ASSERT_EQ(m_output.Close(), kMidiOk);
  EXPECT_TRUE(PortsOfClient(m_peer, client).empty());

  m_peer.ClearReceived();
  OpenBoth(1, 1);
  EXPECT_EQ(BridgeClientOf(m_peer, 1), client);
  ASSERT_TRUE(m_peer.Send(1, {0x92, 0x30, 0x40}));
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(1, {{0x92, 0x30, 0x40}}));
}

TEST_F(BridgeOnJack, ASecondPortOfTheSameKindInTheProcessIsRefusedAndTheFirstKeepsWorking) {
  OpenBoth(0, 0);
  {
    CBridgeMidiIn secondInput(m_receiveLock);
    EXPECT_EQ(secondInput.Open(InputIndex(1)), kMidiFailed);
    EXPECT_EQ(secondInput.LastError(),
              "Cannot open the MIDI input: this process has a MIDI input open already.");
    CMidiOutPort secondOutput;
    EXPECT_EQ(secondOutput.Open(static_cast<uint32_t>(OutputIndex(1))), kMidiFailed);
    EXPECT_EQ(secondOutput.LastError(),
              "Cannot open the MIDI output: this process has a MIDI output open already.");
  }
  ASSERT_TRUE(m_peer.Send(0, {0xB6, 0x10, 0x20}));
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(0, {{0xB6, 0x10, 0x20}}));
  EXPECT_EQ(WaitForChanges(1), (std::vector<ControllerChange>{{0x10, 0x20, 0x06}}));
}

class IgnoringReceiver : public IMidiReceiver {
public:
  void Receive(const CMidiMessage&) noexcept override {}
};

TEST_F(BridgeOnJack, AVanishedPeerLeavesThePortsUsableAndCannotBeConnectedAgain) {
  auto gone = std::make_unique<JackPeer>();
  ASSERT_EQ(gone->Error(), "");
  const std::string goneOut = gone->OutputName(0);
  const std::string goneIn = gone->InputName(0);
  ASSERT_EQ(m_output.Open(static_cast<uint32_t>(IndexOf(MidiOutputNames(), goneIn))), kMidiOk)
      << m_output.LastError();
  ASSERT_EQ(m_input.Open(IndexOf(MidiInputNames(), goneOut)), kMidiOk) << m_input.LastError();
  ASSERT_EQ(m_input.Start(), kMidiOk);
  const std::string client = BridgeClientOf(*gone, 0);
  gone.reset();

  for (const std::vector<std::string>& names : {MidiInputNames(), MidiOutputNames()}) {
    for (const std::string& name : names) {
      EXPECT_TRUE(name != goneOut && name != goneIn) << name;
    }
  }
  EXPECT_EQ(m_input.Start(), kMidiOk);                      // still open and started
  EXPECT_EQ(m_output.SendShort(0xB0, 0x01, 0x02), kMidiOk); // queued for nobody
  ASSERT_EQ(m_input.Close(), kMidiOk);
  ASSERT_EQ(m_output.Close(), kMidiOk);

  // The lists named the device, but it went before the connection was made.
  IgnoringReceiver receiver;
  std::string error;
  EXPECT_EQ(OpenJackIn(goneOut, receiver, error), nullptr);
  EXPECT_EQ(error, "Cannot connect the MIDI input to \"" + goneOut + "\".");
  EXPECT_EQ(OpenJackOut(goneIn, error), nullptr);
  EXPECT_EQ(error, "Cannot connect the MIDI output to \"" + goneIn + "\".");
  EXPECT_TRUE(PortsOfClient(m_peer, client).empty());

  OpenBoth(0, 0);
  ASSERT_TRUE(m_peer.Send(0, {0xB1, 0x05, 0x06}));
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(0, {{0xB1, 0x05, 0x06}}));
  EXPECT_EQ(WaitForChanges(1), (std::vector<ControllerChange>{{0x05, 0x06, 0x01}}));
}

TEST_F(BridgeOnJack, WithNoOutputOpenControlChangesStillReachTheDialogThread) {
  ASSERT_EQ(m_input.Open(InputIndex(0)), kMidiOk) << m_input.LastError();
  ASSERT_EQ(m_input.Start(), kMidiOk);
  ASSERT_FALSE(RunningConnectionsOf(m_peer, m_peer.OutputName(0)).empty());
  ASSERT_TRUE(m_peer.Send(0, {0xB5, 0x20, 0x30}));
  ASSERT_TRUE(m_peer.Send(0, {0x95, 0x20, 0x30}));
  EXPECT_EQ(WaitForChanges(2),
            (std::vector<ControllerChange>{{0x20, 0x30, 0x05}, {0x20, 0x30, 0x05, true}}));
  EXPECT_TRUE(m_peer.ReceivedAfterQuiet().empty());
  EXPECT_EQ(m_input.ThruDroppedCount(), 0u);
}

TEST_F(BridgeOnJack, AnIndexEqualToTheCountClosesTheInputButLeavesTheOutputOnItsDevice) {
  OpenBoth(0, 0);
  const auto inputCount = static_cast<int32_t>(MidiInputNames().size());
  const auto outputCount = static_cast<uint32_t>(MidiOutputNames().size());
  EXPECT_EQ(m_input.Open(inputCount), kMidiNoSuchDevice);
  // Closed; the graph other clients read shows it a period or so later.
  EXPECT_TRUE(test::Eventually([&] { return m_peer.ConnectionsOf(m_peer.OutputName(0)).empty(); }));
  EXPECT_EQ(m_output.Open(outputCount), kMidiNoSuchDevice);
  EXPECT_TRUE(m_output.IsOpen());

  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x01, 0x01}));
  EXPECT_EQ(m_output.SendShort(0xB3, 0x11, 0x22), kMidiOk);
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(0, {{0xB3, 0x11, 0x22}}));
  EXPECT_TRUE(ChangesAfterQuiet().empty());
  EXPECT_EQ(m_peer.ReceivedAfterQuiet().size(), 1u);
}

TEST_F(BridgeOnJack, StartAndStopGateDeliveryOnAnOpenInput) {
  ASSERT_EQ(m_input.Open(InputIndex(0)), kMidiOk);
  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x01, 0x01}));
  EXPECT_TRUE(ChangesAfterQuiet().empty());

  ASSERT_EQ(m_input.Start(), kMidiOk);
  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x02, 0x02}));
  EXPECT_EQ(WaitForChanges(1), (std::vector<ControllerChange>{{0x02, 0x02}}));

  ASSERT_EQ(m_input.Stop(), kMidiOk);
  EXPECT_EQ(m_input.Stop(), kMidiOk);
  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x03, 0x03}));
  EXPECT_EQ(ChangesAfterQuiet().size(), 1u);
  EXPECT_EQ(m_input.Close(), kMidiOk);
  EXPECT_EQ(m_input.Close(), kMidiOk);
}

TEST_F(BridgeOnJack, ReopeningMovesEachPortToTheOtherDevice) {
  OpenBoth(0, 0);
  ASSERT_EQ(m_input.Stop(), kMidiOk);
  ASSERT_EQ(m_input.Open(InputIndex(1)), kMidiOk) << m_input.LastError();
  ASSERT_EQ(m_input.Start(), kMidiOk);
  ASSERT_EQ(m_output.Open(static_cast<uint32_t>(OutputIndex(1))), kMidiOk) << m_output.LastError();
  ASSERT_FALSE(RunningConnectionsOf(m_peer, m_peer.OutputName(1)).empty());
  ASSERT_FALSE(RunningConnectionsOf(m_peer, m_peer.InputName(1)).empty());

  ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x01, 0x01})); // the old device: ignored now
  ASSERT_TRUE(m_peer.Send(1, {0xB0, 0x02, 0x02}));
  EXPECT_EQ(m_peer.WaitForReceived(1, 5s), OnPort(1, {{0xB0, 0x02, 0x02}}));
  EXPECT_EQ(ChangesAfterQuiet(), (std::vector<ControllerChange>{{0x02, 0x02}}));
  EXPECT_EQ(m_peer.ReceivedAfterQuiet().size(), 1u);
}

TEST_F(BridgeOnJack, TheBridgesOwnPortsNeverAppearInItsLists) {
  OpenBoth(0, 0);
  for (const std::vector<std::string>& names : {MidiInputNames(), MidiOutputNames()}) {
    for (const std::string& name : names) {
      EXPECT_FALSE(IsBridgePortName(name)) << name;
    }
  }
  EXPECT_GE(InputIndex(1), 0);
  EXPECT_GE(OutputIndex(1), 0);
}

// JACK itself drops or repeats a cycle's MIDI when a client misses its
// deadline (an xrun, e.g. on a starved machine), whatever the clients do.
// Without an xrun everything must have arrived exactly; after one, each
// message that arrived must still be whole and one of those sent.
template <typename T>
void ExpectExactUnlessJackOverran(uint64_t xruns, const std::vector<T>& actual,
                                  const std::vector<T>& expected) {
  if (xruns == 0) {
    EXPECT_TRUE(actual == expected) << actual.size() << " of " << expected.size() << " arrived";
    return;
  }
  ::testing::Test::RecordProperty("jack_xruns", std::to_string(xruns));
  for (const T& item : actual) {
    EXPECT_NE(std::find(expected.begin(), expected.end(), item), expected.end());
  }
}

// `count` Control Changes over every channel and controller: the messages
// and the changes the queue must hand on for them.
struct ControlChangeFlood {
  std::vector<Bytes> messages;
  std::vector<ControllerChange> changes;
};

ControlChangeFlood FloodOfControlChanges(int count) {
  ControlChangeFlood flood;
  for (int i = 0; i < count; ++i) {
    const auto controller = static_cast<uint8_t>((i >> 4) & 0x7F);
    const auto value = static_cast<uint8_t>(i & 0x7F);
    flood.messages.push_back({static_cast<uint8_t>(0xB0 | (i % 16)), controller, value});
    flood.changes.push_back({controller, value, static_cast<uint8_t>(i % 16)});
  }
  return flood;
}

TEST_F(BridgeOnJack, AFloodOfControlChangesFromAFastControllerArrivesCompleteAndInOrder) {
  OpenBoth(0, 0);
  constexpr int kCount = 10000;
  // About 3000 messages a second: a dense stream from a USB controller.
  m_peer.SetPacing(8);
  const ControlChangeFlood flood = FloodOfControlChanges(kCount);
  const std::vector<Bytes>& sent = flood.messages;
  // A run that JACK spoiled with an xrun proves little, so it is tried again.
  for (int attempt = 1; attempt <= 3; ++attempt) {
    const uint64_t xrunsBefore = m_peer.XrunCount();
    m_changes.clear();
    m_peer.ClearReceived();
    for (const Bytes& bytes : sent) {
      ASSERT_TRUE(m_peer.Send(0, bytes));
    }
    const std::vector<ControllerChange> handed = WaitForChanges(kCount, 20s);
    std::vector<Bytes> received;
    for (PeerMessage& m : m_peer.WaitForReceived(kCount, 5s)) {
      received.push_back(std::move(m.bytes));
    }
    EXPECT_EQ(m_input.ThruDroppedCount(), 0u);
    EXPECT_EQ(m_queue.DroppedCount(), 0u);
    EXPECT_EQ(m_output.DroppedCount(), 0u);
    const uint64_t xruns = m_peer.XrunCount() - xrunsBefore;
    if (xruns == 0 || attempt == 3) {
      ExpectExactUnlessJackOverran(xruns, handed, flood.changes);
      ExpectExactUnlessJackOverran(xruns, received, sent);
      break;
    }
    while (!m_peer.SendQueueEmpty()) {
      std::this_thread::sleep_for(5ms);
    }
    ChangesAfterQuiet();
  }
}

TEST_F(BridgeOnJack, SendsFromTheDialogThreadDuringThruGoOutWhole) {
  OpenBoth(0, 0);
  constexpr int kEach = 2000;
  m_peer.SetPacing(8);
  std::vector<Bytes> thruSent;
  std::vector<Bytes> dialogSent;
  for (int i = 0; i < kEach; ++i) {
    const auto high = static_cast<uint8_t>(i >> 7);
    const auto low = static_cast<uint8_t>(i & 0x7F);
    thruSent.push_back({0x91, high, low});
    dialogSent.push_back({0xB2, high, low});
    ASSERT_TRUE(m_peer.Send(0, thruSent.back()));
  }
  for (int i = 0; i < kEach; ++i) {
    ASSERT_EQ(m_output.SendShort(0xB2, dialogSent[i][1], dialogSent[i][2]), kMidiOk);
    if (i % 16 == 0) {
      std::this_thread::sleep_for(2ms);
    }
  }
  std::vector<Bytes> thruReceived;
  std::vector<Bytes> dialogReceived;
  for (PeerMessage& m : m_peer.WaitForReceived(2 * kEach, 20s)) {
    (m.bytes.at(0) == 0x91 ? thruReceived : dialogReceived).push_back(std::move(m.bytes));
  }
  ExpectExactUnlessJackOverran(m_peer.XrunCount(), thruReceived, thruSent);
  ExpectExactUnlessJackOverran(m_peer.XrunCount(), dialogReceived, dialogSent);
  EXPECT_EQ(m_output.DroppedCount(), 0u);
}

TEST_F(BridgeOnJack, TheProcessObjectsShutDownWhileMessagesAreStillArriving) {
  auto objects = std::make_unique<MidiProcessObjects>();
  objects->input.SetThruPort(&objects->output);
  objects->input.SetControllerQueue(&objects->controllers);
  ASSERT_EQ(objects->output.Open(static_cast<uint32_t>(OutputIndex(0))), kMidiOk);
  ASSERT_EQ(objects->input.Open(InputIndex(0)), kMidiOk);
  ASSERT_EQ(objects->input.Start(), kMidiOk);
  m_peer.SetPacing(4);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(m_peer.Send(0, {0xB0, 0x01, static_cast<uint8_t>(i & 0x7F)}));
  }
  m_peer.WaitForReceived(100, 5s);
  objects.reset();
  EXPECT_FALSE(m_peer.SendQueueEmpty());
}

TEST(MidiWithoutJackServer, ThereAreNoDevicesAndNoServerIsStarted) {
  const std::string absent = "vantrel-absent-" + std::to_string(getpid());
  {
    const test::ScopedEnv server("JACK_DEFAULT_SERVER", absent);
    EXPECT_EQ(SelectMidiApi(MidiApi::Jack), MidiApi::Jack);
    EXPECT_FALSE(CurrentMidiApiAvailable());
    EXPECT_TRUE(MidiInputNames().empty());
    EXPECT_TRUE(MidiOutputNames().empty());
    std::mutex lock;
    CBridgeMidiIn input(lock);
    CMidiOutPort output;
    EXPECT_EQ(input.Open(0), kMidiNoSuchDevice);
    EXPECT_EQ(output.Open(0), kMidiNoSuchDevice);
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
      EXPECT_EQ(SelectMidiApi(std::nullopt), MidiApi::None);
    }
    jack_status_t status{};
    jack_client_t* client = jack_client_open("probe", JackNoStartServer, &status);
    EXPECT_EQ(client, nullptr) << "a JACK server was started";
    if (client != nullptr) {
      jack_client_close(client);
    }
  }
  SelectMidiApi(std::nullopt);
}

// Listens where libjack looks for the server of this name and hangs up on
// every caller: a server that answers but opens no client.
class HangingUpJackSocket {
public:
  explicit HangingUpJackSocket(const std::string& server)
      : m_path("/dev/shm/jack_" + server + "_" + std::to_string(getuid()) + "_0") {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    m_path.copy(address.sun_path, sizeof address.sun_path - 1);
    m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    m_listening = m_fd >= 0 &&
                  bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                  listen(m_fd, 8) == 0;
    m_thread = std::thread([this] {
      pollfd wait{m_fd, POLLIN, 0};
      while (m_listening && !m_stop.load()) {
        if (poll(&wait, 1, 20) > 0) {
          const int caller = accept(m_fd, nullptr, nullptr);
          if (caller >= 0) {
            close(caller);
          }
        }
      }
    });
  }
  ~HangingUpJackSocket() {
    m_stop.store(true);
    m_thread.join();
    close(m_fd);
    unlink(m_path.c_str());
  }
  HangingUpJackSocket(const HangingUpJackSocket&) = delete;
  HangingUpJackSocket& operator=(const HangingUpJackSocket&) = delete;
  bool Listening() const { return m_listening; }

private:
  std::string m_path;
  int m_fd = -1;
  bool m_listening = false;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// The reason names what happened: a server that answered and refused first,
// then none at all, so a refusal is not remembered past the next open.
TEST(MidiWithoutJackServer, TheReasonTellsARefusingServerFromNoServer) {
  const std::string name = "vantrel-refusing-" + std::to_string(getpid());
  const test::ScopedEnv server("JACK_DEFAULT_SERVER", name);
  const struct {
    bool socket;
    const char* reason;
  } kCases[] = {
      {true, "MIDI system jack: unavailable, the JACK server answered, "},
      {false, "MIDI system jack: unavailable, no JACK server runs"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reason);
    std::optional<HangingUpJackSocket> socket;
    if (c.socket) {
      socket.emplace(name);
      ASSERT_TRUE(socket->Listening());
    }
    SelectMidiApi(MidiApi::Jack);
    EXPECT_FALSE(CurrentMidiApiAvailable());
    const std::vector<std::string> lines = MidiSystemLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind(c.reason, 0), 0u) << lines.front();
  }
  SelectMidiApi(std::nullopt);
}

} // namespace
} // namespace vantrel
