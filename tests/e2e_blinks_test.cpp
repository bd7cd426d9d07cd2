// The whole session again with closed eyes mixed in: blinks (both eyes) and frames with one
// eye closed. Neither gives a calibration sample or an accuracy error; a blink in the accuracy
// test leaves a grey gap line in both charts, a one-eye frame leaves the charts as they were;
// the run still completes.
#include "e2e_support.h"

using namespace pupiltrak;

namespace {

using e2e::FrameKind;
using e2e::FrameRecord;
using e2e::SessionResult;

class SessionWithBlinks : public e2e::SessionTest {};

constexpr QRgb kGrey = qRgb(192, 192, 192);

TEST_F(SessionWithBlinks, ClosedEyesGiveNoSamplesAndGapsInTheCharts) {
  e2e::SessionOptions options;
  options.blinkEvery = 10;
  options.oneEyeEvery = 7;
  // With "Use EqualizeHist2" on, the pupil window of a closed eye is stretched to full contrast
  // and its sensor noise gives finder 2 a circle: a closed eye then looks open to the tracker.
  // This user turns it off, as one would after seeing "Blink" never appear.
  options.equalizeHist2 = false;
  const SessionResult r = RunSession(options);
  ASSERT_TRUE(r.completed) << "the calibration did not complete within the frames allowed";
  EXPECT_EQ(r.log, SessionLog(options));
  EXPECT_EQ(r.beeps, 9);
  ExpectCompleteProtocol(r);

  // Closed eyes happened both while collecting and during the accuracy test.
  int closedWhileCollecting = 0, blinkSteps = 0, oneEyeSteps = 0;
  for (const FrameRecord& f : r.frames) {
    if (f.kind == FrameKind::Open) continue;
    if (f.look.kind == LookTarget::Kind::Calibration) ++closedWhileCollecting;
    if (f.accuracyStep) (f.kind == FrameKind::Blink ? blinkSteps : oneEyeSteps)++;
  }
  EXPECT_GT(closedWhileCollecting, 50);
  EXPECT_GT(blinkSteps, 20);
  EXPECT_GT(oneEyeSteps, 20);

  // The tracker sees the closed eyes, and no sample comes from a frame with a closed eye.
  int blinks = 0, blinksSeen = 0, oneEye = 0, oneEyeSeen = 0;
  for (const FrameRecord& f : r.frames) {
    if (f.TookSample()) {
      EXPECT_EQ(f.kind, FrameKind::Open) << "a sample from a closed eye";
    }
    if (!f.face) continue;
    if (f.kind == FrameKind::Blink) {
      ++blinks;
      if (f.NoPupil()) ++blinksSeen;
    }
    if (f.kind == FrameKind::OneEye) {
      ++oneEye;
      if (f.pupil[0] && !f.pupil[1]) ++oneEyeSeen;
    }
  }
  EXPECT_EQ(blinks, r.blinkFrames) << "the face is found in every blink";
  EXPECT_GE(blinksSeen, blinks * 9 / 10) << "closed lids show no pupil";
  EXPECT_GE(oneEyeSeen, oneEye * 9 / 10) << "only the open eye's pupil is found";

  // The charts: one grey line per step with no eye (these are the blinks), one point per step
  // with both eyes, nothing for a step with one eye. A point clamped to the chart's first or
  // last row lies outside the grey line's rows, so a gap in the next step carries it one more
  // column to the left: there may be up to one extra point column per gap.
  int points = 0, gaps = 0;
  for (const FrameRecord& f : r.frames) {
    if (!f.accuracyStep) continue;
    if (f.BothPupils()) ++points;
    if (f.NoPupil()) ++gaps;
  }
  EXPECT_GE(gaps, blinkSteps * 9 / 10);
  ASSERT_LE(points + gaps, e2e::kLastPlotColumn - e2e::kFirstPlotColumn + 1);
  ASSERT_FALSE(r.canvas.isNull());
  EXPECT_EQ(
      e2e::CountColumns(r.canvas, e2e::kFirstPlotColumn, e2e::kLastPlotColumn, 312, 386, kGrey),
      gaps)
      << "Gaze X";
  EXPECT_EQ(
      e2e::CountColumns(r.canvas, e2e::kFirstPlotColumn, e2e::kLastPlotColumn, 397, 471, kGrey),
      gaps)
      << "Gaze Y";
  for (int top : {310, 395}) {
    const int columns = e2e::ChartPoints(r.canvas, top, top + 80);
    EXPECT_GE(columns, points) << "chart at " << top;
    EXPECT_LE(columns, points + gaps) << "chart at " << top;
  }
}

}  // namespace
