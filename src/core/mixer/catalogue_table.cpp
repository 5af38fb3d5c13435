#include "mixer/catalogue.h"

namespace vantrel {

namespace {
using K = ParameterKind;
using Op = SetOperation;
} // namespace

// In dispatch order: the master section (Aux 1-4, Vol L/R, Rec); Analog 1-4,
// Digital 1-2, Wave and MIDI; User 1-4; then User 5 and the two filter rows.
// Each source in turn: Aux 1, Aux 2, Vol, Pan.
constexpr auto kRows = std::to_array<Parameter>({
    {"Aux 1", "Aux1CC", Op::BusLevel, {0, 0, 0}, K::Level},
    {"Aux 2", "Aux2CC", Op::BusLevel, {1, 0, 0}, K::Level},
    {"Aux 3", "Aux3CC", Op::BusLevel, {2, 0, 0}, K::Level},
    {"Aux 4", "Aux4CC", Op::BusLevel, {3, 0, 0}, K::Level},
    {"Vol L", "VolLCC", Op::MasterVolume, {0, 0, 0}, K::Gain},
    {"Vol R", "VolRCC", Op::MasterVolume, {1, 0, 0}, K::Gain},
    {"Rec", "RecGainCC", Op::RecordLevel, {0, 0, 0}, K::Level},
    {"Analog 1 Aux 1", "A1Aux1CC", Op::SendLevel, {0, 0, 0}, K::Level},
    {"Analog 1 Aux 2", "A1Aux2CC", Op::SendLevel, {0, 0, 1}, K::Level},
    {"Analog 1 Vol", "A1VolCC", Op::SourceVolume, {0, 0, 0}, K::Gain},
    {"Analog 1 Pan", "A1PanCC", Op::SourcePan, {0, 0, 0}, K::Level},
    {"Analog 2 Aux 1", "A2Aux1CC", Op::SendLevel, {0, 1, 0}, K::Level},
    {"Analog 2 Aux 2", "A2Aux2CC", Op::SendLevel, {0, 1, 1}, K::Level},
    {"Analog 2 Vol", "A2VolCC", Op::SourceVolume, {0, 1, 0}, K::Gain},
    {"Analog 2 Pan", "A2PanCC", Op::SourcePan, {0, 1, 0}, K::Level},
    {"Analog 3 Aux 1", "A3Aux1CC", Op::SendLevel, {0, 2, 0}, K::Level},
    {"Analog 3 Aux 2", "A3Aux2CC", Op::SendLevel, {0, 2, 1}, K::Level},
    {"Analog 3 Vol", "A3VolCC", Op::SourceVolume, {0, 2, 0}, K::Gain},
    {"Analog 3 Pan", "A3PanCC", Op::SourcePan, {0, 2, 0}, K::Level},
    {"Analog 4 Aux 1", "A4Aux1CC", Op::SendLevel, {0, 3, 0}, K::Level},
    {"Analog 4 Aux 2", "A4Aux2CC", Op::SendLevel, {0, 3, 1}, K::Level},
    {"Analog 4 Vol", "A4VolCC", Op::SourceVolume, {0, 3, 0}, K::Gain},
    {"Analog 4 Pan", "A4PanCC", Op::SourcePan, {0, 3, 0}, K::Level},
    {"Digital 1 Aux 1", "D1Aux1CC", Op::SendLevel, {1, 0, 0}, K::Level},
    {"Digital 1 Aux 2", "D1Aux2CC", Op::SendLevel, {1, 0, 1}, K::Level},
    {"Digital 1 Vol", "D1VolCC", Op::SourceVolume, {1, 0, 0}, K::Gain},
    {"Digital 1 Pan", "D1PanCC", Op::SourcePan, {1, 0, 0}, K::Level},
    {"Digital 2 Aux 1", "D2Aux1CC", Op::SendLevel, {1, 1, 0}, K::Level},
    {"Digital 2 Aux 2", "D2Aux2CC", Op::SendLevel, {1, 1, 1}, K::Level},
    {"Digital 2 Vol", "D2VolCC", Op::SourceVolume, {1, 1, 0}, K::Gain},
    {"Digital 2 Pan", "D2PanCC", Op::SourcePan, {1, 1, 0}, K::Level},
    {"Wave Aux 1", "WaveAux1CC", Op::SendLevel, {2, 0, 0}, K::Level},
    {"Wave Aux 2", "WaveAux2CC", Op::SendLevel, {2, 0, 1}, K::Level},
    {"Wave Vol", "WaveVolCC", Op::SourceVolume, {2, 0, 0}, K::Gain},
    {"Wave Pan", "WavePanCC", Op::SourcePan, {2, 0, 0}, K::Level},
    {"MIDI Aux 1", "MidiAux1CC", Op::SendLevel, {3, 0, 0}, K::Level},
    {"MIDI Aux 2", "MidiAux2CC", Op::SendLevel, {3, 0, 1}, K::Level},
    {"MIDI Vol", "MidiVolCC", Op::SourceVolume, {3, 0, 0}, K::Gain},
    {"MIDI Pan", "MidiPanCC", Op::SourcePan, {3, 0, 0}, K::Level},
    {"User 1 Aux 1", "U1Aux1CC", Op::SendLevel, {4, 0, 0}, K::Level},
    {"User 1 Aux 2", "U1Aux2CC", Op::SendLevel, {4, 0, 1}, K::Level},
    {"User 1 Vol", "U1VolCC", Op::SourceVolume, {4, 0, 0}, K::Gain},
    {"User 1 Pan", "U1PanCC", Op::SourcePan, {4, 0, 0}, K::Level},
    {"User 2 Aux 1", "U2Aux1CC", Op::SendLevel, {4, 1, 0}, K::Level},
    {"User 2 Aux 2", "U2Aux2CC", Op::SendLevel, {4, 1, 1}, K::Level},
    {"User 2 Vol", "U2VolCC", Op::SourceVolume, {4, 1, 0}, K::Gain},
    {"User 2 Pan", "U2PanCC", Op::SourcePan, {4, 1, 0}, K::Level},
    {"User 3 Aux 1", "U3Aux1CC", Op::SendLevel, {4, 2, 0}, K::Level},
    {"User 3 Aux 2", "U3Aux2CC", Op::SendLevel, {4, 2, 1}, K::Level},
    {"User 3 Vol", "U3VolCC", Op::SourceVolume, {4, 2, 0}, K::Gain},
    {"User 3 Pan", "U3PanCC", Op::SourcePan, {4, 2, 0}, K::Level},
    {"User 4 Aux 1", "U4Aux1CC", Op::SendLevel, {4, 3, 0}, K::Level},
    {"User 4 Aux 2", "U4Aux2CC", Op::SendLevel, {4, 3, 1}, K::Level},
    {"User 4 Vol", "U4VolCC", Op::SourceVolume, {4, 3, 0}, K::Gain},
    {"User 4 Pan", "U4PanCC", Op::SourcePan, {4, 3, 0}, K::Level},
    {"User 5 Aux 1", "U5Aux1CC", Op::SendLevel, {4, 4, 0}, K::Level},
    {"User 5 Aux 2", "U5Aux2CC", Op::SendLevel, {4, 4, 1}, K::Level},
    {"User 5 Vol", "U5VolCC", Op::SourceVolume, {4, 4, 0}, K::Gain},
    {"User 5 Pan", "U5PanCC", Op::SourcePan, {4, 4, 0}, K::Level},
    {"Cutoff", "NRPN Cut", Op::FilterCutoff, {0, 0, 0}, K::Filter},
    {"Res", "NRPN Res", Op::FilterResonance, {0, 0, 0}, K::Filter},
});
static_assert(kRows.size() == kParameterCount, "every parameter has exactly one row");

const std::array<Parameter, kParameterCount> kCatalogue = kRows;

} // namespace vantrel
