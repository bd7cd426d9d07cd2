#pragma once
// The application object: runs the main dialog modally; the program ends with the dialog.

class TrackerApp {
 public:
  // Builds the dialog, runs it until it ends and destroys it. Returns false: there is nothing
  // to run after the dialog.
  bool InitInstance();
};
