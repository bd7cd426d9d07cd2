#include "mapping/GazeMapping.h"

#include <cmath>

#include "mapping/CalibrationData.h"
#include "mapping/CalibrationProtocol.h"

// NEWMAT last: its headers bring in "using namespace std" and a set of macros.
#include <newmat/newmat.h>

namespace pupiltrak {

namespace {
// How far N * N^-1 may stray from the identity before the inverse is not trusted. Real eye
// vectors spread over degrees give errors near 1e-15; equal vectors give 1e-2 and more.
constexpr double kInverseTolerance = 1e-6;
}  // namespace

GazeMapping GazeMapping::Identity() {
  GazeMapping m;
  m.GazeRX.a = 1;
  m.GazeLX.a = 1;
  m.GazeRY.b = 1;
  m.GazeLY.b = 1;
  return m;
}

bool FitLinearMapping(const std::vector<EyeVector>& vectors,
                      const std::vector<ScreenPoint>& targets, LinearFit& fit,
                      std::string* failure) {
  auto fail = [&](const char* why) {
    if (failure) *failure = why;
    return false;
  };
  const int n = static_cast<int>(vectors.size());
  if (n == 0 || targets.size() != vectors.size()) return fail("no sample pairs");

  LinearFit result;
  // The library reports a singular normal matrix (and its other errors) with its own
  // exception classes, which do not derive from std::exception.
  try {
    NEWMAT::Matrix X(n, 3);
    NEWMAT::ColumnVector tx(n), ty(n);
    for (int i = 0; i < n; ++i) {
      X(i + 1, 1) = vectors[i].dx;
      X(i + 1, 2) = vectors[i].dy;
      X(i + 1, 3) = 1.0;
      tx(i + 1) = targets[i].x;
      ty(i + 1) = targets[i].y;
    }
    NEWMAT::Matrix N = X.t() * X;
    NEWMAT::Matrix Ninv = N.i();
    // The library only reports an exactly zero pivot; eye vectors that are all equal up to
    // rounding give a "successful" inverse of garbage. Such an inverse fails N * N^-1 = I.
    NEWMAT::Matrix product = N * Ninv;
    for (int r = 1; r <= 3; ++r) {
      for (int c = 1; c <= 3; ++c) {
        const double expected = r == c ? 1.0 : 0.0;
        if (!(std::fabs(product(r, c) - expected) <= kInverseTolerance)) {
          return fail("nearly singular matrix");
        }
      }
    }
    NEWMAT::ColumnVector cX = Ninv * (X.t() * tx);
    NEWMAT::ColumnVector cY = Ninv * (X.t() * ty);
    NEWMAT::ColumnVector rX = X * cX - tx;
    NEWMAT::ColumnVector rY = X * cY - ty;
    result.ax = cX(1);
    result.bx = cX(2);
    result.cx = cX(3);
    result.ay = cY(1);
    result.by = cY(2);
    result.cy = cY(3);
    result.errorX = std::sqrt((rX.t() * rX).AsScalar() / n);
    result.errorY = std::sqrt((rY.t() * rY).AsScalar() / n);
  } catch (const NEWMAT::SingularException&) {
    return fail("singular matrix");
  } catch (const NEWMAT::BaseException&) {
    return fail("matrix library error");
  }
  const double all[] = {result.ax, result.bx, result.cx,     result.ay,
                        result.by, result.cy, result.errorX, result.errorY};
  for (double v : all) {
    if (!std::isfinite(v)) return fail("result not finite");
  }
  fit = result;
  return true;
}

MappingFit FitMappingFromSamples(const CalibrationData& data, const GazeMapping& kept) {
  std::vector<EyeVector> eye1, eye2;
  std::vector<ScreenPoint> targets;
  const size_t n = kCalibrationTargets * (kSlotsPerTarget - kFirstFittedSlot);
  eye1.reserve(n);
  eye2.reserve(n);
  targets.reserve(n);
  for (const CalibrationTarget& t : data.targets) {
    for (int s = kFirstFittedSlot; s < kSlotsPerTarget; ++s) {
      eye1.push_back({t.dxL[s], t.dyL[s]});
      eye2.push_back({t.dxR[s], t.dyR[s]});
      targets.push_back({t.x, t.y});
    }
  }

  MappingFit result;
  result.mapping = kept;
  LinearFit fit;
  if (FitLinearMapping(eye1, targets, fit, &result.rightFailure)) {
    result.rightFitted = true;
    result.mapping.GazeRX = {fit.ax, fit.bx, fit.cx, fit.errorX};
    result.mapping.GazeRY = {fit.ay, fit.by, fit.cy, fit.errorY};
  }
  if (FitLinearMapping(eye2, targets, fit, &result.leftFailure)) {
    result.leftFitted = true;
    result.mapping.GazeLX = {fit.ax, fit.bx, fit.cx, fit.errorX};
    result.mapping.GazeLY = {fit.ay, fit.by, fit.cy, fit.errorY};
  }
  return result;
}

GazeMapping GazeMappingStore::Get() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mapping_;
}

void GazeMappingStore::Set(const GazeMapping& mapping) {
  std::lock_guard<std::mutex> lock(mutex_);
  mapping_ = mapping;
}

void FitAndReportGazeMapping(CalibrationSamples& samples, GazeMappingStore& mapping,
                             CalibrationProtocol& protocol, const std::string& captureFileName,
                             const std::function<void(const MappingFit&)>& fitted) {
  // Under the samples' lock a Calibrate command cannot reset the run halfway through the fit;
  // if it came first, the run is collecting again and this fit has nothing to do.
  samples.WithData([&](const CalibrationData& data) {
    if (data.CollectingSamples || !data.Complete()) return;
    MappingFit fit = FitMappingFromSamples(data, mapping.Get());
    mapping.Set(fit.mapping);
    protocol.Write(MappingReportText(data, fit, captureFileName));
    if (fitted) fitted(fit);
  });
}

void GazeSmoother::Reset(QSize fullScreen) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (ScreenPoint& p : history_) p = ScreenPoint();
  smoothed_ = ScreenPoint();
  width_ = fullScreen.width();
  height_ = fullScreen.height();
}

ScreenPoint GazeSmoother::AddPoint(double x, double y) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int w3 = width_ / 3;
  const int h3 = height_ / 3;
  // A jump of more than a third of the screen in either direction is a new fixation: the
  // history starts afresh instead of averaging the old target's points for 30 frames.
  if (w3 < std::fabs(smoothed_.x - x) || h3 < std::fabs(smoothed_.y - y)) {
    for (ScreenPoint& p : history_) p = ScreenPoint();
  }
  for (int i = 0; i + 1 < kEntries; ++i) history_[i] = history_[i + 1];
  history_[kEntries - 1] = {x, y};

  double sumX = 0, sumY = 0;
  int m = 0;
  for (const ScreenPoint& p : history_) {
    sumX += p.x;
    sumY += p.y;
    if (p.x != 0 && p.y != 0) ++m;
  }
  if (m > 0) {
    smoothed_ = {sumX / m, sumY / m};
  } else {
    // No entry counts (the point lies on a screen axis): the newest point is the best guess.
    smoothed_ = {x, y};
  }
  return smoothed_;
}

ScreenPoint GazeSmoother::Smoothed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return smoothed_;
}

GazeEstimate EstimateGaze(const GazeMapping& mapping, GazeSmoother& smoother, EyeVector eye1,
                          bool found1, EyeVector eye2, bool found2) {
  GazeEstimate estimate;
  if (!found1 && !found2) {
    estimate.kind = GazeKind::NoEyes;
    return estimate;
  }
  if (!found1 || !found2) {
    estimate.kind = GazeKind::NoEstimate;
    return estimate;
  }
  const double rx = mapping.GazeRX(eye1.dx, eye1.dy);
  const double ry = mapping.GazeRY(eye1.dx, eye1.dy);
  const double lx = mapping.GazeLX(eye2.dx, eye2.dy);
  const double ly = mapping.GazeLY(eye2.dx, eye2.dy);
  // Coefficients as large as 1e308 overflow: such a frame has no estimate, and the smoother
  // never takes it in.
  if (!std::isfinite((rx + lx) * 0.5) || !std::isfinite((ry + ly) * 0.5)) {
    estimate.kind = GazeKind::NoEstimate;
    return estimate;
  }
  const ScreenPoint s = smoother.AddPoint((rx + lx) * 0.5, (ry + ly) * 0.5);
  // The fit already maps eye vectors to screen pixels: the smoothed point is the estimate.
  estimate.kind = GazeKind::Point;
  estimate.x = s.x;
  estimate.y = s.y;
  return estimate;
}

}  // namespace pupiltrak
