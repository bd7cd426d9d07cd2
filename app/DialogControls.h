#pragma once
// What the tracking and camera commands need of the main dialog: its event log and the
// enabled state of its controls. The dialog implements it; tests may fake it.

#include <string>

class DialogControls {
 public:
  virtual ~DialogControls() = default;
  virtual void AddLogLine(const std::string& text) = 0;
  // Adds "Bug: " + text with the beetle icon.
  virtual void AddBugLine(const std::string& text) = 0;
  // Control identifiers: 1000 Start, 1001 Stop, 1017 Capture to file, 1 Exit.
  virtual void EnableControl(int id, bool enabled) = 0;
};
