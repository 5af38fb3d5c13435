#include "app/cc_dispatcher.h"

#include "mixer/catalogue.h"
#include "mixer/mixer_server.h"
#include "mixer/scales.h"
#include "pages/page_model.h"
#include "pages/page_table.h"
#include "state/bridge_context.h"

#include <algorithm>

namespace vantrel {

namespace {

// The mixer, when its values are known; null otherwise.
IMixerServer* KnownMixer(BridgeContext& context) {
  IMixerServer* mixer = context.mixer;
  return mixer != nullptr && !mixer->IsStalled() ? mixer : nullptr;
}

// Soft takeover: whether the row may take v from `source` now. Without a
// known mixer value there is nothing to jump from.
bool TakesOver(BridgeContext& context, std::size_t row, std::size_t source, int v) {
  const Parameter& p = kCatalogue[row];
  if (!context.table.SoftTakeover() || p.kind == ParameterKind::Filter) {
    return true;
  }
  int32_t cell = 0;
  IMixerServer* mixer = KnownMixer(context);
  if (mixer == nullptr || ReadParameter(*mixer, p, cell) != kMixerOk) {
    return true;
  }
  return context.table.TakesOver(row, source, v, FaderValueFromReading(p, cell));
}

// Where a relative step starts: the mixer's value, or for a filter row (or
// with no mixer value) the fader value last shown.
int CurrentValue(BridgeContext& context, std::size_t row) {
  const Parameter& p = kCatalogue[row];
  int32_t cell = 0;
  IMixerServer* mixer = KnownMixer(context);
  if (p.kind == ParameterKind::Filter || mixer == nullptr ||
      ReadParameter(*mixer, p, cell) != kMixerOk) {
    return context.table.Shown(row);
  }
  return ControllerValueFromReading(p, cell);
}

// One row's new value: 7 bits for the fader and the filter sequence, and
// what the mixer gets.
struct RowValue {
  int v = 0;
  int32_t mixerValue = 0;
};

RowValue ValueForRow(BridgeContext& context, std::size_t row, const ControllerInput& input) {
  const Parameter& p = kCatalogue[row];
  switch (input.kind) {
  case ControllerInput::Kind::Fine:
    return {input.value >> kFineBits, MixerValueFromFineController(p, input.value)};
  case ControllerInput::Kind::Relative: {
    const int v = std::clamp(CurrentValue(context, row) + input.value, 0, kFaderMax);
    return {v, MixerValueFromController(p, v)};
  }
  default:
    return {input.value, MixerValueFromController(p, input.value)};
  }
}

} // namespace

void OnMidiCc(BridgeContext& context, uint32_t controller, uint32_t value, std::size_t source) {
  if (controller > 127) {
    return;
  }
  // Data bytes are 7 bits; a wider value cannot come from well-formed MIDI
  // and is clipped rather than scaled past the mixer's range.
  const auto v7 = static_cast<uint8_t>(value > 127 ? 127 : value);
  const ControllerInput input = context.modes.Decode(static_cast<uint8_t>(controller), v7,
                                                     static_cast<uint8_t>(source & 0x0F));
  if (input.kind == ControllerInput::Kind::None) {
    return;
  }
  IMixerServer* mixer = context.mixer;
  if (mixer != nullptr) {
    mixer->BeginBatch();
  }
  for (const uint8_t row : context.table.RowsOf(input.controller)) {
    const Parameter& p = kCatalogue[row];
    const RowValue next = ValueForRow(context, row, input);
    // A relative step moves from the row's own value: it never jumps, so it
    // needs no pick-up.
    if (input.kind != ControllerInput::Kind::Relative && !TakesOver(context, row, source, next.v)) {
      continue;
    }
    if (p.kind == ParameterKind::Filter) {
      context.table.SetShown(row, next.v);
      if (context.midiOut != nullptr) {
        SendFilterParameter(*context.midiOut, context.state.outputChannel, p, next.v);
      }
    } else if (mixer != nullptr) {
      SetParameter(*mixer, p, next.mixerValue);
      context.table.NoteFromSource(row, source);
    }
    if (const int pageNumber = PageOfRow(row); context.state.currentPage == pageNumber) {
      CPageModel* page = context.state.Slot(pageNumber);
      page->ShowIncoming(*page->StripOfRow(row), next.v);
    }
  }
  if (mixer != nullptr) {
    mixer->EndBatch();
  }
}

} // namespace vantrel
