#pragma once
// The strip controls that the window tests drive, by name. Written out from
// the templates rather than looked up in the page table, so that a table
// naming the wrong control fails the tests instead of being followed.

namespace vantrel::test {

struct StripIds {
  int readout;
  int fader;
  int edit; // the CC field
  int spin;
};

// Master
inline constexpr StripIds kMasterAux1{1007, 1003, 1011, 1015};
inline constexpr StripIds kMasterAux2{1008, 1004, 1012, 1016};
inline constexpr StripIds kMasterAux3{1009, 1005, 1013, 1017};
inline constexpr StripIds kMasterVolL{1019, 1020, 1021, 1022};
inline constexpr StripIds kMasterVolR{1023, 1024, 1025, 1026};
inline constexpr StripIds kMasterRec{1154, 1155, 1156, 1157};

// Analog 1 & 2, with the aux strips' label statics
inline constexpr StripIds kAnalog1Vol{1018, 1019, 1020, 1021};
inline constexpr StripIds kAnalog1Pan{1022, 1023, 1024, 1025};
inline constexpr StripIds kAnalog1Aux1{1027, 1028, 1029, 1030};
inline constexpr StripIds kAnalog2Pan{1034, 1039, 1040, 1041};
inline constexpr int kAnalog1Aux1Label = 1166;
inline constexpr int kAnalog1Aux2Label = 1167;
inline constexpr int kAnalog2Aux1Label = 1168;
inline constexpr int kAnalog2Aux2Label = 1169;

// The other pages
inline constexpr StripIds kAnalog3Pan{1062, 1063, 1064, 1065};
inline constexpr StripIds kDigital1Vol{1090, 1091, 1092, 1093};
inline constexpr StripIds kDigital2Pan{1110, 1111, 1112, 1113};
inline constexpr StripIds kWaveVol{1122, 1123, 1124, 1125};
inline constexpr StripIds kUser1Vol{1172, 1180, 1188, 1196};
inline constexpr StripIds kUser2Aux2{1179, 1187, 1195, 1203};
inline constexpr StripIds kUser3Vol{1208, 1216, 1224, 1232};
inline constexpr StripIds kUser5Vol{1246, 1249, 1253, 1254};
inline constexpr StripIds kNrpnCutoff{1035, 1036, 1037, 1038};

} // namespace vantrel::test
