#include "midi/midi_out_port.h"

#include "midi/midi_message.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

CMidiOutPort::CMidiOutPort(std::unique_ptr<IMidiOutBackend> backend)
    : backend_(std::move(backend)) {}

CMidiOutPort::~CMidiOutPort() {
  if (open_) {
    Close();
  }
}

int CMidiOutPort::SetDevice(uint32_t index) {
  if (index >= backend_->DeviceCount()) {
    return 2;
  }
  device_ = index;
  return 0;
}

int CMidiOutPort::Open(uint32_t index) {
  if (SetDevice(index) != 0) {
    return 2;
  }
  if (open_) {
    if (const int result = Close(); result != 0) {
      return result;
    }
  }
  // Opening takes milliseconds; it happens outside the lock so that thru
  // sends meanwhile are refused at once instead of waiting.
  std::string error;
  std::unique_ptr<IMidiOutConnection> connection = backend_->Open(device_, error);
  const std::lock_guard lock(sendLock_);
  if (connection == nullptr) {
    KeepError(error.c_str());
    return 100;
  }
  connection_ = std::move(connection);
  open_ = true;
  return 0;
}

int CMidiOutPort::Close() {
  if (!open_) {
    return 0;
  }
  std::unique_ptr<IMidiOutConnection> closing;
  {
    const std::lock_guard lock(sendLock_);
    closing = std::move(connection_);
  }
  closing.reset();
  open_ = false;
  return 0;
}

int CMidiOutPort::SendShort(uint8_t status, uint8_t data1, uint8_t data2) {
  return Send(status, data1, data2) == SendOutcome::Sent ? 0 : 100;
}

CMidiOutPort::SendOutcome CMidiOutPort::Send(uint8_t status, uint8_t data1,
                                             uint8_t data2) noexcept {
  const std::size_t size = ShortMessageLength(status);
  const uint8_t bytes[3] = {status, data1, data2};
  const std::lock_guard lock(sendLock_);
  if (connection_ == nullptr) {
    return SendOutcome::NotOpen;
  }
  // A data byte with its top bit set would be read as a status byte by the
  // receiver, so such a message is refused rather than sent broken.
  if (size == 0 || (size > 1 && data1 > 0x7F) || (size > 2 && data2 > 0x7F)) {
    KeepError("Refused to send bytes that are not one short MIDI message.");
    return SendOutcome::NotShortMessage;
  }
  if (!connection_->Send(bytes, size)) {
    KeepError(connection_->SendError());
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return SendOutcome::Dropped;
  }
  return SendOutcome::Sent;
}

std::string CMidiOutPort::LastError() const {
  const std::lock_guard lock(sendLock_);
  return lastError_.data();
}

void CMidiOutPort::KeepError(const char* text) noexcept {
  const std::size_t length = std::min(std::strlen(text), lastError_.size() - 1);
  std::memcpy(lastError_.data(), text, length);
  lastError_[length] = '\0';
}

} // namespace vantrel
