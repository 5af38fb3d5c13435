#include "app/cc_dispatcher.h"

#include "app/parameter_mirror.h"
#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "pages/page_model.h"
#include "pages/page_table.h"
#include "state/bridge_context.h"
#include "state/value_follower.h"

namespace vantrel {

void OnMidiCc(BridgeContext& context, uint32_t controller, uint32_t value) {
  // Data bytes are 7 bits; a wider value cannot come from well-formed MIDI
  // and is clipped rather than scaled past the mixer's range.
  const int v = static_cast<int>(value > 127 ? 127 : value);
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    const auto number = MappedController(context, row);
    if (!number || *number != controller) {
      continue;
    }
    if (context.mirror != nullptr && !context.mirror->TakesOver(context, row, v)) {
      continue;
    }
    if (p.kind == ParameterKind::Filter) {
      if (context.midiOut != nullptr) {
        SendFilterParameter(*context.midiOut, context.state.outputChannel, p, v);
      }
    } else if (context.mixer != nullptr) {
      const int32_t mixerValue = MixerValueFromController(p, v);
      SetParameter(*context.mixer, p, mixerValue);
      if (context.mirror != nullptr) {
        context.mirror->NoteFromController(row, mixerValue);
      }
    }
    if (const int pageNumber = PageOfRow(row); context.state.currentPage == pageNumber) {
      CPageModel* page = context.state.Slot(pageNumber);
      page->ShowIncoming(*page->StripOfRow(row), v);
    }
  }
}

} // namespace vantrel
