#pragma once
// The program's dialog templates as data: every control with its id, kind,
// place and size in dialog units, text and flags, in template order (which
// is also the tab order). The windows are built from these at run time.

#include <span>
#include <string_view>

namespace vantrel::ui {

enum class ControlKind {
  Frame,        // a static black frame (the main window's page frame)
  Text,         // a left-aligned static text
  CenteredText, // a centred static text
  GroupBox,
  Fader,      // a vertical fader 0..127, 127 at the top
  NumberEdit, // digits only, right-aligned, scrolls horizontally
  Spin,       // up/down buttons that attach to the edit before them
  DropList,   // a combo box without an edit field
  DropEdit,   // a combo box with an edit field
  Button,
  Icon, // the program's icon at its natural size
};

enum ControlFlag : unsigned {
  kNoFlags = 0,
  kHidden = 1,
  kDisabled = 2,
  kDefaultButton = 4,
};

struct ControlTemplate {
  int id; // 0 for the unnamed statics
  ControlKind kind;
  int x;
  int y;
  int w;
  int h; // for combo boxes: the height with the list dropped down
  std::string_view text;
  unsigned flags = kNoFlags;
};

struct DialogTemplate {
  int id;
  std::string_view caption; // empty for the pages, which are child windows
  int w;
  int h;
  std::span<const ControlTemplate> controls;
};

inline constexpr int kAboutTemplate = 100;
inline constexpr int kMainTemplate = 102;

// The template with that number, or null when there is none.
const DialogTemplate* FindTemplate(int id);

} // namespace vantrel::ui
