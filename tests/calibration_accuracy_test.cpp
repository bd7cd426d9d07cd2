// The accuracy test: the random targets, one step's estimate, sums, charts and markers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "calibration/AccuracyTest.h"
#include "calibration_fixture.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/GazeQuality.h"
#include "platform/Resources.h"
#include "platform/Surface.h"

using namespace pupiltrak;

namespace {

double Distance(const AccuracyTarget& a, const AccuracyTarget& b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// The first target of a fresh picker for seed on screen.
AccuracyTarget FirstTarget(uint32_t seed, QSize screen) {
  AccuracyTargetPicker picker;
  picker.Reset(seed, screen);
  return picker.Next(50);
}

// A seed whose first target on screen lies within radius of the screen centre.
uint32_t SeedNearCentre(QSize screen, double radius) {
  for (uint32_t seed = 1; seed < 1000000; ++seed) {
    const AccuracyTarget t = FirstTarget(seed, screen);
    if (std::hypot(t.x - screen.width() / 2.0, t.y - screen.height() / 2.0) < radius) return seed;
  }
  ADD_FAILURE() << "no seed found";
  return 1;
}

}  // namespace

TEST(CrtRandomTest, GivesTheRuntimeLibrarySequence) {
  CrtRandom r;  // unseeded: state 1
  EXPECT_EQ(r.Next(), 41);
  EXPECT_EQ(r.Next(), 18467);
  EXPECT_EQ(r.Next(), 6334);
  EXPECT_EQ(r.Next(), 26500);
  EXPECT_EQ(r.Next(), 19169);
  r.Seed(1);
  EXPECT_EQ(r.Next(), 41);
  r.Seed(0xFFFFFFFFu);  // wraps modulo 2^32
  for (int i = 0; i < 1000; ++i) {
    const int v = r.Next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

TEST(AccuracyTargetPickerTest, ChangesOnCallsOneFiftyHundredAndSoOn) {
  AccuracyTargetPicker picker;
  picker.Reset(4711, QSize(1024, 768));
  std::vector<int> newOn;
  for (int call = 1; call <= 220; ++call) {
    if (picker.Next(50).isNew) newOn.push_back(call);
  }
  EXPECT_EQ(newOn, (std::vector<int>{1, 50, 100, 150, 200}));
}

TEST(AccuracyTargetPickerTest, AKnownSeedGivesAFixedSequence) {
  AccuracyTargetPicker picker;
  picker.Reset(12345, QSize(1024, 768));
  std::vector<std::pair<int, int>> targets;
  for (int call = 1; call <= 150; ++call) {
    const AccuracyTarget t = picker.Next(50);
    if (t.isNew) targets.emplace_back(t.x, t.y);
  }
  EXPECT_EQ(targets,
            (std::vector<std::pair<int, int>>{{268, 520}, {767, 248}, {264, 361}, {901, 280}}));
}

TEST(AccuracyTargetPickerTest, TargetsStayInsideTheMarginsAndFarFromThePreviousOne) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    AccuracyTargetPicker picker;
    picker.Reset(seed * 2654435761u, QSize(1024, 768));
    AccuracyTarget previous;  // (0, 0) at first
    for (int call = 1; call <= 500; ++call) {
      const AccuracyTarget t = picker.Next(50);
      ASSERT_GE(t.x, 100);
      ASSERT_LE(t.x, 923);
      ASSERT_GE(t.y, 100);
      ASSERT_LE(t.y, 667);
      if (t.isNew) {
        ASSERT_GE(Distance(t, previous), 500.0) << "seed " << seed << " call " << call;
        previous = t;
      } else {
        ASSERT_EQ(t.x, previous.x);
        ASSERT_EQ(t.y, previous.y);
      }
    }
  }
}

TEST(AccuracyTargetPickerTest, ATrackingRestartKeepsThePreviousTargetAndStartsCountingAgain) {
  AccuracyTargetPicker picker;
  picker.Reset(99, QSize(1024, 768));
  AccuracyTarget last;
  for (int call = 1; call <= 120; ++call) last = picker.Next(50);
  picker.Reset(99, QSize(1024, 768));
  EXPECT_EQ(picker.Current().x, 0);
  const AccuracyTarget first = picker.Next(50);
  EXPECT_TRUE(first.isNew);
  EXPECT_GE(Distance(first, last), 500.0);
  EXPECT_FALSE(picker.Next(50).isNew);
}

TEST(AccuracyTargetPickerTest, ASmallScreenWithThePreviousTargetAtItsCentreStillEnds) {
  // On 800 x 600 no allowed point lies 500 px from (400, 300): the draws give up and the
  // farthest corner of the allowed area is taken.
  const QSize screen(800, 600);
  AccuracyTargetPicker picker;
  picker.Reset(SeedNearCentre(screen, 40), screen);
  const AccuracyTarget centre = picker.Next(50);
  AccuracyTarget next;
  for (int call = 2; call <= 50; ++call) next = picker.Next(50);
  ASSERT_TRUE(next.isNew);
  const AccuracyTarget corners[4] = {{100, 100}, {699, 100}, {100, 499}, {699, 499}};
  double farthest = 0;
  for (const AccuracyTarget& c : corners) farthest = std::max(farthest, Distance(c, centre));
  EXPECT_DOUBLE_EQ(Distance(next, centre), farthest) << next.x << "," << next.y;
  // And it goes on picking from there.
  for (int call = 51; call <= 100; ++call) next = picker.Next(50);
  EXPECT_TRUE(next.isNew);
}

TEST(AccuracyTargetPickerTest, TheFallbackIsValidWheneverAValidPointExists) {
  // On 1024 x 768 only the four corners of the allowed area lie 500 px from the centre.
  const QSize screen(1024, 768);
  AccuracyTargetPicker picker;
  picker.Reset(SeedNearCentre(screen, 10), screen);
  const AccuracyTarget centre = picker.Next(50);
  AccuracyTarget next;
  for (int call = 2; call <= 50; ++call) next = picker.Next(50);
  EXPECT_GE(Distance(next, centre), 500.0);
}

TEST(AccuracyTargetPickerTest, AScreenSmallerThanTheMarginsUsesItsCentre) {
  AccuracyTargetPicker picker;
  picker.Reset(5, QSize(150, 100));
  const AccuracyTarget t = picker.Next(50);
  EXPECT_EQ(t.x, 75);
  EXPECT_EQ(t.y, 50);
  picker.Reset(5, QSize(0, 0));
  EXPECT_EQ(picker.Next(50).x, 0);
}

TEST(AccuracyTargetPickerTest, ANewRunSeedsFromTheClockAndTheWholeScreen) {
  FixedMachine machine;
  machine.SetNow(12345);
  machine.SetScreenSize(QSize(1024, 768));
  machine.SetFullScreenSize(QSize(1000, 500));
  TrackerSession session(Platform{nullptr, &machine});
  session.ResetForNewRun();
  const AccuracyTarget t = session.targets.Next(50);
  EXPECT_EQ(t.x, 268);
  EXPECT_EQ(t.y, 520);
}

TEST(AccuracyPanelPositionTest, RoundsToTheNearestAndClampsWildPoints) {
  // 160 / 1024 * 268 = 41.875 and 120 / 710 * 520 = 87.89: rounded, not truncated.
  EXPECT_EQ(AccuracyPanelPosition(QSize(160, 120), 1024, 710, 268, 520), QPoint(42, 88));
  EXPECT_EQ(AccuracyPanelPosition(QSize(160, 120), 1024, 710, 936, 622), QPoint(146, 105));
  const QPoint far = AccuracyPanelPosition(QSize(160, 120), 1024, 710, 1e300, -1e300);
  EXPECT_EQ(far, QPoint(1000000, -1000000));
  EXPECT_EQ(AccuracyPanelPosition(QSize(160, 120), 1024, 710, NAN, 0).x(), -1000000);
}

class AccuracyStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    picker.Reset(12345, QSize(1024, 768));  // first target (268, 520)
    smoother.Reset(QSize(1024, 710));
    inputs.W = 1024;
    inputs.H = 710;
    // Eye vectors in screen pixels.
    inputs.mapping = GazeMapping::Identity();
  }
  void Step(EyeVector e1, bool f1, EyeVector e2, bool f2) {
    inputs.eye1 = e1;
    inputs.found1 = f1;
    inputs.eye2 = e2;
    inputs.found2 = f2;
    AccuracyTestStep(surface, inputs, picker, smoother, accumulator, effects);
  }
  QImage surface = surface::Make(160, 120);
  AccuracyStepInputs inputs;
  AccuracyTargetPicker picker;
  GazeSmoother smoother;
  AccuracyAccumulator accumulator;
  RecordingEffects effects;
};

TEST_F(AccuracyStepTest, BothEyesAddTheErrorAndFeedTheCharts) {
  Step({600, 300}, true, {620, 320}, true);  // gaze (610, 310)
  EXPECT_EQ(effects.events, std::vector<std::string>{"accuracy at 268,520"});
  ASSERT_EQ(effects.charts.size(), 1u);
  EXPECT_DOUBLE_EQ(effects.charts[0].x, 610);
  EXPECT_DOUBLE_EQ(effects.charts[0].y, 310);
  EXPECT_FALSE(effects.charts[0].gap);
  const AccuracySums sums = accumulator.Sums();
  EXPECT_DOUBLE_EQ(sums.count, 1);
  EXPECT_DOUBLE_EQ(sums.sum, 342.0 * 342.0 + 210.0 * 210.0);

  Step({600, 300}, true, {620, 320}, true);
  EXPECT_EQ(effects.events.size(), 1u);  // the same target: no new window
  EXPECT_EQ(accumulator.Sums().count, 2);
}

TEST_F(AccuracyStepTest, OneEyeChangesNothingAndNoEyesLeaveAGap) {
  Step({600, 300}, true, {0, 0}, false);
  Step({0, 0}, false, {600, 300}, true);
  EXPECT_TRUE(effects.charts.empty());
  EXPECT_EQ(accumulator.Sums().count, 0);
  EXPECT_DOUBLE_EQ(smoother.Smoothed().x, 0);

  Step({0, 0}, false, {0, 0}, false);
  ASSERT_EQ(effects.charts.size(), 1u);
  EXPECT_TRUE(effects.charts[0].gap);
  EXPECT_DOUBLE_EQ(effects.charts[0].x, 999.999);
  EXPECT_DOUBLE_EQ(effects.charts[0].y, 999.999);
  EXPECT_EQ(accumulator.Sums().count, 0);
  // The target was picked on the first of these steps all the same.
  EXPECT_EQ(effects.events, std::vector<std::string>{"accuracy at 268,520"});
}

TEST_F(AccuracyStepTest, MarkersForTheTargetAndTheGaze) {
  if (ResourceBitmap(resource_id::kAccuracyMarker).isNull() ||
      ResourceBitmap(resource_id::kGazeMarker).isNull()) {
    GTEST_SKIP() << "marker bitmaps not available";
  }
  surface.fill(Qt::white);
  Step({0, 0}, false, {0, 0}, false);
  const QImage targetOnly = surface;
  auto changedIn = [](const QImage& img, QRect box) {
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
      for (int x = box.left(); x <= box.right(); ++x) {
        if (QColor(img.pixel(x, y)) != QColor(Qt::white)) ++n;
      }
    }
    return n;
  };
  EXPECT_GT(changedIn(targetOnly, QRect(42 - 8, 88 - 8, 16, 16)), 10);
  // The gaze at (512, 355) shows at (80, 60), over the caption.
  surface.fill(Qt::white);
  Step({512, 355}, true, {512, 355}, true);
  EXPECT_GT(changedIn(surface, QRect(80 - 8, 60 - 8, 16, 16)),
            changedIn(targetOnly, QRect(80 - 8, 60 - 8, 16, 16)));
}

TEST_F(AccuracyStepTest, WithoutARecordedScreenAreaNoMarkerIsDrawnAndNothingBreaks) {
  inputs.W = 0;
  inputs.H = 0;
  Step({600, 300}, true, {620, 320}, true);
  EXPECT_EQ(accumulator.Sums().count, 1);
}

TEST_F(AccuracyStepTest, SettlingLeavesOutTheFirstFramesOfEveryTargetWithinItsBounds) {
  // Whole frames only: 10 ms is shorter than a frame at 30 fps, 200 ms is six frames, and more
  // than a target's 50 frames leaves every estimate out.
  struct Case {
    int settleMs;
    int leftOutPerTarget;  // of the first target (49 steps) and each later one (50 steps)
  };
  for (const Case& c : {Case{0, 0}, Case{10, 0}, Case{34, 1}, Case{200, 6}, Case{5000, 50}}) {
    SCOPED_TRACE(c.settleMs);
    picker.Reset(12345, QSize(1024, 768));
    smoother.Reset(QSize(1024, 710));
    accumulator.Reset();
    GazeQualitySums quality;
    inputs.quality = &quality;
    inputs.settleMs = c.settleMs;
    // Targets change on steps 1, 50, 100 and 150: 149 steps over three targets.
    for (int step = 0; step < 149; ++step) Step({500, 400}, true, {500, 400}, true);
    const int leftOut = std::min(c.leftOutPerTarget, 49) + 2 * c.leftOutPerTarget;
    const AccuracySums sums = accumulator.Sums();
    EXPECT_EQ(sums.leftOut, leftOut);
    EXPECT_EQ(sums.count, 149 - leftOut);
    EXPECT_EQ(sums.settling, c.settleMs > 0);
    EXPECT_EQ(quality.Figures(1024).leftOut, leftOut);
    EXPECT_EQ(quality.Figures(1024).frames, 149 - leftOut);

    const std::string text = AccuracyLinesText(sums, 1024);
    const bool lineWritten =
        text.find("Frames left out after each new target: " + std::to_string(leftOut) + "\r\n") !=
        std::string::npos;
    // Any settling time says so, even one that leaves nothing out; none keeps the lines as
    // they were.
    EXPECT_EQ(lineWritten, c.settleMs > 0) << text;
    // Nothing left to measure is said, not shown as "nan".
    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
    if (sums.count == 0) {
      EXPECT_NE(text.find("not measured (every gaze estimate fell in the settling time)"),
                std::string::npos)
          << text;
    }
  }
  inputs.quality = nullptr;
  inputs.settleMs = 0;
}
