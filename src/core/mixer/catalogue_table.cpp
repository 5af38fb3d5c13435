#include "mixer/catalogue.h"

namespace vantrel {

namespace {
using K = ParameterKind;
using Op = SetOperation;
} // namespace

// In dispatch order: Master; the input pair pages; User 1 & 2; User 3 & 4;
// then User 5 & NRPN. Within a pair page: the first source's Aux 1, Aux 2,
// Vol, Pan, then the second source's.
constexpr auto kRows = std::to_array<Parameter>({
    {1, "Master", "Aux 1", "Aux1CC", 1003, Op::BusLevel, {0, 0, 0}, K::Level},
    {1, "Master", "Aux 2", "Aux2CC", 1004, Op::BusLevel, {1, 0, 0}, K::Level},
    {1, "Master", "Aux 3", "Aux3CC", 1005, Op::BusLevel, {2, 0, 0}, K::Level},
    {1, "Master", "Aux 4", "Aux4CC", 1006, Op::BusLevel, {3, 0, 0}, K::Level},
    {1, "Master", "Vol L", "VolLCC", 1020, Op::MasterVolume, {0, 0, 0}, K::Gain},
    {1, "Master", "Vol R", "VolRCC", 1024, Op::MasterVolume, {1, 0, 0}, K::Gain},
    {1, "Master", "Rec", "RecGainCC", 1155, Op::RecordLevel, {0, 0, 0}, K::Level},
    {2, "Analog 1 & 2", "Analog 1 Aux 1", "A1Aux1CC", 1028, Op::SendLevel, {0, 0, 0}, K::Level},
    {2, "Analog 1 & 2", "Analog 1 Aux 2", "A1Aux2CC", 1036, Op::SendLevel, {0, 0, 1}, K::Level},
    {2, "Analog 1 & 2", "Analog 1 Vol", "A1VolCC", 1019, Op::SourceVolume, {0, 0, 0}, K::Gain},
    {2, "Analog 1 & 2", "Analog 1 Pan", "A1PanCC", 1023, Op::SourcePan, {0, 0, 0}, K::Level},
    {2, "Analog 1 & 2", "Analog 2 Aux 1", "A2Aux1CC", 1047, Op::SendLevel, {0, 1, 0}, K::Level},
    {2, "Analog 1 & 2", "Analog 2 Aux 2", "A2Aux2CC", 1051, Op::SendLevel, {0, 1, 1}, K::Level},
    {2, "Analog 1 & 2", "Analog 2 Vol", "A2VolCC", 1031, Op::SourceVolume, {0, 1, 0}, K::Gain},
    {2, "Analog 1 & 2", "Analog 2 Pan", "A2PanCC", 1039, Op::SourcePan, {0, 1, 0}, K::Level},
    {3, "Analog 3 & 4", "Analog 3 Aux 1", "A3Aux1CC", 1067, Op::SendLevel, {0, 2, 0}, K::Level},
    {3, "Analog 3 & 4", "Analog 3 Aux 2", "A3Aux2CC", 1071, Op::SendLevel, {0, 2, 1}, K::Level},
    {3, "Analog 3 & 4", "Analog 3 Vol", "A3VolCC", 1059, Op::SourceVolume, {0, 2, 0}, K::Gain},
    {3, "Analog 3 & 4", "Analog 3 Pan", "A3PanCC", 1063, Op::SourcePan, {0, 2, 0}, K::Level},
    {3, "Analog 3 & 4", "Analog 4 Aux 1", "A4Aux1CC", 1083, Op::SendLevel, {0, 3, 0}, K::Level},
    {3, "Analog 3 & 4", "Analog 4 Aux 2", "A4Aux2CC", 1087, Op::SendLevel, {0, 3, 1}, K::Level},
    {3, "Analog 3 & 4", "Analog 4 Vol", "A4VolCC", 1075, Op::SourceVolume, {0, 3, 0}, K::Gain},
    {3, "Analog 3 & 4", "Analog 4 Pan", "A4PanCC", 1079, Op::SourcePan, {0, 3, 0}, K::Level},
    {4, "Digital 1 & 2", "Digital 1 Aux 1", "D1Aux1CC", 1099, Op::SendLevel, {1, 0, 0}, K::Level},
    {4, "Digital 1 & 2", "Digital 1 Aux 2", "D1Aux2CC", 1103, Op::SendLevel, {1, 0, 1}, K::Level},
    {4, "Digital 1 & 2", "Digital 1 Vol", "D1VolCC", 1091, Op::SourceVolume, {1, 0, 0}, K::Gain},
    {4, "Digital 1 & 2", "Digital 1 Pan", "D1PanCC", 1095, Op::SourcePan, {1, 0, 0}, K::Level},
    {4, "Digital 1 & 2", "Digital 2 Aux 1", "D2Aux1CC", 1115, Op::SendLevel, {1, 1, 0}, K::Level},
    {4, "Digital 1 & 2", "Digital 2 Aux 2", "D2Aux2CC", 1119, Op::SendLevel, {1, 1, 1}, K::Level},
    {4, "Digital 1 & 2", "Digital 2 Vol", "D2VolCC", 1107, Op::SourceVolume, {1, 1, 0}, K::Gain},
    {4, "Digital 1 & 2", "Digital 2 Pan", "D2PanCC", 1111, Op::SourcePan, {1, 1, 0}, K::Level},
    {5, "Wave & Midi", "Wave Aux 1", "WaveAux1CC", 1131, Op::SendLevel, {2, 0, 0}, K::Level},
    {5, "Wave & Midi", "Wave Aux 2", "WaveAux2CC", 1135, Op::SendLevel, {2, 0, 1}, K::Level},
    {5, "Wave & Midi", "Wave Vol", "WaveVolCC", 1123, Op::SourceVolume, {2, 0, 0}, K::Gain},
    {5, "Wave & Midi", "Wave Pan", "WavePanCC", 1127, Op::SourcePan, {2, 0, 0}, K::Level},
    {5, "Wave & Midi", "MIDI Aux 1", "MidiAux1CC", 1147, Op::SendLevel, {3, 0, 0}, K::Level},
    {5, "Wave & Midi", "MIDI Aux 2", "MidiAux2CC", 1151, Op::SendLevel, {3, 0, 1}, K::Level},
    {5, "Wave & Midi", "MIDI Vol", "MidiVolCC", 1139, Op::SourceVolume, {3, 0, 0}, K::Gain},
    {5, "Wave & Midi", "MIDI Pan", "MidiPanCC", 1143, Op::SourcePan, {3, 0, 0}, K::Level},
    {7, "User 1 & 2", "User 1 Aux 1", "U1Aux1CC", 1182, Op::SendLevel, {4, 0, 0}, K::Level},
    {7, "User 1 & 2", "User 1 Aux 2", "U1Aux2CC", 1183, Op::SendLevel, {4, 0, 1}, K::Level},
    {7, "User 1 & 2", "User 1 Vol", "U1VolCC", 1180, Op::SourceVolume, {4, 0, 0}, K::Gain},
    {7, "User 1 & 2", "User 1 Pan", "U1PanCC", 1181, Op::SourcePan, {4, 0, 0}, K::Level},
    {7, "User 1 & 2", "User 2 Aux 1", "U2Aux1CC", 1186, Op::SendLevel, {4, 1, 0}, K::Level},
    {7, "User 1 & 2", "User 2 Aux 2", "U2Aux2CC", 1187, Op::SendLevel, {4, 1, 1}, K::Level},
    {7, "User 1 & 2", "User 2 Vol", "U2VolCC", 1184, Op::SourceVolume, {4, 1, 0}, K::Gain},
    {7, "User 1 & 2", "User 2 Pan", "U2PanCC", 1185, Op::SourcePan, {4, 1, 0}, K::Level},
    {8, "User 3 & 4", "User 3 Aux 1", "U3Aux1CC", 1218, Op::SendLevel, {4, 2, 0}, K::Level},
    {8, "User 3 & 4", "User 3 Aux 2", "U3Aux2CC", 1219, Op::SendLevel, {4, 2, 1}, K::Level},
    {8, "User 3 & 4", "User 3 Vol", "U3VolCC", 1216, Op::SourceVolume, {4, 2, 0}, K::Gain},
    {8, "User 3 & 4", "User 3 Pan", "U3PanCC", 1217, Op::SourcePan, {4, 2, 0}, K::Level},
    {8, "User 3 & 4", "User 4 Aux 1", "U4Aux1CC", 1222, Op::SendLevel, {4, 3, 0}, K::Level},
    {8, "User 3 & 4", "User 4 Aux 2", "U4Aux2CC", 1223, Op::SendLevel, {4, 3, 1}, K::Level},
    {8, "User 3 & 4", "User 4 Vol", "U4VolCC", 1220, Op::SourceVolume, {4, 3, 0}, K::Gain},
    {8, "User 3 & 4", "User 4 Pan", "U4PanCC", 1221, Op::SourcePan, {4, 3, 0}, K::Level},
    {6, "User 5 & NRPN", "User 5 Aux 1", "U5Aux1CC", 1251, Op::SendLevel, {4, 4, 0}, K::Level},
    {6, "User 5 & NRPN", "User 5 Aux 2", "U5Aux2CC", 1252, Op::SendLevel, {4, 4, 1}, K::Level},
    {6, "User 5 & NRPN", "User 5 Vol", "U5VolCC", 1249, Op::SourceVolume, {4, 4, 0}, K::Gain},
    {6, "User 5 & NRPN", "User 5 Pan", "U5PanCC", 1250, Op::SourcePan, {4, 4, 0}, K::Level},
    {6, "User 5 & NRPN", "Cutoff", "NRPN Cut", 1036, Op::FilterCutoff, {0, 0, 0}, K::Filter},
    {6, "User 5 & NRPN", "Res", "NRPN Res", 1040, Op::FilterResonance, {0, 0, 0}, K::Filter},
});
static_assert(kRows.size() == kParameterCount, "every parameter has exactly one row");

const std::array<Parameter, kParameterCount> kCatalogue = kRows;

} // namespace vantrel
