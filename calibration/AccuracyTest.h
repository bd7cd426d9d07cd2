#pragma once
// The accuracy test: random targets, the live gaze estimate, the error sums.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstdint>
#include <mutex>

#include "mapping/GazeMapping.h"
#include "mapping/GazeQuality.h"

namespace pupiltrak {

class AccuracyAccumulator;
class PanelEffects;

// The C runtime's linear congruential generator, as our own code so that a seed gives the same
// targets on every platform: state * 214013 + 2531011 (mod 2^32), value (state >> 16) & 32767.
class CrtRandom {
 public:
  void Seed(uint32_t seed) { state_ = seed; }
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 32767u);
  }

 private:
  uint32_t state_ = 1;
};

struct AccuracyTarget {
  int x = 0, y = 0;
  bool isNew = false;
  int step = 0;  // steps since the target became new (0 in the step that made it)
};

// Random accuracy-test targets, 100 px inside every screen edge and at least 500 px from the
// previous target, a new one on the 1st call and every period-th call after a reset.
class AccuracyTargetPicker {
 public:
  // Random draws per new target before the fallback. Where no point of the allowed area lies
  // 500 px from the previous target (a small screen with the previous target near its
  // centre), the draws cannot succeed; the fallback is the corner of the allowed area farthest
  // from the previous target, which is valid whenever any point is.
  static constexpr int kMaxDraws = 1000;
  static constexpr int kEdge = 100;
  static constexpr double kMinDistance = 500.0;

  // At tracking start: current (0, 0), counter 0, screen size, seed. The previous target stays.
  void Reset(uint32_t seed, QSize screen);
  AccuracyTarget Next(int period);
  AccuracyTarget Current() const;
  // Everything as at program start, previous target included (tests).
  void ResetToProgramStart();

 private:
  AccuracyTarget Pick();

  mutable std::mutex mutex_;
  CrtRandom random_;
  int currentX_ = 0, currentY_ = 0;
  int previousX_ = 0, previousY_ = 0;
  int n_ = 0;
  int newAt_ = 0;  // n when the current target was picked
  int Ws_ = 0, Hs_ = 0;
};

// Panel position of a screen point in the accuracy test: w / W * x and h / H * y, each rounded
// to the nearest integer (clamped far outside the panel for wild gaze points).
QPoint AccuracyPanelPosition(QSize panel, int W, int H, double x, double y);

// What one accuracy test step reads besides the parts it updates.
struct AccuracyStepInputs {
  int W = 0, H = 0;  // the screen area recorded by the last calibration run
  GazeMapping mapping;
  EyeVector eye1, eye2;  // eye regions 1 and 2
  bool found1 = false, found2 = false;
  // Settling: the estimates of the steps in the first settleMs after each new target, at this
  // frame rate, are left out of the error sums (0: none, the protocol as always).
  int settleMs = 0;
  double framesPerSecond = 30.0;
  // The data-quality sums of this accuracy test, when kept.
  GazeQualitySums* quality = nullptr;
};

// A gaze estimate into both charts: a point as plain values, no eyes as a gap, one eye not at
// all.
void ChartGaze(const GazeEstimate& gaze, PanelEffects& effects);

// One accuracy test step on the 160 x 120 panel surface: caption, target (and its window when
// new), gaze estimate, error sums, charts and the gaze marker. Returns the gaze estimate.
GazeEstimate AccuracyTestStep(QImage& surface, const AccuracyStepInputs& inputs,
                              AccuracyTargetPicker& picker, GazeSmoother& smoother,
                              AccuracyAccumulator& accumulator, PanelEffects& effects);

}  // namespace pupiltrak
