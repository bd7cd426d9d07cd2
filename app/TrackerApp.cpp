#include "app/TrackerApp.h"

#include <memory>

#include "app/TrackerDialog.h"

bool TrackerApp::InitInstance() {
  auto dialog = std::make_unique<TrackerDialog>();
  dialog->exec();
  dialog.reset();
  return false;
}
