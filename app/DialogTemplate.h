#pragma once
// The dialog templates as data: one row per control, positions in dialog units. The dialogs
// build their widgets from these rows, so the layout lives in one place.

#include <QRect>
#include <vector>

#include "platform/DialogControls.h"

namespace pupiltrak {

// The system-menu command of the About entry and the text of its menu item (string 101).
inline constexpr int kAboutCommand = 0x0010;
inline constexpr const char* kAboutMenuText = "&About PUPILTRAK_08...";

enum class ControlKind {
  PushButton,
  DefaultPushButton,
  StaticText,
  GroupBox,
  CheckBox,
  Trackbar,  // horizontal, no tick marks
  ListView,  // list mode, no label wrap, bordered
  Icon,      // the program icon, 32 x 32
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
  bool enabled;
  bool checked;
};

struct DialogTemplate {
  int id;
  const char* caption;
  int width, height;  // dialog units
  std::vector<ControlTemplate> controls;
};

// Template 102: the main dialog.
const DialogTemplate& MainDialogTemplate();
// Template 100: the About box.
const DialogTemplate& AboutDialogTemplate();

// Dialog units to pixels for base units 6 x 13 (the 8-point dialog font): one unit is a quarter
// of the average character width across and an eighth of the character height down, rounded
// to the nearest pixel like the window system's MulDiv.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
QRect DialogUnitsToPixels(const ControlTemplate& control);

}  // namespace pupiltrak
