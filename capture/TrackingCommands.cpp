#include "capture/TrackingCommands.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>

#include "capture/TrackerSession.h"
#include "platform/CameraLibrary.h"
#include "platform/DialogControls.h"
#include "platform/NamedWindows.h"
#include "platform/VideoCodecs.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {
constexpr int kCamera = 0;
constexpr int kAutoSizeWindow = 1;

std::string CamerasFound(int count) { return std::to_string(count) + " cameras found"; }
}  // namespace

void StartTrackingCommand(TrackerSession& session, DialogControls& dialog) {
  dialog.EnableControl(control_id::kStartTracking, false);
  dialog.EnableControl(control_id::kStopTracking, true);
  dialog.EnableControl(control_id::kCaptureToFile, false);
  dialog.EnableControl(control_id::kExit, false);
  StartTracking(session, dialog, [&session] { session.ResetForNewRun(); });
  dialog.AddLogLine("StartTracking was successful");
  session.state.TrackingActive = 1;
}

bool StartTracking(TrackerSession& session, DialogControls& dialog,
                   const std::function<void()>& beforeFramesFlow) {
  TrackerState& tracker = session.state;
  CameraLibrary& camera = session.platform.Camera();

  // Ends whatever an earlier run or a property page left initialised.
  camera.Exit();
  tracker.TrackingActive = 0;

  // The detection stores of the old vision library have no counterpart: face detection and the
  // pupil finders return their results in vectors of their own, made anew per call.

  int cameras = camera.CameraCount();
  if (cameras == 0) {
    dialog.AddBugLine("No cameras found");
  } else {
    dialog.AddLogLine(CamerasFound(cameras));
    camera.SetEnable(kCamera, true);
    camera.SetRender(kCamera, true);
  }

  NamedWindows& windows = session.platform.Windows();
  bool sourceCreated = windows.Create("Source", kAutoSizeWindow);
  uintptr_t sourceHandle = windows.NativeHandle("Source");
  if (sourceCreated && sourceHandle != 0) {
    dialog.AddLogLine("Source window created");
    camera.SetWindow(kCamera, sourceHandle);
  } else {
    dialog.AddBugLine("Creation of source window failed");
    sourceHandle = 0;
  }

  camera.SetCallback(kCamera, [&session](CameraFrame& frame) { session.OnCameraFrame(frame); });

  if (windows.Create("Preview", kAutoSizeWindow))
    dialog.AddLogLine("Preview window created");
  else
    dialog.AddBugLine("Creation of preview window failed");

  if (camera.Init() != 0)
    dialog.AddLogLine("cvcamInit() ok");
  else
    dialog.AddBugLine("cvcamInit() failed");

  if (camera.Start() == 0)
    dialog.AddLogLine("cvcamStart() ok");
  else
    dialog.AddBugLine("cvcamStart() failed");

  tracker.Font = kOverlayFont;

  if (tracker.CaptureToFile.load() == 1) {
    const std::string file = tracker.CaptureFileName();
    dialog.AddLogLine("Creating the video writer writing to:");
    dialog.AddLogLine(file);
    // Frames are not yet let through, so the frame thread does not look at the writer.
    tracker.CaptureWriter = OpenVideoWriter(file, kAskForCodec, 30.0, cv::Size(320, 240), true);
  }

  // A failed Source window leaves the rectangle as it was.
  IntRect rect;
  if (windows.ClientRect(sourceHandle, &rect)) tracker.SetSourceClientRect(rect);

  if (beforeFramesFlow) beforeFramesFlow();
  tracker.TrackingActive = 1;
  tracker.CalibratedSinceStart = 0;
  return true;
}

void StopTrackingCommand(TrackerSession& session, DialogControls& dialog) {
  dialog.EnableControl(control_id::kStartTracking, true);
  dialog.EnableControl(control_id::kStopTracking, false);
  dialog.EnableControl(control_id::kCaptureToFile, true);
  dialog.EnableControl(control_id::kExit, true);
  EndTracking(session, dialog);
  dialog.AddLogLine("EndTracking was successful");
  // Writes the accuracy results and closes the protocol when a calibration opened it.
  session.CloseProtocol();
  ReportGazeStreamDrops(session.stream, dialog);
  session.state.TrackingActive = 0;
}

bool EndTracking(TrackerSession& session, DialogControls& dialog) {
  TrackerState& tracker = session.state;
  if (tracker.TrackingActive.load() == 1) {
    dialog.AddLogLine("Releasing camera");
    // Returns only when no frame is in the pipeline any more and none will start; the writer
    // and the windows are released after it.
    session.platform.Camera().Stop();
    if (tracker.CaptureToFile.load() == 1) {
      dialog.AddLogLine("Releasing video writer");
      tracker.CaptureWriter.reset();
    }
    dialog.AddLogLine("Destroying source window");
    session.platform.Windows().Destroy("Source");
    dialog.AddLogLine("Destroying preview window");
    session.platform.Windows().Destroy("Preview");
  }
  tracker.TrackingActive = 0;
  return true;
}

void PropertyPageCommand(DialogControls& dialog, const char* name) {
  CameraLibrary& camera = Camera();
  int cameras = camera.CameraCount();
  if (cameras == 0) {
    dialog.AddBugLine("No cameras found");
    return;
  }
  dialog.AddLogLine(CamerasFound(cameras));
  camera.SetEnable(kCamera, true);
  if (camera.Init() == 0) {
    dialog.AddBugLine("cvcamInit() failed");
    return;
  }
  dialog.AddLogLine("cvcamInit() ok");
  camera.ShowPropertyPage(kCamera, name);
}

}  // namespace pupiltrak
