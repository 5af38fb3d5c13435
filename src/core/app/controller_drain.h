#pragma once
// The dialog thread's end of the controller hand-off: takes the changes the
// MIDI thread queued and runs the dispatcher once per change, in order, with
// everything one drain sets leaving for the mixer as one batch. It owns the
// count of changes applied and the report of a MIDI loop. Dialog thread only.

#include <cstdint>

namespace vantrel {

class CBridgeMidiIn;
class CControllerLearn;
class CControllerQueue;
class CMidiOutPort;
class CMuteButtons;
struct BridgeContext;

// What the receive path and the dispatcher have done so far.
struct BridgeStats {
  uint64_t controllersApplied = 0;      // changes the dispatcher ran
  uint64_t controllersDropped = 0;      // changes lost to a full controller queue
  uint64_t thruDropped = 0;             // thru messages the output could not queue
  uint64_t outputDropped = 0;           // any message the output could not queue
  uint64_t messagesReceived = 0;        // every short message the input delivered
  uint64_t loopEchoesDropped = 0;       // own output that came back through a MIDI loop
  uint64_t surfaceExclusiveDropped = 0; // surface system exclusive: too long, broken, no room
  bool surfaceSilent = false;           // the surface did not answer its last device query
};

class CControllerDrain {
public:
  CControllerDrain(CControllerQueue& queue, CBridgeMidiIn& input, CMidiOutPort& output);

  // Runs the dispatcher and the buttons once per queued change; a change
  // that learning takes is not applied. With drop (after shut-down) the
  // queue is emptied and nothing is applied.
  void Drain(BridgeContext& context, CControllerLearn& learn, CMuteButtons& buttons, bool drop);

  BridgeStats Stats() const;

private:
  // Says once on standard error that a MIDI loop was found.
  void ReportLoop();

  CControllerQueue& m_queue;
  CBridgeMidiIn& m_input;
  CMidiOutPort& m_output;
  uint64_t m_applied = 0;
  bool m_loopReported = false; // a MIDI loop is reported once per finding
};

} // namespace vantrel
