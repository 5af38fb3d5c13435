#include "midi/midi_in_port.h"

namespace vantrel {

CMidiInPort::CMidiInPort(std::mutex& receiveLock, std::unique_ptr<IMidiInBackend> backend)
    : receiveLock_(receiveLock), backend_(std::move(backend)) {}

CMidiInPort::~CMidiInPort() {
  if (started_) {
    Stop();
  }
  if (open_) {
    Close();
  }
}

int CMidiInPort::SetDevice(int32_t index) {
  if (index < 0 || static_cast<uint32_t>(index) >= backend_->DeviceCount()) {
    return 2;
  }
  device_ = index;
  return 0;
}

int CMidiInPort::Open(int32_t index) {
  if (open_) {
    if (const int result = Close(); result != 0) {
      return result;
    }
  }
  if (SetDevice(index) != 0) {
    return 2;
  }
  connection_ = backend_->Open(static_cast<uint32_t>(device_), *this, lastError_);
  if (connection_ == nullptr) {
    return 100;
  }
  open_ = true;
  return 0;
}

int CMidiInPort::Close() {
  if (!open_) {
    return 0;
  }
  // Destroying the connection closes the device and waits for a delivery in
  // progress to finish.
  connection_.reset();
  open_ = false;
  started_ = false;
  return 0;
}

int CMidiInPort::Start() {
  if (started_) {
    return 0;
  }
  if (connection_ == nullptr) {
    lastError_ = "Cannot start MIDI input: no input device is open.";
    return 100;
  }
  if (connection_->Start(lastError_) != 0) {
    return 100;
  }
  started_ = true;
  return 0;
}

int CMidiInPort::Stop() {
  if (!started_) {
    return 0;
  }
  if (connection_->Stop(lastError_) != 0) {
    return 100;
  }
  started_ = false;
  return 0;
}

void CMidiInPort::OnReceive(const CMidiMessage&) {}

void CMidiInPort::Receive(const CMidiMessage& message) noexcept {
  const std::lock_guard lock(receiveLock_);
  try {
    OnReceive(message);
  } catch (...) {
    // Nothing may unwind into the MIDI system's thread; the message is lost.
  }
}

CBridgeMidiIn::~CBridgeMidiIn() {
  Stop();
  Close();
}

void CBridgeMidiIn::OnReceive(const CMidiMessage& message) {
  if (CMidiOutPort* thru = thru_.load(std::memory_order_acquire)) {
    if (thru->Send(message.status, message.data1, message.data2) ==
        CMidiOutPort::SendOutcome::Dropped) {
      thruDropped_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  if (IsControlChange(message.status)) {
    if (CControllerQueue* queue = controllers_.load(std::memory_order_acquire)) {
      queue->Push({message.data1, message.data2});
    }
  }
}

} // namespace vantrel
