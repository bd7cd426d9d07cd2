#include "capture/FrameCallback.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "app/TrackerState.h"
#include "capture/GazeStream.h"
#include "capture/PipelineWiring.h"
#include "platform/Machine.h"
#include "tracking/FramePipeline.h"

void HandleCameraFrame(CameraFrame& frame, FrameCallbackState& own, TrackerState& tracker,
                       MachineFacts& clock, const FrameProcessor& process) {
  // The frame rate is kept current for every frame, tracking or not.
  const double t = static_cast<double>(clock.TickCount());
  const double ticksPerMillisecond = clock.TickFrequency() / 1000.0;
  const double ms = (t - own.PreviousFrameTicks) / ticksPerMillisecond;
  own.PreviousFrameTicks = t;
  tracker.FrameRate = 1000.0 / ms;

  if (tracker.TrackingActive.load() == 0) return;

  // The pipeline works on a top-down private copy; the camera's buffer stays as it is.
  own.frameCopyBuffer.create(frame.image.rows, frame.image.cols, CV_8UC(frame.image.channels()));
  cv::Mat frameCopy = own.frameCopyBuffer;
  if (frame.origin != 0)
    cv::flip(frame.image, frameCopy, 0);
  else
    frame.image.copyTo(frameCopy);
  if (process) process(frameCopy, frame.image, tracker.Font, tracker.CaptureWriter.get());
  frameCopy.release();
}

FrameCallbackState& SharedFrameCallbackState() {
  static FrameCallbackState state;
  return state;
}

void ResetFrameCallbackState() { SharedFrameCallbackState() = FrameCallbackState{}; }

void FrameCallback(CameraFrame& frame) {
  static const FrameProcessor pipeline = [](cv::Mat& frameCopy, cv::Mat& cameraFrame,
                                            const OverlayFont& font, cv::VideoWriter* writer) {
    // The "Source" window sizes itself to the camera's frames, but tracking start reads its
    // client rectangle before the first frame has arrived. Keep the rectangle the status panel
    // scales by at the size the window takes on, or the pupil discs land at the wrong scale.
    TrackerState& tracker = Tracker();
    IntRect source = tracker.SourceClientRect();
    if (source.width() != cameraFrame.cols || source.height() != cameraFrame.rows)
      tracker.SetSourceClientRect(IntRect{0, 0, cameraFrame.cols, cameraFrame.rows});
    ProcessFrame(SharedPipelineContext(), frameCopy, cameraFrame, font, writer);
    // The frame's results to the gaze stream's subscribers; nothing while the stream is off.
    PublishFrameGaze(SharedFrameCallbackState().framesProcessed++);
  };
  HandleCameraFrame(frame, SharedFrameCallbackState(), Tracker(), Machine(), pipeline);
}
