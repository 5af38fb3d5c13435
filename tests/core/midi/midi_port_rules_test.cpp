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

class FakeInConnection final : public IMidiInConnection {
public:
  explicit FakeInConnection(Calls& calls, uint32_t device) : calls_(calls), device_(device) {}
  ~FakeInConnection() override { calls_.log.push_back("close " + std::to_string(device_)); }
  int Start(std::string&) override {
    calls_.log.push_back("start");
    return 0;
  }
  int Stop(std::string&) override {
    calls_.log.push_back("stop");
    return 0;
  }

private:
  Calls& calls_;
  uint32_t device_;
};

class FakeInBackend final : public IMidiInBackend {
public:
  FakeInBackend(Calls& calls, uint32_t count) : calls_(calls), count_(count) {}
  uint32_t DeviceCount() override { return count_; }
  std::unique_ptr<IMidiInConnection> Open(uint32_t device, IMidiReceiver& receiver,
                                          std::string& error) override {
    calls_.log.push_back("open " + std::to_string(device));
    if (calls_.failOpen) {
      error = "The device is busy.";
      return nullptr;
    }
    calls_.receiver = &receiver;
    return std::make_unique<FakeInConnection>(calls_, device);
  }

private:
  Calls& calls_;
  uint32_t count_;
};

class FakeOutConnection final : public IMidiOutConnection {
public:
  FakeOutConnection(Calls& calls, uint32_t device) : calls_(calls), device_(device) {}
  ~FakeOutConnection() override { calls_.log.push_back("close " + std::to_string(device_)); }
  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    if (calls_.refuseSends) {
      return false;
    }
    calls_.sent.emplace_back(bytes, bytes + size);
    calls_.log.push_back("send " + std::to_string(device_));
    return true;
  }
  const char* SendError() const noexcept override { return "The queue is full."; }

private:
  Calls& calls_;
  uint32_t device_;
};

class FakeOutBackend final : public IMidiOutBackend {
public:
  FakeOutBackend(Calls& calls, uint32_t count) : calls_(calls), count_(count) {}
  uint32_t DeviceCount() override { return count_; }
  std::unique_ptr<IMidiOutConnection> Open(uint32_t device, std::string& error) override {
    calls_.log.push_back("open " + std::to_string(device));
    if (calls_.failOpen) {
      error = "The device is busy.";
      return nullptr;
    }
    return std::make_unique<FakeOutConnection>(calls_, device);
  }

private:
  Calls& calls_;
  uint32_t count_;
};

using Log = std::vector<std::string>;

class MidiInPortRules : public ::testing::Test {
protected:
  std::mutex lock;
  Calls calls;
  CMidiInPort port{lock, std::make_unique<FakeInBackend>(calls, 3)};
};

TEST_F(MidiInPortRules, StartTwiceStartsTheDeviceOnce) {
  ASSERT_EQ(port.Open(1), 0);
  EXPECT_EQ(port.Start(), 0);
  EXPECT_EQ(port.Start(), 0);
  EXPECT_TRUE(port.IsStarted());
  EXPECT_EQ(calls.log, (Log{"open 1", "start"}));
}

TEST_F(MidiInPortRules, StopAndCloseOfAnIdlePortReturnZeroWithoutCallingTheDevice) {
  EXPECT_EQ(port.Stop(), 0);
  EXPECT_EQ(port.Close(), 0);
  ASSERT_EQ(port.Open(0), 0);
  EXPECT_EQ(port.Stop(), 0);
  EXPECT_EQ(calls.log, (Log{"open 0"}));
}

TEST_F(MidiInPortRules, StartOnAClosedPortFailsAndChangesNothing) {
  EXPECT_EQ(port.Start(), 100);
  EXPECT_FALSE(port.IsStarted());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.LastError().empty());
  EXPECT_TRUE(calls.log.empty());
}

TEST_F(MidiInPortRules, OpenWithABadIndexReturns2AndLeavesThePortClosed) {
  ASSERT_EQ(port.Open(2), 0);
  ASSERT_EQ(port.Start(), 0);
  for (const int32_t bad : {3, -1, 1000}) {
    EXPECT_EQ(port.Open(bad), 2) << bad;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.IsStarted());
  }
  EXPECT_EQ(calls.log, (Log{"open 2", "start", "close 2"}));
}

TEST_F(MidiInPortRules, AFailedOpenReturns100WithItsReasonAndThePortClosed) {
  calls.failOpen = true;
  EXPECT_EQ(port.Open(0), 100);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), "The device is busy.");
}

TEST_F(MidiInPortRules, ReopeningAStartedPortNeedsAFreshStart) {
  ASSERT_EQ(port.Open(0), 0);
  ASSERT_EQ(port.Start(), 0);
  ASSERT_EQ(port.Open(1), 0);
  EXPECT_FALSE(port.IsStarted());
  EXPECT_EQ(port.Start(), 0);
  EXPECT_EQ(calls.log, (Log{"open 0", "start", "close 0", "open 1", "start"}));
}

TEST_F(MidiInPortRules, SetDeviceAcceptsOnlyIndicesBelowTheCount) {
  EXPECT_EQ(port.SetDevice(-1), 2);
  EXPECT_EQ(port.SetDevice(3), 2);
  EXPECT_EQ(port.SetDevice(2), 0);
  EXPECT_EQ(port.Device(), 2);
}

TEST(MidiInPortLifetime, TheDestructorStopsThenCloses) {
  std::mutex lock;
  Calls calls;
  {
    CMidiInPort port(lock, std::make_unique<FakeInBackend>(calls, 1));
    ASSERT_EQ(port.Open(0), 0);
    ASSERT_EQ(port.Start(), 0);
  }
  EXPECT_EQ(calls.log, (Log{"open 0", "start", "stop", "close 0"}));
}

class MidiOutPortRules : public ::testing::Test {
protected:
  Calls calls;
  CMidiOutPort port{std::make_unique<FakeOutBackend>(calls, 2)};
};

TEST_F(MidiOutPortRules, OpenWithABadIndexReturns2AndKeepsTheOldDeviceOpen) {
  ASSERT_EQ(port.Open(1), 0);
  EXPECT_EQ(port.Open(2), 2);
  EXPECT_EQ(port.Open(static_cast<uint32_t>(-1)), 2);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.SendShort(0xB0, 7, 100), 0);
  EXPECT_EQ(calls.log, (Log{"open 1", "send 1"}));
}

TEST_F(MidiOutPortRules, OpenOfAnotherDeviceClosesTheOldOneFirst) {
  ASSERT_EQ(port.Open(0), 0);
  ASSERT_EQ(port.Open(1), 0);
  EXPECT_EQ(calls.log, (Log{"open 0", "close 0", "open 1"}));
}

TEST_F(MidiOutPortRules, AFailedOpenLeavesThePortClosedWithItsReason) {
  ASSERT_EQ(port.Open(0), 0);
  calls.failOpen = true;
  EXPECT_EQ(port.Open(1), 100);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), "The device is busy.");
  EXPECT_EQ(port.SendShort(0xB0, 1, 2), 100);
  EXPECT_TRUE(calls.sent.empty());
}

TEST_F(MidiOutPortRules, CloseOfAClosedPortReturnsZeroWithoutCallingTheDevice) {
  EXPECT_EQ(port.Close(), 0);
  EXPECT_TRUE(calls.log.empty());
}

TEST_F(MidiOutPortRules, SendsGoOutWithTheLengthTheirStatusByteGives) {
  ASSERT_EQ(port.Open(0), 0);
  EXPECT_EQ(port.SendShort(0xBF, 0x07, 0x64), 0);
  EXPECT_EQ(port.SendShort(0xC3, 0x05, 0x99), 0); // the unused byte is not sent
  EXPECT_EQ(port.SendShort(0xF8, 0, 0), 0);
  EXPECT_EQ(port.SendShort(0xF2, 0x10, 0x20), 0);
  EXPECT_EQ(calls.sent, (std::vector<std::vector<uint8_t>>{
                            {0xBF, 0x07, 0x64}, {0xC3, 0x05}, {0xF8}, {0xF2, 0x10, 0x20}}));
}

TEST_F(MidiOutPortRules, BytesThatAreNotAShortMessageAreRefusedNotSent) {
  ASSERT_EQ(port.Open(0), 0);
  for (const auto& [status, data1, data2] :
       std::vector<std::array<uint8_t, 3>>{{0x40, 0x10, 0x10},
                                           {0xF0, 0x01, 0x02},
                                           {0xF7, 0, 0},
                                           {0x90, 0x80, 0x10},
                                           {0xB0, 0x10, 0xFF}}) {
    EXPECT_EQ(port.Send(status, data1, data2), CMidiOutPort::SendOutcome::NotShortMessage);
  }
  EXPECT_TRUE(calls.sent.empty());
  EXPECT_EQ(port.DroppedCount(), 0u);
}

TEST_F(MidiOutPortRules, AMessageTheDeviceCannotQueueIsDroppedAndCounted) {
  ASSERT_EQ(port.Open(0), 0);
  calls.refuseSends = true;
  EXPECT_EQ(port.SendShort(0xB0, 1, 2), 100);
  EXPECT_EQ(port.Send(0xB0, 1, 2), CMidiOutPort::SendOutcome::Dropped);
  EXPECT_EQ(port.DroppedCount(), 2u);
  EXPECT_EQ(port.LastError(), "The queue is full.");
}

// The receive path, driven through the receiver that the backend was given.
class BridgeReceivePath : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(output.Open(0), 0);
    input.SetThruPort(&output);
    input.SetControllerQueue(&queue);
    ASSERT_EQ(input.Open(0), 0);
    ASSERT_EQ(input.Start(), 0);
    ASSERT_NE(inCalls.receiver, nullptr);
  }
  void Deliver(uint8_t status, uint8_t data1, uint8_t data2) {
    inCalls.receiver->Receive(CMidiMessage{0, status, data1, data2});
  }
  std::vector<ControllerChange> Drain() {
    std::vector<ControllerChange> changes;
    queue.AcknowledgeWake();
    for (ControllerChange change; queue.Pop(change);) {
      changes.push_back(change);
    }
    return changes;
  }

  std::mutex lock;
  Calls inCalls;
  Calls outCalls;
  CControllerQueue queue;
  CMidiOutPort output{std::make_unique<FakeOutBackend>(outCalls, 1)};
  CBridgeMidiIn input{lock, std::make_unique<FakeInBackend>(inCalls, 1)};
};

TEST_F(BridgeReceivePath, AThruMessageTheOutputCannotQueueIsCountedAndTheChangeStillHandedOn) {
  outCalls.refuseSends = true;
  Deliver(0xB2, 10, 20);
  Deliver(0x92, 60, 100);
  EXPECT_EQ(input.ThruDroppedCount(), 2u);
  const std::vector<ControllerChange> changes = Drain();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].controller, 10);
  EXPECT_EQ(changes[0].value, 20);
}

TEST_F(BridgeReceivePath, ThruIsNotCountedAsDroppedWhenNoOutputIsOpen) {
  output.Close();
  Deliver(0xB0, 1, 2);
  EXPECT_EQ(input.ThruDroppedCount(), 0u);
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
  ASSERT_EQ(port.Open(0), 0);
  ASSERT_EQ(port.Start(), 0);
  calls.receiver->Receive(CMidiMessage{0, 0x90, 1, 1});
  calls.receiver->Receive(CMidiMessage{0, 0x90, 1, 1});
  EXPECT_EQ(port.received, 2);
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

} // namespace
} // namespace vantrel
