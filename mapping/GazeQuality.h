#pragma once
// The data-quality figures of an accuracy test, as eye-tracking research reports them after a
// validation: accuracy (mean angular offset from the target), precision (RMS of the
// sample-to-sample distances, and the standard deviation about the mean) and data loss (share
// of frames without a gaze estimate). docs/GAZE.md has the definitions.

#include <mutex>

namespace pupiltrak {

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
