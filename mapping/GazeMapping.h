#pragma once
// The per-eye linear gaze mapping, its least-squares fit and the live estimate.
//
// The mapping is fitted on the frame thread at the end of a calibration run and reset to the
// identity by the Calibrate command on the GUI thread; the session's store is therefore read
// and written whole under a mutex.

#include <QSize>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace pupiltrak {

struct CalibrationData;

// One linear function a * dx + b * dy + c of an eye vector, with the root-mean-square residual
// of its fit in screen pixels.
struct LinearFunction {
  double a = 0, b = 0, c = 0;
  double Error = 0;
  double operator()(double dx, double dy) const { return a * dx + b * dy + c; }
};

// GazeRX/GazeRY are fitted from eye region 1 (dxL, dyL), GazeLX/GazeLY from eye region 2
// (dxR, dyR). Default-constructed: all zeros, as at program start.
struct GazeMapping {
  LinearFunction GazeRX, GazeRY, GazeLX, GazeLY;
  // x = dx, y = dy for both eyes: the state at the start of a calibration run.
  static GazeMapping Identity();
};

struct EyeVector {
  double dx = 0, dy = 0;
};
struct ScreenPoint {
  double x = 0, y = 0;
};

// Results of one eye's least-squares fit.
struct LinearFit {
  double ax = 0, bx = 0, cx = 0;
  double ay = 0, by = 0, cy = 0;
  double errorX = 0, errorY = 0;
};

// Least-squares fit of x = ax * dx + bx * dy + cx and y = ay * dx + by * dy + cy over the
// paired sequences (normal equations with an explicit inverse, RMS residual with divisor n).
// Returns false, leaving `fit` untouched, when the matrix library reports an error (a singular
// normal matrix: the eye vectors do not span a plane) or the result is not finite; `failure`
// then names the reason in a few words.
bool FitLinearMapping(const std::vector<EyeVector>& vectors,
                      const std::vector<ScreenPoint>& targets, LinearFit& fit,
                      std::string* failure = nullptr);

// The outcome of fitting both eyes from a completed run.
struct MappingFit {
  GazeMapping mapping;
  bool rightFitted = false;  // eye region 1: GazeRX, GazeRY
  bool leftFitted = false;   // eye region 2: GazeLX, GazeLY
  std::string rightFailure, leftFailure;
};

// Fits both eyes from slots 10..39 of every target (270 pairs per eye). An eye whose fit fails
// keeps its functions from `kept` (the identity the run started with).
MappingFit FitMappingFromSamples(const CalibrationData& data, const GazeMapping& kept);

// The mapping shared by the fit (frame thread) and the Calibrate command (GUI thread).
class GazeMappingStore {
 public:
  GazeMapping Get() const;
  void Set(const GazeMapping& mapping);

 private:
  mutable std::mutex mutex_;
  GazeMapping mapping_;
};

class CalibrationSamples;
class CalibrationProtocol;

// Fits the mapping from a completed run, stores it and writes the report to the protocol.
// Called on the frame thread in the frame that stored the last sample of a run. When a new run
// has been started in the meantime (the samples are collecting again or not complete), nothing
// is fitted or written: the new run fits when it completes. fitted (may be empty) is told of
// the fit after the report, still under the samples' lock.
void FitAndReportGazeMapping(CalibrationSamples& samples, GazeMappingStore& mapping,
                             CalibrationProtocol& protocol, const std::string& captureFileName,
                             const std::function<void(const MappingFit&)>& fitted = {});

// The recent combined gaze points and their mean. Reset on the GUI thread, fed on the frame
// thread: every operation takes the smoother's own lock.
class GazeSmoother {
 public:
  static constexpr int kEntries = 30;

  // Empties the history, the smoothed point becomes (0, 0), the screen size is stored.
  void Reset(QSize fullScreen);
  // Adds a combined point and returns the new smoothed point. A point more than a third of
  // the screen's width or height away from the smoothed point empties the history first. When no
  // entry has both coordinates non-zero, the smoothed point becomes the new point itself.
  ScreenPoint AddPoint(double x, double y);
  ScreenPoint Smoothed() const;

 private:
  mutable std::mutex mutex_;
  ScreenPoint history_[kEntries];  // oldest first
  ScreenPoint smoothed_;
  int width_ = 0, height_ = 0;
};

// What one frame's eye vectors give.
enum class GazeKind {
  Point,       // both eyes found: (x, y) in screen pixels
  NoEstimate,  // exactly one eye found
  NoEyes,      // neither eye found
};
struct GazeEstimate {
  GazeKind kind = GazeKind::NoEyes;
  double x = 0, y = 0;
};

// Maps both eyes, averages and smooths: the smoothed point is the estimate. Only a frame with
// both eyes touches the smoother.
GazeEstimate EstimateGaze(const GazeMapping& mapping, GazeSmoother& smoother, EyeVector eye1,
                          bool found1, EyeVector eye2, bool found2);

}  // namespace pupiltrak
