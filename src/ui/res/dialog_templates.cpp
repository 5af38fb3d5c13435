// The dialog templates of the main window, the about box and the eight
// mixer pages. Every page is 276 x 156 dialog units; a strip is a column
// placed by its fader's x: name (x, 9, 18, 9), read-out (x, 18, 18, 9),
// fader (x, 27, 12, 99), centred "CC" caption (x - 3, 126, 18, 8), CC edit
// (x - 9, 135, 27, 12) and its spin (x + 9, 141, 10, 12), which attaches
// itself to the edit's right edge at run time.

#include "ui/res/dialog_template.h"

#include "pages/page_table.h"
#include "ui/res/control_ids.h"

#include <algorithm>
#include <array>

namespace vantrel::ui {

namespace {

using K = ControlKind;
using Controls1 = std::array<ControlTemplate, 1>;

template <std::size_t... N> constexpr auto Join(const std::array<ControlTemplate, N>&... parts) {
  std::array<ControlTemplate, (N + ...)> all{};
  std::size_t at = 0;
  ((std::copy(parts.begin(), parts.end(), all.begin() + static_cast<std::ptrdiff_t>(at)), at += N),
   ...);
  return all;
}

struct StripIds {
  int readout;
  int fader;
  int edit;
  int spin;
};

// A strip without its name static (the name is elsewhere in the template).
constexpr std::array<ControlTemplate, 5> Column(int x, std::string_view caption, StripIds ids,
                                                int captionX, int editX, int spinX) {
  return {{
      {ids.readout, K::Text, x, 18, 18, 9, caption},
      {ids.fader, K::Fader, x, 27, 12, 99, {}},
      {0, K::CenteredText, captionX, 126, 18, 8, "CC"},
      {ids.edit, K::NumberEdit, editX, 135, 27, 12, {}},
      {ids.spin, K::Spin, spinX, 141, 10, 12, {}},
  }};
}

constexpr Controls1 Name(int id, int x, std::string_view text) {
  return {{{id, K::Text, x, 9, 18, 9, text}}};
}

// A strip with its name above and the usual caption, edit and spin x
// around x (the Master page has its own).
constexpr auto Strip(int x, int nameId, std::string_view caption, StripIds ids) {
  return Join(Name(nameId, x, caption), Column(x, caption, ids, x - 3, x - 9, x + 9));
}

// A strip with the Master page's own caption, edit and spin x.
constexpr auto MasterStrip(int x, int captionX, int editX, int spinX, int nameId,
                           std::string_view caption, StripIds ids) {
  return Join(Name(nameId, x, caption), Column(x, caption, ids, captionX, editX, spinX));
}

constexpr Controls1 Group(int x, int w, std::string_view caption) {
  return {{{0, K::GroupBox, x, 0, w, 153, caption}}};
}

// The strip columns of the pair pages.
constexpr int kVolA = 21, kPanA = 48, kAux1A = 75, kAux2A = 102;
constexpr int kVolB = 156, kPanB = 183, kAux1B = 210, kAux2B = 237;

// A pair page: A Vol, A Pan, A's group box, A Aux 1, A Aux 2, then B the
// same way. ids: A Vol, A Pan, A Aux 1, A Aux 2, B Vol, B Pan, B Aux 1,
// B Aux 2; labels: the aux name statics' ids (0 for fixed captions).
constexpr auto PairPage(std::string_view groupA, std::string_view groupB,
                        const std::array<StripIds, 8>& ids, const std::array<int, 4>& labels) {
  return Join(Strip(kVolA, 0, "Vol", ids[0]), Strip(kPanA, 0, "Pan", ids[1]), Group(3, 132, groupA),
              Strip(kAux1A, labels[0], "Aux 1", ids[2]), Strip(kAux2A, labels[1], "Aux 2", ids[3]),
              Strip(kVolB, 0, "Vol", ids[4]), Strip(kPanB, 0, "Pan", ids[5]),
              Group(138, 135, groupB), Strip(kAux1B, labels[2], "Aux 1", ids[6]),
              Strip(kAux2B, labels[3], "Aux 2", ids[7]));
}

// Read-out n, fader n + 1, edit n + 2, spin n + 3, strips four ids apart.
constexpr std::array<StripIds, 8> RegularIds(int first) {
  std::array<StripIds, 8> ids{};
  for (int i = 0; i < 8; ++i) {
    const int n = first + 4 * i;
    ids[static_cast<std::size_t>(i)] = {n, n + 1, n + 2, n + 3};
  }
  return ids;
}

// Eight read-outs from `first` on, then eight faders, eight edits and eight
// spins: strip i takes the i-th of each.
constexpr std::array<StripIds, 8> ColumnIds(int first) {
  std::array<StripIds, 8> ids{};
  for (int i = 0; i < 8; ++i) {
    const int n = first + i;
    ids[static_cast<std::size_t>(i)] = {n, n + 8, n + 16, n + 24};
  }
  return ids;
}

constexpr auto kMasterControls =
    Join(MasterStrip(96, 93, 84, 102, 1162, "Aux 1", {1007, 1003, 1011, 1015}),
         MasterStrip(120, 117, 111, 129, 1163, "Aux 2", {1008, 1004, 1012, 1016}),
         MasterStrip(144, 141, 138, 156, 1164, "Aux 3", {1009, 1005, 1013, 1017}),
         MasterStrip(168, 165, 165, 183, 1165, "Aux 4", {1010, 1006, 1014, 1018}),
         MasterStrip(21, 18, 12, 30, 0, "Vol L", {1019, 1020, 1021, 1022}),
         MasterStrip(48, 45, 39, 57, 0, "Vol R", {1023, 1024, 1025, 1026}),
         Controls1{{{0, K::GroupBox, 3, 0, 72, 153, "Master Volume"}}},
         Controls1{{{0, K::GroupBox, 78, 0, 123, 153, "Auxiliary Bus"}}},
         MasterStrip(219, 216, 210, 228, 0, "Rec", {1154, 1155, 1156, 1157}),
         Controls1{{{0, K::GroupBox, 204, 0, 69, 153, "Record Level"}}});

constexpr auto kAnalog12Controls = PairPage("Analog 1", "Analog 2",
                                            {{{1018, 1019, 1020, 1021},
                                              {1022, 1023, 1024, 1025},
                                              {1027, 1028, 1029, 1030},
                                              {1035, 1036, 1037, 1038},
                                              {1026, 1031, 1032, 1033},
                                              {1034, 1039, 1040, 1041},
                                              {1046, 1047, 1048, 1049},
                                              {1050, 1051, 1052, 1053}}},
                                            {1166, 1167, 1168, 1169});
constexpr auto kAnalog34Controls = PairPage("Analog 3", "Analog 4", RegularIds(1058), {});
constexpr auto kDigitalControls = PairPage("Digital 1", "Digital 2", RegularIds(1090), {});
constexpr auto kWaveMidiControls = PairPage("Wave", "MIDI", RegularIds(1122), {});

constexpr auto kUser12Controls =
    PairPage("User 1", "User 2", ColumnIds(1172), {1204, 1205, 1206, 1207});

// User 3 & 4: the aux strips start with their read-outs; their four label
// controls come last.
constexpr auto kUser34Controls =
    Join(Strip(kVolA, 0, "Vol", {1208, 1216, 1224, 1232}),
         Strip(kPanA, 0, "Pan", {1209, 1217, 1225, 1233}), Group(3, 132, "User 3"),
         Column(kAux1A, "Aux 1", {1210, 1218, 1226, 1234}, kAux1A - 3, kAux1A - 9, kAux1A + 9),
         Column(kAux2A, "Aux 2", {1211, 1219, 1227, 1235}, kAux2A - 3, kAux2A - 9, kAux2A + 9),
         Strip(kVolB, 0, "Vol", {1212, 1220, 1228, 1236}),
         Strip(kPanB, 0, "Pan", {1213, 1221, 1229, 1237}), Group(138, 135, "User 4"),
         Column(kAux1B, "Aux 1", {1214, 1222, 1230, 1238}, kAux1B - 3, kAux1B - 9, kAux1B + 9),
         Column(kAux2B, "Aux 2", {1215, 1223, 1231, 1239}, kAux2B - 3, kAux2B - 9, kAux2B + 9),
         Name(1240, kAux2A, "Aux 2"), Name(1241, kAux2B, "Aux 2"), Name(1242, kAux1A, "Aux 1"),
         Name(1243, kAux1B, "Aux 1"));

constexpr std::array<ControlTemplate, 2> Chooser(int id, int y, int captionY,
                                                 std::string_view caption) {
  return {{{id, K::DropEdit, 220, y, 52, 108, {}}, {0, K::Text, 224, captionY, 18, 9, caption}}};
}

constexpr auto kUser5NrpnControls = Join(
    Strip(162, 0, "Cutoff", {1035, 1036, 1037, 1038}),
    Strip(189, 0, "Res", {1039, 1040, 1041, 1046}),
    Controls1{{{0, K::GroupBox, 147, 0, 69, 153, "NRPN"}}}, Chooser(kAux1EffectId, 33, 20, "Aux1"),
    Chooser(kAux2EffectId, 62, 49, "Aux2"), Chooser(kAux3EffectId, 89, 76, "Aux3"),
    Chooser(kAux4EffectId, 118, 105, "Aux4"), Strip(kVolA, 0, "Vol", {1246, 1249, 1253, 1254}),
    Strip(kPanA, 0, "Pan", {1176, 1250, 1255, 1256}), Group(3, 132, "User 5"),
    Strip(kAux1A, 1247, "Aux 1", {1177, 1251, 1257, 1258}),
    Strip(kAux2A, 1248, "Aux 2", {1178, 1252, 1259, 1260}));

constexpr std::array<ControlTemplate, 10> kMainControls = {{
    {kPageFrameId, K::Frame, 3, 3, 276, 156, {}, kHidden | kDisabled},
    {0, K::Text, 4, 164, 48, 9, kMidiInLabel},
    {kMidiInChooserId, K::DropList, 4, 174, 92, 66, {}},
    {0, K::Text, 97, 164, 48, 9, kMidiOutLabel},
    {kMidiOutChooserId, K::DropList, 96, 174, 92, 66, {}},
    {0, K::Text, 190, 164, 27, 9, "Out Chn"},
    {kChannelFieldId, K::NumberEdit, 188, 174, 28, 12, {}},
    {kChannelSpinId, K::Spin, 208, 177, 11, 12, {}},
    {0, K::Text, 220, 164, 48, 9, "Current Page"},
    {kPageChooserId, K::DropEdit, 216, 174, 64, 66, {}},
}};

constexpr std::array<ControlTemplate, 6> kAboutControls = {{
    {0, K::Icon, 11, 17, 21, 20, {}},
    {0, K::Text, 39, 3, 119, 8, "Vantrel Version 0.5a ALPHA"},
    {0, K::Text, 39, 15, 119, 8, "MIDI to mixer bridge"},
    {kAboutOkId, K::Button, 178, 7, 50, 14, "OK", kDefaultButton},
    {0, K::Text, 39, 27, 150, 8, "Visit the Corvane site for more information:"},
    {0, K::Text, 39, 39, 150, 8, "https://corvane.example/"},
}};

constexpr int kPageW = 276, kPageH = 156;

constexpr std::array<DialogTemplate, 10> kTemplates = {{
    {kAboutTemplate, "About Vantrel", 235, 55, kAboutControls},
    {kMainTemplate, "Vantrel v0.5a", 284, 189, kMainControls},
    {kMasterPageTemplate, {}, kPageW, kPageH, kMasterControls},
    {kAnalog12PageTemplate, {}, kPageW, kPageH, kAnalog12Controls},
    {kAnalog34PageTemplate, {}, kPageW, kPageH, kAnalog34Controls},
    {kDigitalPageTemplate, {}, kPageW, kPageH, kDigitalControls},
    {kWaveMidiPageTemplate, {}, kPageW, kPageH, kWaveMidiControls},
    {kUser5NrpnPageTemplate, {}, kPageW, kPageH, kUser5NrpnControls},
    {kUser12PageTemplate, {}, kPageW, kPageH, kUser12Controls},
    {kUser34PageTemplate, {}, kPageW, kPageH, kUser34Controls},
}};

} // namespace

const DialogTemplate* FindTemplate(int id) {
  const auto it = std::find_if(kTemplates.begin(), kTemplates.end(),
                               [id](const DialogTemplate& t) { return t.id == id; });
  return it == kTemplates.end() ? nullptr : &*it;
}

} // namespace vantrel::ui
