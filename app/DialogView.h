#pragma once
// What the option, slider and capture-file handlers need of the main dialog beyond its log:
// reading and setting check boxes, reading slider positions and refreshing the capture-file
// line. Setting a check box by program never raises its click handler.

#include "platform/DialogControls.h"

namespace pupiltrak {

class DialogView : public DialogControls {
 public:
  // 0 unchecked, 1 checked, 2 indeterminate; -1 for an unknown control.
  virtual int CheckState(int id) = 0;
  virtual void SetCheckState(int id, int state) = 0;
  virtual int SliderPosition(int id) = 0;
  // Shows the current capture file name in static 1002.
  virtual void RefreshData() = 0;
};

}  // namespace pupiltrak
