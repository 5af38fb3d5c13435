#include "state/parameter_table.h"

#include <algorithm>
#include <cstdlib>

namespace vantrel {

CParameterTable::CParameterTable() {
  // Every row on one controller is the most an index entry ever holds.
  for (std::vector<uint8_t>& rows : m_rowsOf) {
    rows.reserve(kParameterRows);
  }
}

void CParameterTable::SetController(std::size_t row, int32_t controller) {
  const int32_t old = m_rows[row].controller;
  if (old == controller) {
    return;
  }
  if (IsMapped(old)) {
    std::erase(m_rowsOf[static_cast<std::size_t>(old)], static_cast<uint8_t>(row));
  }
  m_rows[row].controller = controller;
  if (IsMapped(controller)) {
    std::vector<uint8_t>& rows = m_rowsOf[static_cast<std::size_t>(controller)];
    rows.insert(std::upper_bound(rows.begin(), rows.end(), row), static_cast<uint8_t>(row));
  }
}

void CParameterTable::SetSoftTakeover(bool on) {
  m_softTakeover = on;
  for (Row& row : m_rows) {
    row.pickUps = {};
  }
}

bool CParameterTable::TakesOver(std::size_t row, std::size_t source, int v, int current) {
  if (!m_softTakeover) {
    return true;
  }
  PickUp& pickUp = m_rows[row].pickUps[source % kControllerSources];
  const int previous = pickUp.lastIncoming;
  pickUp.lastIncoming = static_cast<int8_t>(v & 0x7F);
  if (!pickUp.pickedUp) {
    const bool near = std::abs(v - current) <= kPickUpSteps;
    const bool crossed = previous >= 0 && (previous - current) * (v - current) < 0;
    pickUp.pickedUp = near || crossed;
  }
  return pickUp.pickedUp;
}

void CParameterTable::NoteFromSource(std::size_t row, std::size_t source) {
  for (std::size_t s = 0; s < kControllerSources; ++s) {
    if (s != source % kControllerSources) {
      m_rows[row].pickUps[s].pickedUp = false;
    }
  }
}

void CParameterTable::NoteElsewhere(std::size_t row) {
  for (PickUp& pickUp : m_rows[row].pickUps) {
    pickUp.pickedUp = false;
  }
}

} // namespace vantrel
