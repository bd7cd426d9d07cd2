#pragma once
// The application object: owns the program's tracker session and runs the main dialog modally
// on it; the program ends with the dialog.

#include "capture/TrackerSession.h"

namespace pupiltrak {

class TrackerApp {
 public:
  // Builds the dialog, runs it until it ends and destroys it. Returns false: there is nothing
  // to run after the dialog.
  bool InitInstance();
  // The session the dialog worked on; it lives as long as the application object.
  TrackerSession& Session() { return session_; }

 private:
  TrackerSession session_;
};

}  // namespace pupiltrak
