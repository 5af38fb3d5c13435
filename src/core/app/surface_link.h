#pragma once
// Serves a control surface on the session's MIDI input and output: the input
// hands its messages whole to the surface's queue (no thru, no controller
// mapping), the surface answers on the output, and a timer brings held-back
// updates out when their interval ends. Whenever the surface starts on an
// open output the device query goes out (CSurfaceHandshake); a surface that
// does not answer in time is said so once on standard error and in
// Notice(), and driven all the same. The owner's event loop watches Fd()
// and calls OnReady(); the session tells it when mixer values may have
// changed and when the output opened. The names of the applications the
// strips drive are asked of the mixer server every kNamesInterval, without
// waiting for the answer. Dialog thread only.

#include "app/surface_protocol.h"
#include "midi/message_queue.h"
#include "posix/unique_fd.h"
#include "surface/mackie_surface.h"
#include "surface/surface_handshake.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class CBridgeMidiIn;
class CMidiOutPort;
class CMixerLink;
struct BridgeContext;

class CSurfaceLink {
public:
  static constexpr std::chrono::seconds kNamesInterval{2};

  // Throws std::system_error when its descriptors cannot be made.
  CSurfaceLink(BridgeContext& context, CBridgeMidiIn& input, CMidiOutPort& output,
               CMixerLink& mixerLink);
  CSurfaceLink(const CSurfaceLink&) = delete;
  CSurfaceLink& operator=(const CSurfaceLink&) = delete;

  // Turns the surface on (the input's messages come here) or off (the
  // input is the bridge's again). The link must outlive the input's open
  // states: it is made once per session and never dropped while the input
  // may deliver.
  void SetOn(bool on);

  // Readable when messages wait or a held-back update is due.
  int Fd() const { return m_epoll.Get(); }
  void OnReady();
  // Mixer values may have changed, or the page's, or the bindings.
  void Follow();
  // The output has just opened: the surface gets everything again.
  void OutputOpened();

  // Messages lost to a full queue.
  uint64_t DroppedCount() const { return m_queue.DroppedCount(); }
  // System exclusive messages dropped: too long, not well formed or no room.
  uint64_t ExclusiveDroppedCount() const { return m_queue.ExclusiveDroppedCount(); }
  // Empty, or a sentence saying that the surface did not answer its last
  // device query (kept after the surface is turned off, for the report).
  std::string_view Notice() const;

private:
  void Arm();
  void Say(CSurfaceHandshake::News news);
  void AskForNames(CMackieSurface::Clock::time_point now);

  BridgeContext& m_context;
  CBridgeMidiIn& m_input;
  CMidiOutPort& m_output;
  CMixerLink& m_mixerLink;
  CMessageQueue m_queue;
  CUniqueFd m_timer;
  CUniqueFd m_epoll;
  CMackieSurface m_surface;
  CSurfaceHandshake m_handshake;
  bool m_on = false;
  CMackieSurface::Clock::time_point m_namesDue{};
  // Answers of the mixer server that arrive once the link is gone find
  // this expired.
  std::shared_ptr<CMackieSurface*> m_self = std::make_shared<CMackieSurface*>(&m_surface);
};

} // namespace vantrel
