#pragma once
// What one processed frame leaves for whoever records it: the CSV row, the gaze stream's
// message and the pictures are all made from this one record, after the frame's gaze is set.

#include <functional>
#include <opencv2/core.hpp>

#include "tracking/FramePipeline.h"
#include "tracking/FrameResults.h"

namespace pupiltrak {

struct FrameRecord {
  // Frames processed since tracking started, from 0.
  long frame = 0;
  // The frame's results, its gaze estimate included.
  const FrameResults* results = nullptr;
  // The finished mosaic (black where nothing was composed).
  const cv::Mat* mosaic = nullptr;
  // The time of every stage of this frame; null unless the session measures them.
  const StageTimings* timings = nullptr;
  // The options that decided what was measured, and where the calibration stood.
  bool eyeRegions = false;
  bool gazeDirection = false;
  bool calibrating = false;   // a calibration run is collecting samples
  bool accuracyTest = false;  // a calibration has completed in this run
};

// Called on the frame thread at the end of every processed frame.
using FrameListener = std::function<void(const FrameRecord&)>;

}  // namespace pupiltrak
