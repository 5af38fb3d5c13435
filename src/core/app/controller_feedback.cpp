#include "app/controller_feedback.h"

#include "midi/short_message_sink.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "state/bridge_context.h"

#include <array>
#include <optional>

namespace vantrel {

void CControllerFeedback::Follow(BridgeContext& context, const CMixerMirror::Slots& changed) {
  Send(context, &changed);
}

void CControllerFeedback::SendAll(BridgeContext& context) {
  if (m_feedback) {
    Send(context, nullptr);
  }
}

void CControllerFeedback::Send(BridgeContext& context, const CMixerMirror::Slots* changed) {
  IMixerServer* mixer = context.mixer;
  if (mixer == nullptr) {
    return;
  }
  // One Control Change per controller and pass, the last row's value.
  std::array<std::optional<uint8_t>, 128> outgoing{};
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    const auto slot = ValueSlotOf(p);
    if (!slot || (changed != nullptr && !changed->test(*slot))) {
      continue;
    }
    if (changed != nullptr) {
      context.table.NoteElsewhere(row);
    }
    const int32_t controller = context.table.Controller(row);
    int32_t cell = 0;
    if (m_feedback && CParameterTable::IsMapped(controller) &&
        ReadParameter(*mixer, p, cell) == kMixerOk) {
      outgoing[static_cast<std::size_t>(controller)] =
          static_cast<uint8_t>(FaderValueFromReading(p, cell) & 0x7F);
    }
  }
  if (context.midiOut == nullptr) {
    return;
  }
  for (std::size_t controller = 0; controller < outgoing.size(); ++controller) {
    if (outgoing[controller]) {
      context.midiOut->SendShort(context.state.ControlChangeStatus(),
                                 static_cast<uint8_t>(controller), *outgoing[controller]);
    }
  }
}

} // namespace vantrel
