// The live gaze estimate: both eyes, the smoother and the stretch about the screen centre.
#include <gtest/gtest.h>

#include <cmath>

#include "mapping/GazeMapping.h"

namespace {

void Fill(GazeSmoother& smoother, double x, double y) {
  for (int i = 0; i < GazeSmoother::kEntries; ++i) smoother.AddPoint(x, y);
}

GazeMapping WithXCoefficients(double right, double left) {
  GazeMapping m = GazeMapping::Identity();
  m.GazeRX.a = right;
  m.GazeLX.a = left;
  return m;
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

TEST(GazeSmootherTest, AJumpLeftEmptiesTheHistoryAJumpRightDoesNot) {
  GazeSmoother smoother;
  smoother.Reset(QSize(1280, 1024));  // W3 = 426
  Fill(smoother, 800, 400);
  ScreenPoint p = smoother.AddPoint(300, 400);
  EXPECT_DOUBLE_EQ(p.x, 300);
  EXPECT_DOUBLE_EQ(p.y, 400);

  smoother.Reset(QSize(1280, 1024));
  Fill(smoother, 800, 400);
  p = smoother.AddPoint(1300, 400);
  EXPECT_NEAR(p.x, 800 + 500.0 / 30, 1e-9);
  EXPECT_DOUBLE_EQ(p.y, 400);
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

TEST(StretchAboutCentreTest, FactorIsTheRootOfTheMeanCoefficientMagnitude) {
  EXPECT_DOUBLE_EQ(StretchAboutCentre(WithXCoefficients(1, 1), 700, 512, Axis::X), 700);
  // (14 + 18) / 2 = 16: factor 4, 100 px right of the centre becomes 400.
  EXPECT_DOUBLE_EQ(StretchAboutCentre(WithXCoefficients(14, 18), 612, 512, Axis::X), 912);
  EXPECT_DOUBLE_EQ(StretchAboutCentre(WithXCoefficients(14, 18), 412, 512, Axis::X), 112);
  // -4 stretches like +4: factor 2.
  EXPECT_DOUBLE_EQ(StretchAboutCentre(WithXCoefficients(-4, -4), 612, 512, Axis::X), 712);
  EXPECT_DOUBLE_EQ(StretchAboutCentre(WithXCoefficients(4, 4), 612, 512, Axis::X), 712);
  // y uses the dy coefficients of the y functions, not the x functions.
  GazeMapping m = WithXCoefficients(100, 100);
  m.GazeRY.b = 9;
  m.GazeLY.b = 9;
  EXPECT_DOUBLE_EQ(StretchAboutCentre(m, 365.5, 355.5, Axis::Y), 385.5);
}

TEST(EstimateGazeTest, OnlyBothEyesGiveAPointAndTouchTheSmoother) {
  GazeMapping m = GazeMapping::Identity();
  m.GazeRX = {1, 0, 500, 0};
  m.GazeRY = {0, 1, 300, 0};
  m.GazeLX = {1, 0, 520, 0};
  m.GazeLY = {0, 1, 320, 0};
  GazeSmoother smoother;
  smoother.Reset(QSize(1024, 710));

  GazeEstimate e = EstimateGaze(m, smoother, QSize(1024, 710), {1, 2}, true, {0, 0}, false);
  EXPECT_EQ(e.kind, GazeKind::NoEstimate);
  e = EstimateGaze(m, smoother, QSize(1024, 710), {0, 0}, false, {1, 2}, true);
  EXPECT_EQ(e.kind, GazeKind::NoEstimate);
  e = EstimateGaze(m, smoother, QSize(1024, 710), {0, 0}, false, {0, 0}, false);
  EXPECT_EQ(e.kind, GazeKind::NoEyes);
  EXPECT_DOUBLE_EQ(smoother.Smoothed().x, 0);

  // Right (501, 302), left (523, 324): the mean (512, 313), stretched by factor 1.
  e = EstimateGaze(m, smoother, QSize(1024, 710), {1, 2}, true, {3, 4}, true);
  EXPECT_EQ(e.kind, GazeKind::Point);
  EXPECT_DOUBLE_EQ(e.x, 512);
  EXPECT_DOUBLE_EQ(e.y, 313);
}

TEST(EstimateGazeTest, StretchUsesTheScreenSizeGivenForThisFrame) {
  GazeMapping m;
  m.GazeRX = {4, 0, 0, 0};
  m.GazeLX = {4, 0, 0, 0};
  m.GazeRY = {0, 1, 0, 0};
  m.GazeLY = {0, 1, 0, 0};
  GazeSmoother smoother;
  smoother.Reset(QSize(1024, 710));
  // Mapped x = 4 * 150 = 600, centre 500 on a 1000-wide screen, factor 2: 700.
  GazeEstimate e = EstimateGaze(m, smoother, QSize(1000, 700), {150, 100}, true, {150, 100}, true);
  EXPECT_DOUBLE_EQ(e.x, 700);
  EXPECT_DOUBLE_EQ(e.y, 100);
  // The same point on a 1200-wide screen: centre 600, no stretch left.
  e = EstimateGaze(m, smoother, QSize(1200, 700), {150, 100}, true, {150, 100}, true);
  EXPECT_DOUBLE_EQ(e.x, 600);
}

TEST(GazeMappingStoreTest, ProgramStartIsZeroAndTheCalibrationStartIsTheIdentity) {
  ResetGazeMappingToProgramStart();
  GazeMapping m = SharedGazeMapping().Get();
  EXPECT_EQ(m.GazeRX.a, 0);
  EXPECT_EQ(m.GazeLY.b, 0);
  ResetGazeMapping();
  m = SharedGazeMapping().Get();
  EXPECT_EQ(m.GazeRX.a, 1);
  EXPECT_EQ(m.GazeRX.b, 0);
  EXPECT_EQ(m.GazeLX.a, 1);
  EXPECT_EQ(m.GazeRY.a, 0);
  EXPECT_EQ(m.GazeRY.b, 1);
  EXPECT_EQ(m.GazeLY.b, 1);
  EXPECT_EQ(m.GazeLY.c, 0);
  EXPECT_EQ(m.GazeLY.Error, 0);
  ResetGazeMappingToProgramStart();
}
