#include "pages/page_table.h"

#include "mixer/catalogue.h"

#include <algorithm>

namespace vantrel {

namespace {
using L = LabelSource;

// Strips take catalogue rows in order, starting at the page's first row.
constexpr std::array<StripDef, 7> kMasterStrips = {{
    {0, {1007, 1003, 1011, 1015, 1162}, L::Bus},
    {1, {1008, 1004, 1012, 1016, 1163}, L::Bus},
    {2, {1009, 1005, 1013, 1017, 1164}, L::Bus},
    {3, {1010, 1006, 1014, 1018, 1165}, L::Bus},
    {4, {1019, 1020, 1021, 1022, 0}, L::None},
    {5, {1023, 1024, 1025, 1026, 0}, L::None},
    {6, {1154, 1155, 1156, 1157, 0}, L::None},
}};
constexpr std::array<std::size_t, 7> kMasterExchange = {0, 1, 2, 3, 4, 5, 6};
constexpr std::array<int, 7> kMasterSpins = {1015, 1016, 1017, 1018, 1022, 1026, 1157};

constexpr std::array<StripDef, 8> kAnalog12Strips = {{
    {7, {1027, 1028, 1029, 1030, 1166}, L::SendBus},
    {8, {1035, 1036, 1037, 1038, 1167}, L::SendBus},
    {9, {1018, 1019, 1020, 1021, 0}, L::None},
    {10, {1022, 1023, 1024, 1025, 0}, L::None},
    {11, {1046, 1047, 1048, 1049, 1168}, L::SendBus},
    {12, {1050, 1051, 1052, 1053, 1169}, L::SendBus},
    {13, {1026, 1031, 1032, 1033, 0}, L::None},
    {14, {1034, 1039, 1040, 1041, 0}, L::None},
}};
constexpr std::array<int, 8> kAnalog12Spins = {1021, 1025, 1030, 1038, 1033, 1041, 1049, 1053};

// A pair page: both channels' Aux 1, Aux 2, Vol, Pan, then Pan before Vol
// in the exchange.
constexpr std::array<std::size_t, 8> kPairExchange = {0, 1, 3, 2, 4, 5, 7, 6};

// The pages whose strips take four consecutive ids (read-out n, fader n + 1,
// field n + 2, spin n + 3). The ids given are n of A Aux 1, A Aux 2, A Vol,
// A Pan, B Aux 1, B Aux 2, B Vol, B Pan.
constexpr std::array<StripDef, 8> RegularPairStrips(std::size_t firstRow, std::array<int, 8> base) {
  std::array<StripDef, 8> strips{};
  for (std::size_t i = 0; i < 8; ++i) {
    strips[i] = {firstRow + i, {base[i], base[i] + 1, base[i] + 2, base[i] + 3, 0}, L::None};
  }
  return strips;
}
constexpr std::array<int, 8> RegularPairSpins(std::array<int, 8> base) {
  // Vol, Pan, Aux 1, Aux 2 of each channel.
  return {base[2] + 3, base[3] + 3, base[0] + 3, base[1] + 3,
          base[6] + 3, base[7] + 3, base[4] + 3, base[5] + 3};
}
constexpr std::array<int, 8> kAnalog34Base = {1066, 1070, 1058, 1062, 1082, 1086, 1074, 1078};
constexpr std::array<int, 8> kDigitalBase = {1098, 1102, 1090, 1094, 1114, 1118, 1106, 1110};
constexpr std::array<int, 8> kWaveMidiBase = {1130, 1134, 1122, 1126, 1146, 1150, 1138, 1142};
constexpr auto kAnalog34Strips = RegularPairStrips(15, kAnalog34Base);
constexpr auto kDigitalStrips = RegularPairStrips(23, kDigitalBase);
constexpr auto kWaveMidiStrips = RegularPairStrips(31, kWaveMidiBase);
constexpr auto kAnalog34Spins = RegularPairSpins(kAnalog34Base);
constexpr auto kDigitalSpins = RegularPairSpins(kDigitalBase);
constexpr auto kWaveMidiSpins = RegularPairSpins(kWaveMidiBase);

constexpr std::array<StripDef, 8> kUser12Strips = {{
    {39, {1174, 1182, 1190, 1198, 1204}, L::SendBus},
    {40, {1175, 1183, 1191, 1199, 1205}, L::SendBus},
    {41, {1172, 1180, 1188, 1196, 0}, L::None},
    {42, {1173, 1181, 1189, 1197, 0}, L::None},
    {43, {1178, 1186, 1194, 1202, 1206}, L::SendBus},
    {44, {1179, 1187, 1195, 1203, 1207}, L::SendBus},
    {45, {1176, 1184, 1192, 1200, 0}, L::None},
    {46, {1177, 1185, 1193, 1201, 0}, L::None},
}};
constexpr std::array<int, 8> kUser12Spins = {1196, 1197, 1198, 1199, 1200, 1201, 1202, 1203};

constexpr std::array<StripDef, 8> kUser34Strips = {{
    {47, {1210, 1218, 1226, 1234, 1242}, L::SendBus},
    {48, {1211, 1219, 1227, 1235, 1240}, L::SendBus},
    {49, {1208, 1216, 1224, 1232, 0}, L::None},
    {50, {1209, 1217, 1225, 1233, 0}, L::None},
    {51, {1214, 1222, 1230, 1238, 1243}, L::SendBus},
    {52, {1215, 1223, 1231, 1239, 1241}, L::SendBus},
    {53, {1212, 1220, 1228, 1236, 0}, L::None},
    {54, {1213, 1221, 1229, 1237, 0}, L::None},
}};
constexpr std::array<int, 8> kUser34Spins = {1232, 1233, 1234, 1235, 1236, 1237, 1238, 1239};

constexpr std::array<StripDef, 6> kUser5Strips = {{
    {55, {1177, 1251, 1257, 1258, 1247}, L::SendBus},
    {56, {1178, 1252, 1259, 1260, 1248}, L::SendBus},
    {57, {1246, 1249, 1253, 1254, 0}, L::None},
    {58, {1176, 1250, 1255, 1256, 0}, L::None},
    {59, {1035, 1036, 1037, 1038, 0}, L::None},
    {60, {1039, 1040, 1041, 1046, 0}, L::None},
}};
constexpr std::array<std::size_t, 6> kUser5Exchange = {0, 1, 3, 2, 4, 5};
constexpr std::array<int, 6> kUser5Spins = {1254, 1256, 1258, 1260, 1038, 1046};

constexpr std::array<PageDef, kPageCount> kPageTable = {{
    {1, kMasterPageTemplate, "Master", kMasterStrips, kMasterExchange, kMasterSpins, false},
    {2, kAnalog12PageTemplate, "Analog 1 & 2", kAnalog12Strips, kPairExchange, kAnalog12Spins,
     false},
    {3, kAnalog34PageTemplate, "Analog 3 & 4", kAnalog34Strips, kPairExchange, kAnalog34Spins,
     false},
    {4, kDigitalPageTemplate, "Digital 1 & 2", kDigitalStrips, kPairExchange, kDigitalSpins, false},
    {5, kWaveMidiPageTemplate, "Wave & Midi", kWaveMidiStrips, kPairExchange, kWaveMidiSpins,
     false},
    {6, kUser5NrpnPageTemplate, "User 5 & NRPN", kUser5Strips, kUser5Exchange, kUser5Spins, true},
    {7, kUser12PageTemplate, "User 1 & 2", kUser12Strips, kPairExchange, kUser12Spins, false},
    {8, kUser34PageTemplate, "User 3 & 4", kUser34Strips, kPairExchange, kUser34Spins, false},
}};

// Each catalogue row is shown on exactly one page.
constexpr std::array<int, kParameterCount> kRowPages = [] {
  std::array<int, kParameterCount> pages{};
  for (const PageDef& page : kPageTable) {
    for (const StripDef& strip : page.strips) {
      pages[strip.row] = pages[strip.row] == 0 ? page.number : -1;
    }
  }
  return pages;
}();
static_assert(std::ranges::all_of(kRowPages, [](int page) { return page > 0; }),
              "every catalogue row is on exactly one page");
} // namespace

const std::array<PageDef, kPageCount> kPages = kPageTable;

int PageOfRow(std::size_t row) {
  return row < kRowPages.size() ? kRowPages[row] : 0;
}

const PageDef* PageByNumber(int number) {
  return number >= 1 && number <= kPageCount ? &kPages[static_cast<std::size_t>(number - 1)]
                                             : nullptr;
}

const PageDef* PageByTemplate(int templateId) {
  const auto it = std::find_if(kPages.begin(), kPages.end(),
                               [&](const PageDef& p) { return p.templateId == templateId; });
  return it == kPages.end() ? nullptr : &*it;
}

int ChooserItemOfPage(int number) {
  const auto it = std::find(kChooserOrder.begin(), kChooserOrder.end(), number);
  return it == kChooserOrder.end() ? -1 : static_cast<int>(it - kChooserOrder.begin());
}

int PageOfChooserItem(int item) {
  return item >= 0 && item < kPageCount ? kChooserOrder[static_cast<std::size_t>(item)] : 0;
}

const Parameter& ParameterOf(const StripDef& strip) {
  return kCatalogue[strip.row];
}

} // namespace vantrel
