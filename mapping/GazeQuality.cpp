#include "mapping/GazeQuality.h"

#include <algorithm>
#include <cmath>

#include "mapping/AccuracyMeasures.h"

namespace pupiltrak {

void GazeQualitySums::CloseTarget() {
  if (n_ > 0) {
    const double n = static_cast<double>(n_);
    deviationSquares_ += (sxx_ - sx_ * sx_ / n) + (syy_ - sy_ * sy_ / n);
    deviationCount_ += n_;
  }
  sx_ = sy_ = sxx_ = syy_ = 0;
  n_ = 0;
}

void GazeQualitySums::AddFrame(double tx, double ty, bool newTarget, bool hasGaze, double gx,
                               double gy, bool leftOut) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (newTarget) {
    CloseTarget();
    havePrevious_ = false;
    ++targets_;
  }
  if (leftOut) {
    ++leftOut_;
    havePrevious_ = false;
    return;
  }
  ++frames_;
  if (!hasGaze) {
    havePrevious_ = false;
    return;
  }
  ++withGaze_;
  offsetSum_ += PointDistance(tx, ty, gx, gy);
  if (havePrevious_) {
    const double d = PointDistance(previousX_, previousY_, gx, gy);
    stepSquares_ += d * d;
    ++steps_;
  }
  havePrevious_ = true;
  previousX_ = gx;
  previousY_ = gy;
  sx_ += gx;
  sy_ += gy;
  sxx_ += gx * gx;
  syy_ += gy * gy;
  ++n_;
}

void GazeQualitySums::AddLostFrame() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++frames_;
  havePrevious_ = false;
}

GazeQualityFigures GazeQualitySums::Figures(int screenWidth) const {
  GazeQualitySums copy;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    copy.frames_ = frames_;
    copy.withGaze_ = withGaze_;
    copy.leftOut_ = leftOut_;
    copy.targets_ = targets_;
    copy.offsetSum_ = offsetSum_;
    copy.stepSquares_ = stepSquares_;
    copy.steps_ = steps_;
    copy.sx_ = sx_;
    copy.sy_ = sy_;
    copy.sxx_ = sxx_;
    copy.syy_ = syy_;
    copy.n_ = n_;
    copy.deviationSquares_ = deviationSquares_;
    copy.deviationCount_ = deviationCount_;
  }
  // The target on the screen when the test ended counts as closed.
  copy.CloseTarget();
  const double nan = std::nan("");
  GazeQualityFigures f;
  f.frames = copy.frames_;
  f.withGaze = copy.withGaze_;
  f.leftOut = copy.leftOut_;
  f.targets = copy.targets_;
  f.accuracyDegrees =
      f.withGaze > 0
          ? PixelsToDegrees(copy.offsetSum_ / static_cast<double>(f.withGaze), screenWidth)
          : nan;
  f.precisionRmsDegrees =
      copy.steps_ > 0
          ? PixelsToDegrees(std::sqrt(copy.stepSquares_ / static_cast<double>(copy.steps_)),
                            screenWidth)
          : nan;
  f.precisionSdDegrees = copy.deviationCount_ > 0
                             ? PixelsToDegrees(std::sqrt(std::max(0.0, copy.deviationSquares_) /
                                                         static_cast<double>(copy.deviationCount_)),
                                               screenWidth)
                             : nan;
  f.dataLossPercent = f.frames > 0 ? 100.0 * static_cast<double>(f.frames - f.withGaze) /
                                         static_cast<double>(f.frames)
                                   : nan;
  return f;
}

void GazeQualitySums::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_ = withGaze_ = leftOut_ = targets_ = 0;
  offsetSum_ = stepSquares_ = 0;
  steps_ = 0;
  havePrevious_ = false;
  previousX_ = previousY_ = 0;
  sx_ = sy_ = sxx_ = syy_ = 0;
  n_ = 0;
  deviationSquares_ = 0;
  deviationCount_ = 0;
}

}  // namespace pupiltrak

namespace pupiltrak {

SampleAccuracy MeasureSampleAccuracy(const std::vector<GazeSample>& samples, int fullScreenWidth) {
  SampleAccuracy a;
  double sum = 0;
  std::vector<cv::Point2d> seen;
  for (const GazeSample& s : samples) {
    if (s.phase != kAccuracyPhase) continue;
    const cv::Point2d d = s.gaze - s.target;
    sum += d.dot(d);
    ++a.estimates;
    if (std::find(seen.begin(), seen.end(), s.target) == seen.end()) seen.push_back(s.target);
  }
  a.targets = static_cast<int>(seen.size());
  if (a.estimates > 0) {
    a.rmsPixels = std::sqrt(sum / a.estimates);
    if (fullScreenWidth > 0)
      a.rmsDegrees = MillimetresToDegrees(PixelsToMillimetres(a.rmsPixels, fullScreenWidth));
  }
  return a;
}

}  // namespace pupiltrak
