#include "capture/FrameCallback.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "platform/Machine.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

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

}  // namespace pupiltrak
