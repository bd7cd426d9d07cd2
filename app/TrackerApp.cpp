#include "app/TrackerApp.h"

#include <memory>

#include "app/TrackerDialog.h"
#include "capture/TrackerSession.h"

bool TrackerApp::InitInstance() {
  // The program's one session, for its whole run.
  static TrackerSession session;
  auto dialog = std::make_unique<TrackerDialog>(session);
  dialog->exec();
  dialog.reset();
  return false;
}
