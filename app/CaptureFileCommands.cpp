#include "app/CaptureFileCommands.h"

#include <optional>
#include <string>

#include "app/DialogTemplate.h"
#include "app/DialogView.h"
#include "platform/Prompts.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

std::optional<std::string> RunCaptureFileChooser() {
  return UserPrompts().SaveFileName("avi", "*.avi");
}

void AcceptCaptureFile(DialogView& view, TrackerState& t, const std::string& path) {
  t.SetCaptureFileName(path);
  view.AddLogLine("Capture file set to:");
  view.AddLogLine(path);
}

}  // namespace

void SetCaptureFileCommand(DialogView& view, TrackerState& t) {
  if (auto path = RunCaptureFileChooser()) AcceptCaptureFile(view, t, *path);
  view.RefreshData();
}

void CaptureToFileCommand(DialogView& view, TrackerState& t) {
  int state = view.CheckState(control_id::kCaptureToFile);
  if (state == 0) {
    view.AddLogLine("Capture to file is off");
    t.CaptureToFile = 0;
    return;
  }
  if (state != 1) return;
  if (t.CaptureFileName() != kNoCaptureFile) {
    view.AddLogLine("Capture to file is on");
    t.CaptureToFile = 1;
    return;
  }
  if (auto path = RunCaptureFileChooser()) {
    AcceptCaptureFile(view, t, *path);
    view.AddLogLine("Capture to file is on");
    t.CaptureToFile = 1;
  } else {
    t.CaptureToFile = 0;
    view.SetCheckState(control_id::kCaptureToFile, 0);
  }
  view.RefreshData();
}

}  // namespace pupiltrak
