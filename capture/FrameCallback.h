#pragma once
// The camera layer's per-frame callback: frame rate, upright copy, ProcessFrame.

#include <functional>
#include <opencv2/core.hpp>

#include "platform/CameraFrame.h"

namespace cv {
class VideoWriter;
}

namespace pupiltrak {

struct OverlayFont;
struct TrackerState;
class MachineFacts;

// What the callback keeps from one frame to the next.
struct FrameCallbackState {
  // Tick count of the previous frame; 0 at program start and never reset, so the first frame
  // of a run reports the rate over the whole pause.
  double PreviousFrameTicks = 0;
  // Pixels of the upright copy, reused from frame to frame (a fresh 900 kB block per frame
  // cost page faults on every frame).
  cv::Mat frameCopyBuffer;
  // Frames the program's callback has processed since tracking started (the gaze stream's
  // frame number).
  long framesProcessed = 0;
};

// Receives the upright copy, the camera's own (bottom-up) buffer, the overlay font and the
// writer (may be null).
using FrameProcessor = std::function<void(cv::Mat& frameCopy, cv::Mat& cameraFrame,
                                          const OverlayFont& font, cv::VideoWriter* writer)>;

// One frame: updates tracker.FrameRate from clock, and while tracker.TrackingActive is set
// hands an upright copy of the frame to process.
void HandleCameraFrame(CameraFrame& frame, FrameCallbackState& own, TrackerState& tracker,
                       MachineFacts& clock, const FrameProcessor& process);

}  // namespace pupiltrak
