#pragma once
// The data-quality figures of an accuracy test, as eye-tracking research reports them after a
// validation: accuracy (mean angular offset from the target), precision (RMS of the
// sample-to-sample distances, and the standard deviation about the mean) and data loss (share
// of frames without a gaze estimate). docs/GAZE.md has the definitions.

#include <mutex>
#include <opencv2/core/types.hpp>
#include <vector>

namespace pupiltrak {

// What the user looked at in a frame: a calibration target's index (0..8), an accuracy-test
// target, or nothing known.
inline constexpr int kNoPhase = -1;
inline constexpr int kAccuracyPhase = 9;

// One frame's gaze estimate and where the user looked then.
struct GazeSample {
  int phase = kNoPhase;  // calibration target 0..8, kAccuracyPhase or kNoPhase
  cv::Point2d target;    // meaningful when phase >= 0
  cv::Point2d gaze;
};

// The accuracy-test estimates against where the user looked in each frame (not the target
// shown): what a tracker achieves once the eyes have arrived.
struct SampleAccuracy {
  int estimates = 0;  // gaze estimates on accuracy targets
  int targets = 0;    // accuracy targets that got at least one
  double rmsPixels = 0;
  double rmsDegrees = 0;  // by the protocol's conversion (358 mm wide screen at 500 mm)
};
SampleAccuracy MeasureSampleAccuracy(const std::vector<GazeSample>& samples, int fullScreenWidth);

struct GazeQualityFigures {
  long frames = 0;    // accuracy-test frames counted (settling frames are not)
  long withGaze = 0;  // of these, frames with a gaze estimate
  long leftOut = 0;   // frames left out by settling
  long targets = 0;   // targets shown
  // Degrees of visual angle; NaN when there was nothing to measure.
  double accuracyDegrees = 0;
  double precisionRmsDegrees = 0;
  double precisionSdDegrees = 0;
  // Percent; NaN without frames.
  double dataLossPercent = 0;
};

// Running sums over one accuracy test, fed once per frame on the frame thread and read when
// the test ends on another: guarded by its own lock.
class GazeQualitySums {
 public:
  // One frame of the accuracy test on the target (tx, ty); newTarget: the first frame on it.
  // leftOut: the frame falls in the settling time (counted apart, in nothing else).
  void AddFrame(double tx, double ty, bool newTarget, bool hasGaze, double gx, double gy,
                bool leftOut);
  // A frame of the accuracy test in which no gaze could be estimated before the test's step
  // (no face): lost data, and the end of any sample-to-sample run.
  void AddLostFrame();
  // screenWidth: the full-screen width the conversion to degrees assumes is 358 mm.
  GazeQualityFigures Figures(int screenWidth) const;
  void Reset();

 private:
  void CloseTarget();

  mutable std::mutex mutex_;
  long frames_ = 0, withGaze_ = 0, leftOut_ = 0, targets_ = 0;
  double offsetSum_ = 0;  // pixels
  double stepSquares_ = 0;
  long steps_ = 0;
  // The previous frame's estimate, when it had one on the same target.
  bool havePrevious_ = false;
  double previousX_ = 0, previousY_ = 0;
  // The current target's estimates, and the deviations of all closed targets.
  double sx_ = 0, sy_ = 0, sxx_ = 0, syy_ = 0;
  long n_ = 0;
  double deviationSquares_ = 0;
  long deviationCount_ = 0;
};

}  // namespace pupiltrak
