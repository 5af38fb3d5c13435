#include "midi/midi_out_port.h"

#include "midi/exclusive_message.h"
#include "midi/midi_message.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace vantrel {

CMidiOutPort::CMidiOutPort(std::unique_ptr<IMidiOutBackend> backend)
    : m_backend(std::move(backend)) {}

CMidiOutPort::~CMidiOutPort() {
  if (m_open) {
    Close();
  }
}

int CMidiOutPort::SetDevice(uint32_t index) {
  if (index >= m_backend->DeviceNames().size()) {
    return kMidiNoSuchDevice;
  }
  m_device = index;
  return kMidiOk;
}

int CMidiOutPort::Open(uint32_t index) {
  if (SetDevice(index) != kMidiOk) {
    const std::lock_guard lock(m_sendLock);
    KeepError(("There is no MIDI output device " + std::to_string(index) + ".").c_str());
    return kMidiNoSuchDevice;
  }
  if (m_open) {
    if (const int result = Close(); result != 0) {
      return result;
    }
  }
  // Opening takes milliseconds; it happens outside the lock so that thru
  // sends meanwhile are refused at once instead of waiting.
  std::string error;
  std::unique_ptr<IMidiOutConnection> connection = m_backend->Open(m_device, error);
  const std::lock_guard lock(m_sendLock);
  if (connection == nullptr) {
    KeepError(error.c_str());
    return kMidiFailed;
  }
  m_connection = std::move(connection);
  m_open = true;
  m_recent.Clear();
  m_generation.fetch_add(1, std::memory_order_acq_rel);
  return kMidiOk;
}

int CMidiOutPort::Close() {
  if (!m_open) {
    return kMidiOk;
  }
  std::unique_ptr<IMidiOutConnection> closing;
  {
    const std::lock_guard lock(m_sendLock);
    closing = std::move(m_connection);
  }
  closing.reset();
  m_open = false;
  return kMidiOk;
}

std::vector<std::string> CMidiOutPort::DeviceNames() const {
  return m_backend->DeviceNames();
}

int CMidiOutPort::SendShort(uint8_t status, uint8_t data1, uint8_t data2) {
  return Send(status, data1, data2) == SendOutcome::Sent ? 0 : 100;
}

CMidiOutPort::SendOutcome CMidiOutPort::Send(uint8_t status, uint8_t data1, uint8_t data2,
                                             CRecentSends::Kind kind,
                                             int64_t freshThruArrival) noexcept {
  const std::size_t size = ShortMessageLength(status);
  const uint8_t bytes[3] = {status, data1, data2};
  const std::lock_guard lock(m_sendLock);
  if (m_connection == nullptr) {
    return SendOutcome::NotOpen;
  }
  // A data byte with its top bit set would be read as a status byte by the
  // receiver, so such a message is refused rather than sent broken.
  if (size == 0 || (size > 1 && data1 > 0x7F) || (size > 2 && data2 > 0x7F)) {
    KeepError("Refused to send bytes that are not one short MIDI message.");
    return SendOutcome::NotShortMessage;
  }
  if (!m_connection->Send(bytes, size)) {
    KeepError(m_connection->SendError());
    m_dropped.fetch_add(1, std::memory_order_relaxed);
    return SendOutcome::Dropped;
  }
  m_recent.Note({0, status, data1, data2},
                kind == CRecentSends::Kind::FreshThru ? freshThruArrival : MonotonicMicros(), kind);
  return SendOutcome::Sent;
}

CMidiOutPort::SendOutcome CMidiOutPort::SendExclusive(std::span<const uint8_t> bytes) noexcept {
  const std::lock_guard lock(m_sendLock);
  if (m_connection == nullptr) {
    return SendOutcome::NotOpen;
  }
  if (bytes.size() > kMaxExclusive || !IsWholeExclusive(bytes)) {
    KeepError("Refused to send bytes that are not one system exclusive message.");
    return SendOutcome::NotShortMessage;
  }
  if (!m_connection->Send(bytes.data(), bytes.size())) {
    KeepError(m_connection->SendError());
    m_dropped.fetch_add(1, std::memory_order_relaxed);
    return SendOutcome::Dropped;
  }
  return SendOutcome::Sent;
}

std::string CMidiOutPort::LastError() const {
  const std::lock_guard lock(m_sendLock);
  return m_lastError.data();
}

void CMidiOutPort::KeepError(const char* text) noexcept {
  const std::size_t length = std::min(std::strlen(text), m_lastError.size() - 1);
  std::memcpy(m_lastError.data(), text, length);
  m_lastError[length] = '\0';
}

} // namespace vantrel
