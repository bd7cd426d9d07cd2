#include "capture/TrackingCommands.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>

#include "app/DialogControls.h"
#include "app/TrackerState.h"
#include "calibration/AccuracyTest.h"
#include "capture/FrameCallback.h"
#include "capture/GazeStream.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/CameraLibrary.h"
#include "platform/NamedWindows.h"
#include "platform/VideoCodecs.h"
#include "tracking/PupilFinder.h"

namespace {
constexpr int kStartButton = 1000;
constexpr int kStopButton = 1001;
constexpr int kCaptureToFileBox = 1017;
constexpr int kExitButton = 1;
constexpr int kCamera = 0;
constexpr int kAutoSizeWindow = 1;

std::string CamerasFound(int count) { return std::to_string(count) + " cameras found"; }

// Everything a new run starts from: the pupil histories and the accuracy targets.
void ResetForNewRun() {
  ResetPointHistories();
  ResetAccuracyTargets();
  SharedFrameCallbackState().framesProcessed = 0;
}
}  // namespace

void StartTrackingCommand(DialogControls& dialog) {
  dialog.EnableControl(kStartButton, false);
  dialog.EnableControl(kStopButton, true);
  dialog.EnableControl(kCaptureToFileBox, false);
  dialog.EnableControl(kExitButton, false);
  StartTracking(dialog, ResetForNewRun);
  dialog.AddLogLine("StartTracking was successful");
  Tracker().TrackingActive = 1;
}

bool StartTracking(DialogControls& dialog, const std::function<void()>& beforeFramesFlow) {
  TrackerState& tracker = Tracker();
  CameraLibrary& camera = Camera();

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

  NamedWindows& windows = Windows();
  bool sourceCreated = windows.Create("Source", kAutoSizeWindow);
  uintptr_t sourceHandle = windows.NativeHandle("Source");
  if (sourceCreated && sourceHandle != 0) {
    dialog.AddLogLine("Source window created");
    camera.SetWindow(kCamera, sourceHandle);
  } else {
    dialog.AddBugLine("Creation of source window failed");
    sourceHandle = 0;
  }

  camera.SetCallback(kCamera, FrameCallback);

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

  tracker.Font = OverlayFont{cv::FONT_HERSHEY_PLAIN, 4.0, 4.0, 0.0, 4, 8};

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

void StopTrackingCommand(DialogControls& dialog) {
  dialog.EnableControl(kStartButton, true);
  dialog.EnableControl(kStopButton, false);
  dialog.EnableControl(kCaptureToFileBox, true);
  dialog.EnableControl(kExitButton, true);
  EndTracking(dialog);
  dialog.AddLogLine("EndTracking was successful");
  // Writes the accuracy results and closes the protocol when a calibration opened it.
  const bool accuracyWritten = SharedCalibrationProtocol().IsOpen();
  CloseCalibrationProtocol();
  if (accuracyWritten) PublishSharedAccuracy();
  ReportGazeStreamDrops(dialog);
  Tracker().TrackingActive = 0;
}

bool EndTracking(DialogControls& dialog) {
  TrackerState& tracker = Tracker();
  if (tracker.TrackingActive.load() == 1) {
    dialog.AddLogLine("Releasing camera");
    // Returns only when no frame is in the pipeline any more and none will start; the writer
    // and the windows are released after it.
    Camera().Stop();
    if (tracker.CaptureToFile.load() == 1) {
      dialog.AddLogLine("Releasing video writer");
      tracker.CaptureWriter.reset();
    }
    dialog.AddLogLine("Destroying source window");
    Windows().Destroy("Source");
    dialog.AddLogLine("Destroying preview window");
    Windows().Destroy("Preview");
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
