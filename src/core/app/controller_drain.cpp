#include "app/controller_drain.h"

#include "app/cc_dispatcher.h"
#include "app/controller_learn.h"
#include "app/mute_buttons.h"
#include "midi/controller_queue.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "mixer/mixer_server.h"
#include "state/bridge_context.h"

#include <cstdio>

namespace vantrel {

CControllerDrain::CControllerDrain(CControllerQueue& queue, CBridgeMidiIn& input,
                                   CMidiOutPort& output)
    : m_queue(queue), m_input(input), m_output(output) {}

void CControllerDrain::ReportLoop() {
  if (m_input.LoopFound() == m_loopReported) {
    return;
  }
  m_loopReported = m_input.LoopFound();
  if (m_loopReported) {
    std::fprintf(stderr, "vantrel: the MIDI output comes back to the MIDI input (a MIDI loop); "
                         "messages that come back are no longer passed on.\n");
  }
}

void CControllerDrain::Drain(BridgeContext& context, CControllerLearn& learn, CMuteButtons& buttons,
                             bool drop) {
  m_queue.AcknowledgeWake();
  ReportLoop();
  IMixerServer* mixer = context.mixer;
  if (mixer != nullptr) {
    mixer->BeginBatch();
  }
  // The kept values of an overflow come after the ring.
  ControllerChange change;
  while (m_queue.Pop(change) || m_queue.PopLatest(change)) {
    if (drop || learn.Take(change)) {
      continue;
    }
    if (!change.note) {
      OnMidiCc(context, change.controller, change.value, change.channel);
      ++m_applied;
    }
    buttons.OnInput(context, change);
  }
  if (mixer != nullptr && context.mixer == mixer) {
    mixer->EndBatch();
  }
}

BridgeStats CControllerDrain::Stats() const {
  return {m_applied,
          m_queue.DroppedCount(),
          m_input.ThruDroppedCount(),
          m_output.DroppedCount(),
          m_input.ReceivedCount(),
          m_input.LoopEchoesDropped()};
}

} // namespace vantrel
