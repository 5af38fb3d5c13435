#include "app/cc_dispatcher.h"

#include "state/bridge_context.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "pages/page_model.h"

namespace vantrel {

void OnMidiCc(BridgeContext& context, uint32_t controller, uint32_t value) {
  // Data bytes are 7 bits; a wider value cannot come from well-formed MIDI
  // and is clipped rather than scaled past the mixer's range.
  const int v = static_cast<int>(value > 127 ? 127 : value);
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    CPageModel* page = context.state.Slot(p.page);
    if (page == nullptr) {
      continue;
    }
    const auto strip = page->StripOfRow(row);
    if (!strip) {
      continue;
    }
    const int32_t number = page->Controller(*strip);
    if (!CPageModel::IsMapped(number) || static_cast<uint32_t>(number) != controller) {
      continue;
    }
    if (p.kind == ParameterKind::Filter) {
      if (context.midiOut != nullptr) {
        SendFilterParameter(*context.midiOut, context.state.outputChannel, p, v);
      }
    } else if (context.mixer != nullptr) {
      SetParameter(*context.mixer, p, MixerValueFromController(p, v));
    }
    if (context.state.currentPage == p.page) {
      page->ShowIncoming(*strip, v);
    }
  }
}

} // namespace vantrel
