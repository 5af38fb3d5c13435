#include "app/cc_dispatcher.h"

#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "pages/page_model.h"
#include "pages/page_table.h"
#include "state/bridge_context.h"

namespace vantrel {

namespace {

// Soft takeover: whether the row may take v from `source` now. Without a
// known mixer value there is nothing to jump from.
bool TakesOver(BridgeContext& context, std::size_t row, std::size_t source, int v) {
  const Parameter& p = kCatalogue[row];
  if (!context.table.SoftTakeover() || p.kind == ParameterKind::Filter) {
    return true;
  }
  int32_t cell = 0;
  if (context.mixer == nullptr || context.mixer->IsStalled() ||
      ReadParameter(*context.mixer, p, cell) != kMixerOk) {
    return true;
  }
  return context.table.TakesOver(row, source, v, FaderValueFromReading(p, cell));
}

} // namespace

void OnMidiCc(BridgeContext& context, uint32_t controller, uint32_t value, std::size_t source) {
  if (controller > 127) {
    return;
  }
  // Data bytes are 7 bits; a wider value cannot come from well-formed MIDI
  // and is clipped rather than scaled past the mixer's range.
  const int v = static_cast<int>(value > 127 ? 127 : value);
  IMixerServer* mixer = context.mixer;
  if (mixer != nullptr) {
    mixer->BeginBatch();
  }
  for (const uint8_t row : context.table.RowsOf(static_cast<uint8_t>(controller))) {
    const Parameter& p = kCatalogue[row];
    if (!TakesOver(context, row, source, v)) {
      continue;
    }
    if (p.kind == ParameterKind::Filter) {
      if (context.midiOut != nullptr) {
        SendFilterParameter(*context.midiOut, context.state.outputChannel, p, v);
      }
    } else if (mixer != nullptr) {
      SetParameter(*mixer, p, MixerValueFromController(p, v));
      context.table.NoteFromSource(row, source);
    }
    if (const int pageNumber = PageOfRow(row); context.state.currentPage == pageNumber) {
      CPageModel* page = context.state.Slot(pageNumber);
      page->ShowIncoming(*page->StripOfRow(row), v);
    }
  }
  if (mixer != nullptr) {
    mixer->EndBatch();
  }
}

} // namespace vantrel
