// Flags, result codes and call sequences of the ports, against a backend that
// records what the ports ask of it.

#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel {
namespace {

struct Calls {
  std::vector<std::string> log;
  IMidiReceiver* receiver = nullptr;
  bool failOpen = false;
  bool refuseSends = false;
  std::vector<std::vector<uint8_t>> sent;
};

// A device connection of either direction: logs its close when destroyed,
// as a real one closes the device then.
class FakeConnection {
public:
  FakeConnection(Calls& calls, uint32_t device) : m_calls(calls), m_device(device) {}
  ~FakeConnection() { m_calls.log.push_back("close " + std::to_string(m_device)); }
  FakeConnection(const FakeConnection&) = delete;
  FakeConnection& operator=(const FakeConnection&) = delete;

protected:
  Calls& m_calls;
  uint32_t m_device;
};

class FakeInConnection final : public IMidiInConnection, private FakeConnection {
public:
  using FakeConnection::FakeConnection;
  int Start(std::string&) override {
    m_calls.log.push_back("start");
    return 0;
  }
  int Stop(std::string&) override {
    m_calls.log.push_back("stop");
    return 0;
  }
};

class FakeOutConnection final : public IMidiOutConnection, private FakeConnection {
public:
  using FakeConnection::FakeConnection;
  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    if (m_calls.refuseSends) {
      return false;
    }
    m_calls.sent.emplace_back(bytes, bytes + size);
    m_calls.log.push_back("send " + std::to_string(m_device));
    return true;
  }
  const char* SendError() const noexcept override { return "The queue is full."; }
};

// A backend of either direction: `count` devices, and opens that are logged
// and fail while the calls say so.
class FakeDevices {
public:
  FakeDevices(Calls& calls, uint32_t count) : m_calls(calls), m_count(count) {}

protected:
  std::vector<std::string> Names() const { return std::vector<std::string>(m_count, "device"); }
  // Logs the open; false, with the error, when opens are to fail.
  bool LogOpen(uint32_t device, std::string& error) {
    m_calls.log.push_back("open " + std::to_string(device));
    if (m_calls.failOpen) {
      error = "The device is busy.";
      return false;
    }
    return true;
  }

  Calls& m_calls;
  uint32_t m_count;
};

class FakeInBackend final : public IMidiInBackend, private FakeDevices {
public:
  using FakeDevices::FakeDevices;
  std::vector<std::string> DeviceNames() override { return Names(); }
  std::unique_ptr<IMidiInConnection> Open(uint32_t device, IMidiReceiver& receiver,
                                          std::string& error) override {
    if (!LogOpen(device, error)) {
      return nullptr;
    }
    m_calls.receiver = &receiver;
    return std::make_unique<FakeInConnection>(m_calls, device);
  }
};

class FakeOutBackend final : public IMidiOutBackend, private FakeDevices {
public:
  using FakeDevices::FakeDevices;
  std::vector<std::string> DeviceNames() override { return Names(); }
  std::unique_ptr<IMidiOutConnection> Open(uint32_t device, std::string& error) override {
    if (!LogOpen(device, error)) {
      return nullptr;
    }
    return std::make_unique<FakeOutConnection>(m_calls, device);
  }
};

using Log = std::vector<std::string>;

class MidiInPortRules : public ::testing::Test {
protected:
  std::mutex m_lock;
  Calls m_calls;
  CMidiInPort m_port{m_lock, std::make_unique<FakeInBackend>(m_calls, 3)};
};

TEST_F(MidiInPortRules, StartTwiceStartsTheDeviceOnce) {
  ASSERT_EQ(m_port.Open(1), kMidiOk);
  EXPECT_EQ(m_port.Start(), kMidiOk);
  EXPECT_EQ(m_port.Start(), kMidiOk);
  EXPECT_EQ(m_calls.log, (Log{"open 1", "start"}));
  // Started: a stop reaches the device.
  EXPECT_EQ(m_port.Stop(), kMidiOk);
  EXPECT_EQ(m_calls.log.back(), "stop");
}

TEST_F(MidiInPortRules, StopAndCloseOfAnIdlePortReturnZeroWithoutCallingTheDevice) {
  EXPECT_EQ(m_port.Stop(), kMidiOk);
  EXPECT_EQ(m_port.Close(), kMidiOk);
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  EXPECT_EQ(m_port.Stop(), kMidiOk);
  EXPECT_EQ(m_calls.log, (Log{"open 0"}));
}

TEST_F(MidiInPortRules, StartOnAClosedPortFailsAndChangesNothing) {
  EXPECT_EQ(m_port.Start(), kMidiFailed);
  // Not started: a stop reaches no device.
  EXPECT_EQ(m_port.Stop(), kMidiOk);
  // Not open: a close reaches no device either (the log below).
  EXPECT_EQ(m_port.Close(), kMidiOk);
  EXPECT_FALSE(m_port.LastError().empty());
  EXPECT_TRUE(m_calls.log.empty());
}

TEST_F(MidiInPortRules, OpenWithABadIndexReturns2AndLeavesThePortClosed) {
  ASSERT_EQ(m_port.Open(2), kMidiOk);
  ASSERT_EQ(m_port.Start(), kMidiOk);
  for (const int32_t bad : {3, -1, 1000}) {
    EXPECT_EQ(m_port.Open(bad), kMidiNoSuchDevice) << bad;
    // Closed: a start fails.
    EXPECT_EQ(m_port.Start(), kMidiFailed);
    // Not started either: the stop reaches no device (the log below).
    EXPECT_EQ(m_port.Stop(), kMidiOk);
  }
  EXPECT_EQ(m_calls.log, (Log{"open 2", "start", "close 2"}));
}

TEST_F(MidiInPortRules, AFailedOpenReturns100WithItsReasonAndThePortClosed) {
  m_calls.failOpen = true;
  EXPECT_EQ(m_port.Open(0), kMidiFailed);
  EXPECT_EQ(m_port.LastError(), "The device is busy.");
  // Closed: a start fails.
  EXPECT_EQ(m_port.Start(), kMidiFailed);
}

TEST_F(MidiInPortRules, ReopeningAStartedPortNeedsAFreshStart) {
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  ASSERT_EQ(m_port.Start(), kMidiOk);
  ASSERT_EQ(m_port.Open(1), kMidiOk);
  // Not started: a stop reaches no device, and the start below reaches it.
  EXPECT_EQ(m_port.Stop(), kMidiOk);
  EXPECT_EQ(m_port.Start(), kMidiOk);
  EXPECT_EQ(m_calls.log, (Log{"open 0", "start", "close 0", "open 1", "start"}));
}

TEST_F(MidiInPortRules, SetDeviceAcceptsOnlyIndicesBelowTheCount) {
  EXPECT_EQ(m_port.SetDevice(-1), kMidiNoSuchDevice);
  EXPECT_EQ(m_port.SetDevice(3), kMidiNoSuchDevice);
  EXPECT_EQ(m_port.SetDevice(2), kMidiOk);
  // Storing the index opens nothing.
  EXPECT_TRUE(m_calls.log.empty());
}

// Opens the port's first device and starts input.
void OpenAndStart(CMidiInPort& port) {
  ASSERT_EQ(port.Open(0), kMidiOk);
  ASSERT_EQ(port.Start(), kMidiOk);
}

TEST(MidiInPortLifetime, TheDestructorStopsThenCloses) {
  std::mutex lock;
  Calls calls;
  {
    CMidiInPort port(lock, std::make_unique<FakeInBackend>(calls, 1));
    ASSERT_NO_FATAL_FAILURE(OpenAndStart(port));
  }
  EXPECT_EQ(calls.log, (Log{"open 0", "start", "stop", "close 0"}));
}

class MidiOutPortRules : public ::testing::Test {
protected:
  Calls m_calls;
  CMidiOutPort m_port{std::make_unique<FakeOutBackend>(m_calls, 2)};
};

TEST_F(MidiOutPortRules, OpenWithABadIndexReturns2AndKeepsTheOldDeviceOpen) {
  ASSERT_EQ(m_port.Open(1), kMidiOk);
  EXPECT_EQ(m_port.Open(2), kMidiNoSuchDevice);
  EXPECT_EQ(m_port.Open(static_cast<uint32_t>(-1)), kMidiNoSuchDevice);
  EXPECT_TRUE(m_port.IsOpen());
  EXPECT_EQ(m_port.SendShort(0xB0, 7, 100), kMidiOk);
  EXPECT_EQ(m_calls.log, (Log{"open 1", "send 1"}));
}

TEST_F(MidiOutPortRules, OpenOfAnotherDeviceClosesTheOldOneFirst) {
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  ASSERT_EQ(m_port.Open(1), kMidiOk);
  EXPECT_EQ(m_calls.log, (Log{"open 0", "close 0", "open 1"}));
}

TEST_F(MidiOutPortRules, AFailedOpenLeavesThePortClosedWithItsReason) {
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  m_calls.failOpen = true;
  EXPECT_EQ(m_port.Open(1), kMidiFailed);
  EXPECT_FALSE(m_port.IsOpen());
  EXPECT_EQ(m_port.LastError(), "The device is busy.");
  EXPECT_EQ(m_port.SendShort(0xB0, 1, 2), kMidiFailed);
  EXPECT_TRUE(m_calls.sent.empty());
}

TEST_F(MidiOutPortRules, CloseOfAClosedPortReturnsZeroWithoutCallingTheDevice) {
  EXPECT_EQ(m_port.Close(), kMidiOk);
  EXPECT_TRUE(m_calls.log.empty());
}

TEST_F(MidiOutPortRules, SendsGoOutWithTheLengthTheirStatusByteGives) {
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  EXPECT_EQ(m_port.SendShort(0xBF, 0x07, 0x64), kMidiOk);
  EXPECT_EQ(m_port.SendShort(0xC3, 0x05, 0x99), kMidiOk); // the unused byte is not sent
  EXPECT_EQ(m_port.SendShort(0xF8, 0, 0), kMidiOk);
  EXPECT_EQ(m_port.SendShort(0xF2, 0x10, 0x20), kMidiOk);
  EXPECT_EQ(m_calls.sent, (std::vector<std::vector<uint8_t>>{
                              {0xBF, 0x07, 0x64}, {0xC3, 0x05}, {0xF8}, {0xF2, 0x10, 0x20}}));
}

TEST_F(MidiOutPortRules, BytesThatAreNotAShortMessageAreRefusedNotSent) {
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  for (const auto& [status, data1, data2] :
       std::vector<std::array<uint8_t, 3>>{{0x40, 0x10, 0x10},
                                           {0xF0, 0x01, 0x02},
                                           {0xF7, 0, 0},
                                           {0x90, 0x80, 0x10},
                                           {0xB0, 0x10, 0xFF}}) {
    EXPECT_EQ(m_port.Send(status, data1, data2), CMidiOutPort::SendOutcome::NotShortMessage);
  }
  EXPECT_TRUE(m_calls.sent.empty());
  EXPECT_EQ(m_port.DroppedCount(), 0u);
}

TEST_F(MidiOutPortRules, AMessageTheDeviceCannotQueueIsDroppedAndCounted) {
  ASSERT_EQ(m_port.Open(0), kMidiOk);
  m_calls.refuseSends = true;
  EXPECT_EQ(m_port.SendShort(0xB0, 1, 2), kMidiFailed);
  EXPECT_EQ(m_port.Send(0xB0, 1, 2), CMidiOutPort::SendOutcome::Dropped);
  EXPECT_EQ(m_port.DroppedCount(), 2u);
  EXPECT_EQ(m_port.LastError(), "The queue is full.");
}

// The receive path, driven through the receiver that the backend was given.
class BridgeReceivePath : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(m_output.Open(0), kMidiOk);
    m_input.SetThruPort(&m_output);
    m_input.SetControllerQueue(&m_queue);
    ASSERT_EQ(m_input.Open(0), kMidiOk);
    ASSERT_EQ(m_input.Start(), kMidiOk);
    ASSERT_NE(m_inCalls.receiver, nullptr);
  }
  void Deliver(uint8_t status, uint8_t data1, uint8_t data2) {
    m_inCalls.receiver->Receive(CMidiMessage{0, status, data1, data2});
  }
  std::vector<ControllerChange> Drain() {
    std::vector<ControllerChange> changes;
    m_queue.AcknowledgeWake();
    for (ControllerChange change; m_queue.Pop(change);) {
      changes.push_back(change);
    }
    return changes;
  }

  std::mutex m_lock;
  Calls m_inCalls;
  Calls m_outCalls;
  CControllerQueue m_queue;
  CMidiOutPort m_output{std::make_unique<FakeOutBackend>(m_outCalls, 1)};
  CBridgeMidiIn m_input{m_lock, std::make_unique<FakeInBackend>(m_inCalls, 1)};
};

TEST_F(BridgeReceivePath, AThruMessageTheOutputCannotQueueIsCountedAndTheChangeStillHandedOn) {
  m_outCalls.refuseSends = true;
  Deliver(0xB2, 10, 20);
  Deliver(0x92, 60, 100);
  EXPECT_EQ(m_input.ThruDroppedCount(), 2u);
  const std::vector<ControllerChange> changes = Drain();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].controller, 10);
  EXPECT_EQ(changes[0].value, 20);
  EXPECT_EQ(changes[1], (ControllerChange{60, 100, 2, true}));
}

TEST_F(BridgeReceivePath, ThruIsNotCountedAsDroppedWhenNoOutputIsOpen) {
  m_output.Close();
  Deliver(0xB0, 1, 2);
  EXPECT_EQ(m_input.ThruDroppedCount(), 0u);
  EXPECT_EQ(Drain().size(), 1u);
}

class ThrowingInPort final : public CMidiInPort {
public:
  using CMidiInPort::CMidiInPort;
  int received = 0;

protected:
  void OnReceive(const CMidiMessage&) override {
    ++received;
    throw std::runtime_error("handler failed");
  }
};

TEST(MidiInPortReceive, AnExceptionInOnReceiveStaysInsideAndReleasesTheLock) {
  std::mutex lock;
  Calls calls;
  ThrowingInPort port(lock, std::make_unique<FakeInBackend>(calls, 1));
  ASSERT_NO_FATAL_FAILURE(OpenAndStart(port));
  calls.receiver->Receive(CMidiMessage{0, 0x90, 1, 1});
  calls.receiver->Receive(CMidiMessage{0, 0x90, 1, 1});
  EXPECT_EQ(port.received, 2);
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

} // namespace
} // namespace vantrel
