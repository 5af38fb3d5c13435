#include "surface/surface_handshake.h"

#include "midi/midi_out_port.h"
#include "surface/mackie_codec.h"

#include <algorithm>
#include <utility>

namespace vantrel {

static_assert(CSurfaceHandshake::kAnswerTime == std::chrono::seconds(2),
              "the notice names the answer time");

namespace {

using Kind = mackie::DeviceAnswer::Kind;

// The serial number as text; bytes outside printable ASCII show as '?'.
std::string SerialText(const mackie::DeviceAnswer& answer) {
  std::string text;
  for (const uint8_t byte : answer.serial) {
    text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
  }
  return text;
}

std::string Describe(const mackie::DeviceAnswer& answer) {
  if (answer.kind == Kind::Identity) {
    return "an identity reply";
  }
  std::string text(mackie::ModelName(answer.model));
  if (answer.kind != Kind::Version) {
    text += ", serial " + SerialText(answer);
  }
  if (answer.kind == Kind::Refusal) {
    text += ", which refused the connection reply";
  }
  return text;
}

} // namespace

void CSurfaceHandshake::Query(Clock::time_point now) {
  m_output.SendExclusive(mackie::kDeviceQuery);
  m_waiting = true;
  m_deadline = now + kAnswerTime;
}

CSurfaceHandshake::News CSurfaceHandshake::OnExclusive(std::span<const uint8_t> bytes) {
  const mackie::DeviceAnswer answer = mackie::DecodeDeviceAnswer(bytes);
  if (answer.kind == Kind::None) {
    return News::None;
  }
  if (answer.kind == Kind::ConnectionQuery) {
    m_output.SendExclusive(mackie::ConnectionReply(answer));
  }
  m_answer = Describe(answer);
  // Said once per query or silence: the messages of one handshake after
  // the first are no news.
  const bool news = m_waiting || m_silent;
  m_waiting = false;
  m_silent = false;
  return news ? News::Answered : News::None;
}

CSurfaceHandshake::News CSurfaceHandshake::Check(Clock::time_point now) {
  if (!m_waiting || now < m_deadline) {
    return News::None;
  }
  m_waiting = false;
  // A silence that stands is not said again.
  return std::exchange(m_silent, true) ? News::None : News::Silent;
}

std::optional<std::chrono::milliseconds> CSurfaceHandshake::NextDue(Clock::time_point now) const {
  if (!m_waiting) {
    return std::nullopt;
  }
  return std::max(std::chrono::ceil<std::chrono::milliseconds>(m_deadline - now),
                  std::chrono::milliseconds(0));
}

} // namespace vantrel
