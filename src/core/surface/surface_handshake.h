#pragma once
// Whether a Mackie Control surface answers on the MIDI output and input.
// Query sends the device query (the surface mode started, or its output
// opened) and waits kAnswerTime for an answer. A connection query from the
// surface gets the host's reply whenever it comes (a surface also sends one
// when it is switched on). Every well-formed answer counts: the connection
// query, the confirmation or refusal of the reply, a firmware version or an
// identity reply, from a Mackie Control or its Extender. With no answer in
// time the handshake turns silent, and stays so (through further queries,
// and after the surface mode ends, for the run's report) until an answer
// comes. Nothing else depends on it: the surface is driven either way, as
// many work without answering. Dialog thread only.

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

class CMidiOutPort;

// What a user reads when the surface does not answer.
inline constexpr std::string_view kSurfaceSilentNotice =
    "The control surface does not answer: nothing came back on MIDI In within 2 seconds of the "
    "Mackie Control device query sent on MIDI Out. Check that MIDI In and MIDI Out are the "
    "surface's own ports, that it is switched on and set to Mackie Control mode. Vantrel keeps "
    "driving it anyway.";

class CSurfaceHandshake {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kAnswerTime{2};

  // What a call changed, for the caller to say.
  enum class News { None, Silent, Answered };

  explicit CSurfaceHandshake(CMidiOutPort& output) : m_output(output) {}

  void Query(Clock::time_point now);
  // The surface mode ended: nothing is awaited.
  void Stop() { m_waiting = false; }
  // One system exclusive message from the surface.
  News OnExclusive(std::span<const uint8_t> bytes);
  // Silent once the answer time of a query has ended unanswered.
  News Check(Clock::time_point now);
  // How long until Check has something to do; nullopt when nothing waits.
  std::optional<std::chrono::milliseconds> NextDue(Clock::time_point now) const;

  bool Silent() const { return m_silent; }
  // The last answer in words ("Mackie Control, serial AB12345"); empty
  // before any.
  const std::string& Answer() const { return m_answer; }

private:
  CMidiOutPort& m_output;
  bool m_waiting = false;
  bool m_silent = false;
  Clock::time_point m_deadline{};
  std::string m_answer;
};

} // namespace vantrel
