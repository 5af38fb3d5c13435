#pragma once
// The filter cutoff and resonance of the receiving synthesiser, sent as a
// Non-Registered Parameter Number sequence (SoundFont 2.01 numbering:
// 120/8 initial filter cutoff, 120/9 initial filter Q; 8192 = no offset).

#include <cstdint>

namespace vantrel {

class IShortMessageSink;

inline constexpr int kNrpnCutoff = 8;
inline constexpr int kNrpnResonance = 9;

// Data values of the two filter faders for a value v in 0..127.
constexpr int CutoffNrpnData(int v) {
  return 8192 - 20 * v;
}
constexpr int ResonanceNrpnData(int v) {
  return 8192 + 8 * v;
}

// Sends NRPN select 99/120, 98/parameter, then Data Entry LSB 38/(data mod
// 128) before MSB 6/(data div 128), all on the given output channel index
// (its low four bits). Dialog thread only; results are not examined.
void SendFilterNrpn(IShortMessageSink& out, int32_t outputChannel, int parameter, int data);

} // namespace vantrel
