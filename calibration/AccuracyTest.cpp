#include "calibration/AccuracyTest.h"

#include <algorithm>
#include <cmath>

#include "calibration/CalibrationRun.h"
#include "calibration/TargetWindows.h"
#include "mapping/AccuracyMeasures.h"
#include "platform/Machine.h"
#include "platform/Resources.h"

namespace pupiltrak {

namespace {

constexpr int kPeriod = 50;
// The chart value that stands for "no eye found"; it is passed as a gap and never plotted.
constexpr double kGapValue = 999.999;

// Panel coordinate of a screen coordinate, rounded to the nearest integer. Far-off gaze points
// are clamped first so the conversion stays defined; the marker then lies off the panel.
int PanelCoordinate(int panelSize, int screenSize, double value) {
  double v = panelSize / static_cast<double>(screenSize) * value;
  if (std::isnan(v)) v = -1e6;
  return static_cast<int>(std::nearbyint(std::clamp(v, -1e6, 1e6)));
}

void DrawScaledMarker(QImage& surface, int bitmap, int W, int H, double x, double y) {
  if (W <= 0 || H <= 0) return;  // no run has recorded the screen area
  const QPoint p = AccuracyPanelPosition(surface.size(), W, H, x, y);
  DrawMarker(surface, ResourceBitmap(bitmap), p.x(), p.y(), Qt::white);
}

}  // namespace

QPoint AccuracyPanelPosition(QSize panel, int W, int H, double x, double y) {
  if (W <= 0 || H <= 0) return QPoint(-1000, -1000);
  return QPoint(PanelCoordinate(panel.width(), W, x), PanelCoordinate(panel.height(), H, y));
}

void AccuracyTargetPicker::Reset(uint32_t seed, QSize screen) {
  std::lock_guard<std::mutex> lock(mutex_);
  random_.Seed(seed);
  currentX_ = currentY_ = 0;
  n_ = newAt_ = 0;
  Ws_ = screen.width();
  Hs_ = screen.height();
}

void AccuracyTargetPicker::ResetToProgramStart() {
  std::lock_guard<std::mutex> lock(mutex_);
  random_ = CrtRandom();
  currentX_ = currentY_ = previousX_ = previousY_ = 0;
  n_ = newAt_ = 0;
  Ws_ = Hs_ = 0;
}

AccuracyTarget AccuracyTargetPicker::Pick() {
  int x = Ws_ / 2;
  int y = Hs_ / 2;
  const int spanX = Ws_ - 2 * kEdge;
  const int spanY = Hs_ - 2 * kEdge;
  // A screen too small for the margins keeps its centre.
  if (spanX > 0 && spanY > 0) {
    bool found = false;
    for (int draw = 0; draw < kMaxDraws && !found; ++draw) {
      x = random_.Next() % spanX + kEdge;
      y = random_.Next() % spanY + kEdge;
      found = PointDistance(previousX_, previousY_, x, y) >= kMinDistance;
    }
    if (!found) {
      const int left = kEdge, right = Ws_ - kEdge - 1, top = kEdge, bottom = Hs_ - kEdge - 1;
      const int corners[4][2] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
      double best = -1;
      for (const auto& c : corners) {
        const double d = PointDistance(previousX_, previousY_, c[0], c[1]);
        if (d > best) {
          best = d;
          x = c[0];
          y = c[1];
        }
      }
    }
  }
  previousX_ = currentX_ = x;
  previousY_ = currentY_ = y;
  newAt_ = n_;
  return {x, y, true, 0};
}

AccuracyTarget AccuracyTargetPicker::Next(int period) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++n_;
  if (n_ == 1 || (period > 0 && n_ % period == 0)) return Pick();
  return {currentX_, currentY_, false, n_ - newAt_};
}

AccuracyTarget AccuracyTargetPicker::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {currentX_, currentY_, false};
}

void ChartGaze(const GazeEstimate& gaze, PanelEffects& effects) {
  if (gaze.kind == GazeKind::Point) effects.AddChartValues(gaze.x, gaze.y, false);
  if (gaze.kind == GazeKind::NoEyes) effects.AddChartValues(kGapValue, kGapValue, true);
}

GazeEstimate AccuracyTestStep(QImage& surface, const AccuracyStepInputs& inputs,
                              AccuracyTargetPicker& picker, GazeSmoother& smoother,
                              AccuracyAccumulator& accumulator, PanelEffects& effects) {
  DrawPanelCaption(surface, QStringLiteral("Accuracy test"));
  const AccuracyTarget target = picker.Next(kPeriod);
  DrawScaledMarker(surface, resource_id::kAccuracyMarker, inputs.W, inputs.H, target.x, target.y);
  if (target.isNew) effects.CreateAccuracyWindow(target.x, target.y);

  const GazeEstimate gaze = EstimateGaze(inputs.mapping, smoother, inputs.eye1, inputs.found1,
                                         inputs.eye2, inputs.found2);
  // Settling leaves out the estimates before the eyes can have reached a new target.
  const bool settling = target.step < SettleFrames(inputs.settleMs, inputs.framesPerSecond);
  if (inputs.settleMs > 0) accumulator.NoteSettling();
  if (inputs.quality)
    inputs.quality->AddFrame(target.x, target.y, target.isNew, gaze.kind == GazeKind::Point, gaze.x,
                             gaze.y, settling);
  switch (gaze.kind) {
    case GazeKind::Point:
      if (settling)
        accumulator.AddLeftOut();
      else
        AddAccuracySample(accumulator, target.x, target.y, gaze.x, gaze.y);
      ChartGaze(gaze, effects);
      DrawScaledMarker(surface, resource_id::kGazeMarker, inputs.W, inputs.H, gaze.x, gaze.y);
      break;
    case GazeKind::NoEyes:
      ChartGaze(gaze, effects);
      break;
    case GazeKind::NoEstimate:
      break;
  }
  return gaze;
}

}  // namespace pupiltrak
