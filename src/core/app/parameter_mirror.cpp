#include "app/parameter_mirror.h"

#include "midi/short_message_sink.h"
#include "mixer/mixer_server.h"
#include "pages/page_model.h"
#include "pages/page_table.h"
#include "state/bridge_context.h"

#include <cstdlib>
#include <utility>

namespace vantrel {

std::optional<uint8_t> MappedController(const BridgeContext& context, std::size_t row) {
  const CPageModel* page = context.state.Slot(PageOfRow(row));
  if (page == nullptr) {
    return std::nullopt;
  }
  const auto strip = page->StripOfRow(row);
  if (!strip) {
    return std::nullopt;
  }
  const int32_t number = page->Controller(*strip);
  if (!CPageModel::IsMapped(number)) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(number);
}

void CParameterMirror::SetSoftTakeover(bool on) {
  m_softTakeover = on;
  for (Row& row : m_rows) {
    row.pickedUp = false;
    row.lastIncoming.reset();
  }
}

bool CParameterMirror::TakesOver(const BridgeContext& context, std::size_t row, int v) {
  if (!m_softTakeover) {
    return true;
  }
  Row& r = m_rows[row];
  const Parameter& p = kCatalogue[row];
  const std::optional<int> previous = std::exchange(r.lastIncoming, v);
  if (r.pickedUp || p.kind == ParameterKind::Filter) {
    return true;
  }
  if (!r.known && context.mixer != nullptr) {
    int32_t cell = 0;
    if (ReadParameter(*context.mixer, p, cell) == kMixerOk) {
      r.known = cell;
    }
  }
  if (!r.known) {
    // Nothing to compare with (no mixer): nothing to jump from either.
    return true;
  }
  const int current = FaderValueFromReading(p, *r.known);
  const bool near = std::abs(v - current) <= kPickUpSteps;
  const bool crossed = previous && (*previous - current) * (v - current) < 0;
  r.pickedUp = near || crossed;
  return r.pickedUp;
}

void CParameterMirror::NoteFromController(std::size_t row, int32_t mixerValue) {
  m_rows[row].known = mixerValue;
}

void CParameterMirror::NoteFromScreen(std::size_t row, int32_t mixerValue) {
  m_rows[row].known = mixerValue;
  m_rows[row].pickedUp = false;
}

void CParameterMirror::Follow(BridgeContext& context) {
  if (Following()) {
    Sync(context, false);
  }
}

void CParameterMirror::SendAll(BridgeContext& context) {
  if (m_feedback) {
    Sync(context, true);
  }
}

void CParameterMirror::Sync(BridgeContext& context, bool all) {
  IMixerServer* mixer = context.mixer;
  if (mixer == nullptr || mixer->IsStalled()) {
    return;
  }
  // One Control Change per controller and pass, the last row's value.
  std::array<std::optional<uint8_t>, 128> outgoing{};
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    const Parameter& p = kCatalogue[row];
    const auto controller = MappedController(context, row);
    if (!controller || p.kind == ParameterKind::Filter) {
      continue;
    }
    int32_t cell = 0;
    if (ReadParameter(*mixer, p, cell) != kMixerOk) {
      // A server that stopped answering leaves everything as known.
      if (mixer->IsStalled()) {
        return;
      }
      continue;
    }
    Row& r = m_rows[row];
    if (!all && r.known == cell) {
      continue;
    }
    // A row first seen now was not changed by anyone we know of.
    const bool seenBefore = r.known.has_value();
    r.known = cell;
    r.pickedUp = false;
    if (all || seenBefore) {
      outgoing[*controller] = static_cast<uint8_t>(FaderValueFromReading(p, cell) & 0x7F);
    }
  }
  if (!m_feedback || context.midiOut == nullptr) {
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
