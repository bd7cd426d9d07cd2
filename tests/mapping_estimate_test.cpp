// The live gaze estimate: both eyes and the smoother.
#include <gtest/gtest.h>

#include <cmath>

#include "mapping/GazeMapping.h"

using namespace pupiltrak;

namespace {

void Fill(GazeSmoother& smoother, double x, double y) {
  for (int i = 0; i < GazeSmoother::kEntries; ++i) smoother.AddPoint(x, y);
}

}  // namespace

TEST(GazeSmootherTest, FirstPointAfterAResetIsTheSmoothedPoint) {
  GazeSmoother smoother;
  smoother.Reset(QSize(1280, 1024));
  ScreenPoint p = smoother.AddPoint(640.5, 301.25);
  EXPECT_DOUBLE_EQ(p.x, 640.5);
  EXPECT_DOUBLE_EQ(p.y, 301.25);
  p = smoother.AddPoint(660.5, 321.25);
  EXPECT_DOUBLE_EQ(p.x, 650.5);
  EXPECT_DOUBLE_EQ(p.y, 311.25);
}

TEST(GazeSmootherTest, AJumpOfMoreThanAThirdInAnyDirectionEmptiesTheHistory) {
  // Steady at (640, 512) on 1280 x 1024 (W3 = 426, H3 = 341), then one point far away.
  const struct {
    double x, y;
  } jumps[] = {{100, 512}, {1100, 512}, {640, 100}, {640, 900}, {1200, 1000}, {50, 60}};
  for (const auto& j : jumps) {
    GazeSmoother smoother;
    smoother.Reset(QSize(1280, 1024));
    Fill(smoother, 640, 512);
    const ScreenPoint p = smoother.AddPoint(j.x, j.y);
    EXPECT_DOUBLE_EQ(p.x, j.x) << j.x << ", " << j.y;
    EXPECT_DOUBLE_EQ(p.y, j.y) << j.x << ", " << j.y;
  }
}

TEST(GazeSmootherTest, TheThirdIsAStrictIntegerBound) {
  GazeSmoother smoother;
  smoother.Reset(QSize(1280, 1024));  // W3 = 426, H3 = 341
  Fill(smoother, 800, 400);
  // 426 to the left is not more than a third: averaged in.
  EXPECT_NEAR(smoother.AddPoint(374, 400).x, (29 * 800 + 374) / 30.0, 1e-9);

  smoother.Reset(QSize(1280, 1024));
  Fill(smoother, 800, 500);
  // 342 upwards is: the history starts again.
  EXPECT_DOUBLE_EQ(smoother.AddPoint(800, 158).y, 158);
}

TEST(GazeSmootherTest, EntriesOnAnAxisAddToTheSumButAreNotCounted) {
  GazeSmoother smoother;
  smoother.Reset(QSize(1280, 1024));
  smoother.AddPoint(100, 200);
  ScreenPoint p = smoother.AddPoint(0, 100);  // sums 100, 300 over one counted entry
  EXPECT_DOUBLE_EQ(p.x, 100);
  EXPECT_DOUBLE_EQ(p.y, 300);
}

TEST(GazeSmootherTest, NoCountedEntryGivesTheNewPointItself) {
  GazeSmoother smoother;
  smoother.Reset(QSize(1280, 1024));
  ScreenPoint p = smoother.AddPoint(0, 250);
  EXPECT_DOUBLE_EQ(p.x, 0);
  EXPECT_DOUBLE_EQ(p.y, 250);
  p = smoother.AddPoint(37, 0);
  EXPECT_DOUBLE_EQ(p.x, 37);
  EXPECT_DOUBLE_EQ(p.y, 0);
  EXPECT_TRUE(std::isfinite(smoother.Smoothed().x));
}

TEST(GazeSmootherTest, ResetForgetsTheHistory) {
  GazeSmoother smoother;
  smoother.Reset(QSize(1280, 1024));
  Fill(smoother, 800, 400);
  smoother.Reset(QSize(1280, 1024));
  EXPECT_DOUBLE_EQ(smoother.Smoothed().x, 0);
  EXPECT_DOUBLE_EQ(smoother.AddPoint(900, 450).x, 900);
}

TEST(EstimateGazeTest, OnlyBothEyesGiveAPointAndTouchTheSmoother) {
  GazeMapping m = GazeMapping::Identity();
  m.GazeRX = {1, 0, 500, 0};
  m.GazeRY = {0, 1, 300, 0};
  m.GazeLX = {1, 0, 520, 0};
  m.GazeLY = {0, 1, 320, 0};
  GazeSmoother smoother;
  smoother.Reset(QSize(1024, 710));

  GazeEstimate e = EstimateGaze(m, smoother, {1, 2}, true, {0, 0}, false);
  EXPECT_EQ(e.kind, GazeKind::NoEstimate);
  e = EstimateGaze(m, smoother, {0, 0}, false, {1, 2}, true);
  EXPECT_EQ(e.kind, GazeKind::NoEstimate);
  e = EstimateGaze(m, smoother, {0, 0}, false, {0, 0}, false);
  EXPECT_EQ(e.kind, GazeKind::NoEyes);
  EXPECT_DOUBLE_EQ(smoother.Smoothed().x, 0);

  // Right (501, 302), left (523, 324): the mean (512, 313).
  e = EstimateGaze(m, smoother, {1, 2}, true, {3, 4}, true);
  EXPECT_EQ(e.kind, GazeKind::Point);
  EXPECT_DOUBLE_EQ(e.x, 512);
  EXPECT_DOUBLE_EQ(e.y, 313);
}

TEST(EstimateGazeTest, AnExactMappingGivesTheTargetFromTheFirstFrameAfterAJump) {
  // Eye vectors of 1/40 px per degree with an offset: the fit a perfect calibration makes.
  GazeMapping m;
  m.GazeRX = {40, 0, 512, 0};
  m.GazeRY = {0, 40, 355, 0};
  m.GazeLX = {40, 0, 512, 0};
  m.GazeLY = {0, 40, 355, 0};
  GazeSmoother smoother;
  smoother.Reset(QSize(1024, 710));
  // Targets 500 px and more apart, as the accuracy test picks them, in every direction.
  const double targets[][2] = {{200, 150}, {800, 600}, {150, 600}, {900, 120}, {400, 650}};
  for (const auto& t : targets) {
    const EyeVector eye{(t[0] - 512) / 40, (t[1] - 355) / 40};
    for (int frame = 0; frame < 50; ++frame) {
      const GazeEstimate e = EstimateGaze(m, smoother, eye, true, eye, true);
      ASSERT_EQ(e.kind, GazeKind::Point);
      EXPECT_NEAR(e.x, t[0], 1e-9) << "frame " << frame;
      EXPECT_NEAR(e.y, t[1], 1e-9) << "frame " << frame;
    }
  }
}

TEST(GazeMappingStoreTest, ProgramStartIsZeroAndTheCalibrationStartIsTheIdentity) {
  GazeMappingStore store;
  GazeMapping m = store.Get();
  EXPECT_EQ(m.GazeRX.a, 0);
  EXPECT_EQ(m.GazeLY.b, 0);
  store.Set(GazeMapping::Identity());
  m = store.Get();
  EXPECT_EQ(m.GazeRX.a, 1);
  EXPECT_EQ(m.GazeRX.b, 0);
  EXPECT_EQ(m.GazeLX.a, 1);
  EXPECT_EQ(m.GazeRY.a, 0);
  EXPECT_EQ(m.GazeRY.b, 1);
  EXPECT_EQ(m.GazeLY.b, 1);
  EXPECT_EQ(m.GazeLY.c, 0);
  EXPECT_EQ(m.GazeLY.Error, 0);
}
