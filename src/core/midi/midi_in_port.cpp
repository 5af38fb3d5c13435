#include "midi/midi_in_port.h"

#include <optional>

namespace vantrel {

CMidiInPort::CMidiInPort(std::mutex& receiveLock, std::unique_ptr<IMidiInBackend> backend)
    : m_receiveLock(receiveLock), m_backend(std::move(backend)) {}

CMidiInPort::~CMidiInPort() {
  if (m_started) {
    Stop();
  }
  if (m_open) {
    Close();
  }
}

int CMidiInPort::SetDevice(int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= m_backend->DeviceNames().size()) {
    return kMidiNoSuchDevice;
  }
  m_device = index;
  return kMidiOk;
}

int CMidiInPort::Open(int32_t index) {
  if (m_open) {
    if (const int result = Close(); result != 0) {
      return result;
    }
  }
  if (SetDevice(index) != kMidiOk) {
    m_lastError = "There is no MIDI input device " + std::to_string(index) + ".";
    return kMidiNoSuchDevice;
  }
  m_connection = m_backend->Open(static_cast<uint32_t>(m_device), *this, m_lastError);
  if (m_connection == nullptr) {
    return kMidiFailed;
  }
  m_open = true;
  return kMidiOk;
}

int CMidiInPort::Close() {
  if (!m_open) {
    return kMidiOk;
  }
  // Destroying the connection closes the device and waits for a delivery in
  // progress to finish.
  m_connection.reset();
  m_open = false;
  m_started = false;
  OnClosed();
  return kMidiOk;
}

int CMidiInPort::Start() {
  if (m_started) {
    return kMidiOk;
  }
  if (m_connection == nullptr) {
    m_lastError = "Cannot start MIDI input: no input device is open.";
    return kMidiFailed;
  }
  if (m_connection->Start(m_lastError) != kMidiOk) {
    return kMidiFailed;
  }
  m_started = true;
  return kMidiOk;
}

int CMidiInPort::Stop() {
  if (!m_started) {
    return kMidiOk;
  }
  if (m_connection->Stop(m_lastError) != kMidiOk) {
    return kMidiFailed;
  }
  m_started = false;
  return kMidiOk;
}

std::vector<std::string> CMidiInPort::DeviceNames() const {
  return m_backend->DeviceNames();
}

void CMidiInPort::OnReceive(const CMidiMessage&) {}

void CMidiInPort::Receive(const CMidiMessage& message) noexcept {
  const std::lock_guard lock(m_receiveLock);
  m_received.store(m_received.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  try {
    OnReceive(message);
  } catch (...) {
    // Nothing may unwind into the MIDI system's thread; the message is lost.
  }
}

void CMidiInPort::ReceiveExclusive(const CExclusiveMessage* message) noexcept {
  const std::lock_guard lock(m_receiveLock);
  try {
    OnReceiveExclusive(message);
  } catch (...) {
    // As in Receive: the message is lost.
  }
}

CBridgeMidiIn::~CBridgeMidiIn() {
  Stop();
  Close();
}

void CBridgeMidiIn::OnReceive(const CMidiMessage& message) {
  if (CMessageQueue* surface = m_surface.load(std::memory_order_acquire)) {
    surface->Push(message);
    return;
  }
  if (CMidiOutPort* thru = m_thru.load(std::memory_order_acquire)) {
    const int64_t arrival = MonotonicMicros();
    const CRecentSends::Match match = thru->TakeRecentSend(message, arrival);
    if (CameBack(*thru, message, match, arrival)) {
      return;
    }
    // Only what the program said itself, coming back, gets a copy with the
    // echo window: what matched a fresh thru copy may be an encoder's next
    // step, which must not make the steps after it look like echoes too.
    const CRecentSends::Kind kind = match == CRecentSends::Match::Sent
                                        ? CRecentSends::Kind::Echo
                                        : CRecentSends::Kind::FreshThru;
    if (thru->Send(message.status, message.data1, message.data2, kind, arrival) ==
        CMidiOutPort::SendOutcome::Dropped) {
      m_thruDropped.fetch_add(1, std::memory_order_relaxed);
    }
  }
  const bool note = IsNote(message.status);
  if (IsControlChange(message.status) || note) {
    if (CControllerQueue* queue = m_controllers.load(std::memory_order_acquire)) {
      // A Note Off goes as its Note On form, velocity 0: a release.
      const bool noteOff = (message.status & 0xF0) == 0x80;
      queue->Push({message.data1, noteOff ? uint8_t{0} : message.data2,
                   static_cast<uint8_t>(message.status & 0x0F), note});
    }
  }
}

void CBridgeMidiIn::OnReceiveExclusive(const CExclusiveMessage* message) {
  if (CMessageQueue* surface = m_surface.load(std::memory_order_acquire)) {
    surface->PushExclusive(message);
  }
}

bool CBridgeMidiIn::CameBack(CMidiOutPort& thru, const CMidiMessage& message,
                             CRecentSends::Match match, int64_t arrival) noexcept {
  if (const uint32_t generation = thru.DeviceGeneration(); generation != m_outputGeneration) {
    m_outputGeneration = generation;
    m_run = 0;
    m_loopFound.store(false, std::memory_order_release);
  }
  if (match == CRecentSends::Match::None) {
    // A controller playing something of its own ends a run; clock and other
    // system messages neither start nor end one.
    if (message.status < 0xF0) {
      m_run = 0;
    }
    return false;
  }
  if (!m_loopFound.load(std::memory_order_relaxed)) {
    m_run = arrival - m_lastCameBack <= CRecentSends::kWindowMicros ? m_run + 1 : 1;
    m_lastCameBack = arrival;
    if (m_run < kLoopRun) {
      return false;
    }
    m_loopFound.store(true, std::memory_order_release);
    // The dialog thread says so once; nothing else may wake it now.
    if (CControllerQueue* queue = m_controllers.load(std::memory_order_acquire)) {
      queue->Wake();
    }
  }
  m_loopDropped.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void CBridgeMidiIn::OnClosed() {
  m_run = 0;
  m_loopFound.store(false, std::memory_order_release);
}

} // namespace vantrel
