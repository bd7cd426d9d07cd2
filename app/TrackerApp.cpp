#include "app/TrackerApp.h"

#include <memory>

#include "app/TrackerDialog.h"

namespace pupiltrak {

bool TrackerApp::InitInstance() {
  auto dialog = std::make_unique<TrackerDialog>(session_);
  dialog->exec();
  dialog.reset();
  return false;
}

}  // namespace pupiltrak
