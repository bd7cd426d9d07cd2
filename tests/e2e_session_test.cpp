// A whole session through the real dialog: Start Tracking with both options, Calibrate, the
// nine targets, the fit, a few hundred frames of accuracy test, Stop Tracking; the protocol,
// the event log, the beeps, the target windows, the charts and the accuracy figure.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "e2e_support.h"

using namespace pupiltrak;

namespace {

using e2e::FrameRecord;
using e2e::SessionResult;

class WholeSession : public e2e::SessionTest {};

constexpr int kFirstColumn = e2e::kFirstPlotColumn, kLastColumn = e2e::kLastPlotColumn;
constexpr QRgb kGrey = qRgb(192, 192, 192);

TEST_F(WholeSession, CalibrationAndAccuracyTestEndToEnd) {
  const e2e::SessionOptions options;
  const SessionResult r = RunSession(options);
  ASSERT_TRUE(r.completed) << "the calibration did not complete within the frames allowed";
  EXPECT_EQ(r.log, SessionLog(options));
  EXPECT_EQ(r.beeps, 9) << "one at the start and one after each of targets 0 to 7";
  EXPECT_TRUE(r.messages.empty());
  ExpectCompleteProtocol(r);

  // Samples only while the run collects, only from frames with both pupils, and each target's
  // samples from frames in which the user looked at that target's window. The window of target
  // 0 appears in the panel step of the first collecting frame, after that frame's sample: its
  // first sample may come from a look elsewhere (one reason the fit leaves out slots 0 to 9).
  const int m = kFullHeight / 8;
  const double xs[3] = {double(m), kFullWidth / 2.0, double(kFullWidth - m)};
  const double ys[3] = {double(m), kFullHeight / 2.0, double(kFullHeight - m)};
  int stored = 0;
  std::vector<cv::Point2d> shown;
  for (const FrameRecord& f : r.frames) {
    if (f.look.kind == LookTarget::Kind::Calibration &&
        (shown.empty() || shown.back() != f.look.point))
      shown.push_back(f.look.point);
    if (!f.TookSample()) continue;
    EXPECT_TRUE(f.BothPupils());
    EXPECT_EQ(f.samplesAfter, f.samplesBefore + 1);
    const int k = stored / 40;
    if (stored > 0) {
      EXPECT_EQ(f.look.kind, LookTarget::Kind::Calibration) << "sample " << stored;
      EXPECT_EQ(f.look.point, cv::Point2d(xs[k % 3], ys[k / 3])) << "sample " << stored;
    }
    ++stored;
  }
  EXPECT_EQ(stored, 360);
  ASSERT_EQ(shown.size(), 9u) << "the nine calibration windows, one after another";
  for (int k = 0; k < 9; ++k) EXPECT_EQ(shown[k], cv::Point2d(xs[k % 3], ys[k / 3])) << k;
  ASSERT_GE(r.frames.size(), 5u);
  EXPECT_TRUE(r.frames.front().look.kind == LookTarget::Kind::ScreenCentre);
  for (size_t i = 0; i < 5; ++i) EXPECT_FALSE(r.frames[i].TookSample()) << "before Calibrate";

  // The accuracy test: a new target on steps 1, 50, 100, ..., inside the screen by 100 px
  // and 500 px or more from the one before.
  int step = 0, targetsShown = 0;
  cv::Point prev(-1, -1);
  for (const FrameRecord& f : r.frames) {
    if (!f.accuracyStep) continue;
    ++step;
    const cv::Point t(f.tx, f.ty);
    const bool isNew = t != prev;
    EXPECT_EQ(isNew, step == 1 || step % 50 == 0) << "step " << step;
    if (isNew) {
      ++targetsShown;
      EXPECT_GE(t.x, 100);
      EXPECT_LE(t.x, kScreenWidth - 101);
      EXPECT_GE(t.y, 100);
      EXPECT_LE(t.y, kScreenHeight - 101);
      if (prev.x >= 0) {
        EXPECT_GE(std::hypot(t.x - prev.x, t.y - prev.y), 500.0);
      }
    }
    prev = t;
  }
  EXPECT_GE(step, 300);
  EXPECT_GE(targetsShown, 7);
  EXPECT_EQ(targets.Created(), 9 + targetsShown);
  ASSERT_EQ(targets.Existing().size(), 1u) << "only the last accuracy window is left";
  EXPECT_EQ(targets.Existing()[0].title, "TitleIsIrrelevant");

  // Both charts hold one point per step with both eyes and one grey line per step without
  // eyes, since they were shown blank at the end of the run (a point clamped to the first or
  // last row survives a following gap and is carried one more column: at most one extra point
  // column per gap).
  int points = 0, gaps = 0;
  for (const FrameRecord& f : r.frames) {
    if (!f.accuracyStep) continue;
    if (f.BothPupils()) ++points;
    if (f.NoPupil()) ++gaps;
  }
  ASSERT_LE(points + gaps, kLastColumn - kFirstColumn + 1);
  ASSERT_FALSE(r.canvas.isNull());
  for (int top : {310, 395}) {
    const int columns = e2e::ChartPoints(r.canvas, top, top + 80);
    EXPECT_GE(columns, points) << "chart at " << top;
    EXPECT_LE(columns, points + gaps) << "chart at " << top;
  }
  EXPECT_EQ(e2e::CountColumns(r.canvas, kFirstColumn, kLastColumn, 312, 386, kGrey), gaps);
  EXPECT_EQ(e2e::CountColumns(r.canvas, kFirstColumn, kLastColumn, 397, 471, kGrey), gaps);

  // The accuracy figure. The smoothed point of a perfect fit sits on the target from the
  // first frame after each jump, so the error is what the tracker resolves plus the user's
  // noise, and the frame after each new target in which the user still looks at the old one.
  // The reference is an ideal tracker (both eyes exactly on the target) run through the same
  // smoother.
  const e2e::PrintedMapping printed = e2e::ParseReport(r.protocol, 360);
  ASSERT_TRUE(printed.parsed);
  const e2e::AccuracyModel model =
      e2e::ModelAccuracy(r.frames, printed.mapping, QSize(kFullWidth, kFullHeight));
  const double px = std::sqrt(r.sums.sum / r.sums.count);
  std::printf(
      "accuracy: %.2f px over %d steps; ideal tracker %.2f px; settled %.2f px, from the "
      "ideal %.2f px; mapping errors %.2f %.2f %.2f %.2f px\n",
      px, model.steps, model.ideal, model.settled, model.deviation, printed.mapping.GazeLX.Error,
      printed.mapping.GazeLY.Error, printed.mapping.GazeRX.Error, printed.mapping.GazeRY.Error);
  RecordProperty("accuracy_px", std::to_string(px));
  RecordProperty("ideal_px", std::to_string(model.ideal));
  EXPECT_EQ(model.steps, static_cast<int>(r.sums.count));
  // The protocol's figure is the smoothed mapping of the frames' own eye vectors (the printed
  // coefficients are rounded to 0.01).
  EXPECT_NEAR(model.modelled, px, 0.01 * px);
  // What the tracker resolves: the circle centre and the bright spot lie on whole (or half)
  // pupil-zoom pixels, and one pixel moves an eye vector by asin(1 / 20) = 2.87 degrees, which
  // the fitted own-axis coefficient turns into a quantum of screen pixels (about 110 here).
  // Each eye's fit stays within about that quantum, and the smoothed point (two eyes, up to
  // 30 frames) within it of the ideal tracker's and, once settled, of the target.
  const double degreesPerPixel = std::asin(1.0 / 20.0) * 180.0 / M_PI;
  double quantum = 1e9;
  for (const LinearFunction* f : {&printed.mapping.GazeLX, &printed.mapping.GazeRX})
    quantum = std::min(quantum, degreesPerPixel * std::fabs(f->a));
  for (const LinearFunction* f : {&printed.mapping.GazeLY, &printed.mapping.GazeRY})
    quantum = std::min(quantum, degreesPerPixel * std::fabs(f->b));
  std::printf("one pupil-zoom pixel: %.1f screen px\n", quantum);
  for (const LinearFunction* f : {&printed.mapping.GazeLX, &printed.mapping.GazeLY,
                                  &printed.mapping.GazeRX, &printed.mapping.GazeRY})
    EXPECT_LT(f->Error, 1.5 * quantum);
  EXPECT_LT(model.deviation, quantum);
  EXPECT_LT(model.settled, quantum);
  // An ideal tracker scores zero: targets 500 px apart on this screen are each more than a
  // third of its width or height from the last, so every new target empties the history.
  EXPECT_LT(model.ideal, 0.01);
}

}  // namespace
