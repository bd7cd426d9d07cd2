// The least-squares fit of the gaze mapping and its report.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "calibration/CalibrationRun.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"

using namespace pupiltrak;

namespace {

// x = 30 dx - 5 dy + 512, y = 2 dx + 40 dy + 300.
double PlaneX(double dx, double dy) { return 30 * dx - 5 * dy + 512; }
double PlaneY(double dx, double dy) { return 2 * dx + 40 * dy + 300; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end in CR LF";
  return lines;
}

// A completed run on 1024 x 710 whose eye-region-1 vectors are target / 100 and whose
// eye-region-2 vectors follow a different map.
CalibrationData CompletedRun() {
  CalibrationData data;
  StartRun(data, 1024, 710);
  for (CalibrationTarget& t : data.targets) {
    for (int s = 0; s < kSlotsPerTarget; ++s) {
      t.dxL[s] = t.x / 100;
      t.dyL[s] = t.y / 100;
      t.dxR[s] = (t.x - 512) / 50;
      t.dyR[s] = (t.y - 355) / 25;
    }
  }
  data.CollectingSamples = false;
  data.CurrentTarget = 8;
  return data;
}

}  // namespace

TEST(FitLinearMappingTest, SamplesOnAPlaneGiveItsCoefficientsAndNoError) {
  std::vector<EyeVector> vectors;
  std::vector<ScreenPoint> targets;
  for (int i = 0; i < 270; ++i) {
    const double dx = (i % 9) - 4 + 0.1 * (i % 7);
    const double dy = (i / 30) - 4.5 + 0.05 * (i % 5);
    vectors.push_back({dx, dy});
    targets.push_back({PlaneX(dx, dy), PlaneY(dx, dy)});
  }
  LinearFit fit;
  ASSERT_TRUE(FitLinearMapping(vectors, targets, fit));
  EXPECT_NEAR(fit.ax, 30, 1e-9);
  EXPECT_NEAR(fit.bx, -5, 1e-9);
  EXPECT_NEAR(fit.cx, 512, 1e-8);
  EXPECT_NEAR(fit.ay, 2, 1e-9);
  EXPECT_NEAR(fit.by, 40, 1e-9);
  EXPECT_NEAR(fit.cy, 300, 1e-8);
  EXPECT_NEAR(fit.errorX, 0, 1e-6);
  EXPECT_NEAR(fit.errorY, 0, 1e-6);
}

TEST(FitLinearMappingTest, ResidualsOfTwoPixelsGiveErrorTwoWithDivisorN) {
  // Each vector appears twice, once 2 px above and once 2 px below the plane: the plane is
  // still the fit and every residual is exactly 2 (n - 3 would give 2.011).
  std::vector<EyeVector> vectors;
  std::vector<ScreenPoint> targets;
  for (int i = 0; i < 135; ++i) {
    const double dx = (i % 9) - 4;
    const double dy = (i / 15) - 4 + 0.25 * (i % 3);
    for (int sign : {1, -1}) {
      vectors.push_back({dx, dy});
      targets.push_back({PlaneX(dx, dy) + 2 * sign, PlaneY(dx, dy) - 2 * sign});
    }
  }
  LinearFit fit;
  ASSERT_TRUE(FitLinearMapping(vectors, targets, fit));
  EXPECT_NEAR(fit.ax, 30, 1e-9);
  EXPECT_NEAR(fit.errorX, 2.0, 1e-9);
  EXPECT_NEAR(fit.errorY, 2.0, 1e-9);
  EXPECT_EQ(FormatFixed2(fit.errorX), "2.00");
}

TEST(FitLinearMappingTest, IdenticalVectorsFailWithoutThrowingAndLeaveTheFitAlone) {
  // 0.5 and -0.25 are exact in binary: the library finds an exactly zero pivot and throws.
  // 1.234 and 5.678 are not: its inverse comes back as garbage, which the fit must notice too.
  for (EyeVector v : {EyeVector{0.5, -0.25}, EyeVector{1.234, 5.678}, EyeVector{-3.7, 0.1}}) {
    std::vector<EyeVector> vectors(270, v);
    std::vector<ScreenPoint> targets;
    for (int i = 0; i < 270; ++i) targets.push_back({100.0 + i, 50.0 + i});
    LinearFit fit;
    fit.ax = 7;
    std::string why;
    bool ok = true;
    EXPECT_NO_THROW(ok = FitLinearMapping(vectors, targets, fit, &why));
    EXPECT_FALSE(ok) << v.dx;
    EXPECT_NE(why.find("singular matrix"), std::string::npos) << why;
    EXPECT_EQ(fit.ax, 7);
  }
}

TEST(FitLinearMappingTest, CollinearVectorsFail) {
  std::vector<EyeVector> vectors;
  std::vector<ScreenPoint> targets;
  for (int i = 0; i < 270; ++i) {
    vectors.push_back({0.1 * i, 0.2 * i + 1});
    targets.push_back({double(i), double(2 * i)});
  }
  LinearFit fit;
  EXPECT_FALSE(FitLinearMapping(vectors, targets, fit));
}

TEST(FitLinearMappingTest, EmptyOrUnpairedSequencesFail) {
  LinearFit fit;
  EXPECT_FALSE(FitLinearMapping({}, {}, fit));
  EXPECT_FALSE(FitLinearMapping({{1, 2}, {3, 4}, {5, 7}}, {{1, 1}}, fit));
}

TEST(FitMappingFromSamplesTest, EyeRegionOneGivesTheRightEyeMapping) {
  const CalibrationData data = CompletedRun();
  const MappingFit fit = FitMappingFromSamples(data, GazeMapping::Identity());
  ASSERT_TRUE(fit.rightFitted);
  ASSERT_TRUE(fit.leftFitted);
  // Eye region 1: x = 100 dxL, y = 100 dyL.
  EXPECT_NEAR(fit.mapping.GazeRX.a, 100, 1e-6);
  EXPECT_NEAR(fit.mapping.GazeRX.b, 0, 1e-6);
  EXPECT_NEAR(fit.mapping.GazeRX.c, 0, 1e-6);
  EXPECT_NEAR(fit.mapping.GazeRY.b, 100, 1e-6);
  // Eye region 2: x = 50 dxR + 512, y = 25 dyR + 355.
  EXPECT_NEAR(fit.mapping.GazeLX.a, 50, 1e-6);
  EXPECT_NEAR(fit.mapping.GazeLX.c, 512, 1e-6);
  EXPECT_NEAR(fit.mapping.GazeLY.b, 25, 1e-6);
  EXPECT_NEAR(fit.mapping.GazeLY.c, 355, 1e-6);
}

TEST(FitMappingFromSamplesTest, SlotsZeroToNineHaveNoInfluence) {
  CalibrationData data = CompletedRun();
  const MappingFit before = FitMappingFromSamples(data, GazeMapping::Identity());
  for (CalibrationTarget& t : data.targets) {
    for (int s = 0; s < kFirstFittedSlot; ++s) {
      t.dxL[s] = 1e6 * (s + 1);
      t.dyL[s] = -1e6;
      t.dxR[s] = 12345;
      t.dyR[s] = t.dyR[s] * 1000;
    }
  }
  const MappingFit after = FitMappingFromSamples(data, GazeMapping::Identity());
  EXPECT_EQ(before.mapping.GazeRX.a, after.mapping.GazeRX.a);
  EXPECT_EQ(before.mapping.GazeRY.c, after.mapping.GazeRY.c);
  EXPECT_EQ(before.mapping.GazeLX.Error, after.mapping.GazeLX.Error);
  EXPECT_EQ(before.mapping.GazeLY.b, after.mapping.GazeLY.b);
  // The report's means leave them out as well.
  EXPECT_EQ(MappingReportText(data, after, "x"), MappingReportText(CompletedRun(), before, "x"));
}

TEST(FitMappingFromSamplesTest, AFailedEyeKeepsItsFunctionsAndTheOtherEyeIsFitted) {
  CalibrationData data = CompletedRun();
  for (CalibrationTarget& t : data.targets) {
    for (int s = 0; s < kSlotsPerTarget; ++s) {
      t.dxR[s] = 0.5;
      t.dyR[s] = -0.25;
    }
  }
  MappingFit fit;
  EXPECT_NO_THROW(fit = FitMappingFromSamples(data, GazeMapping::Identity()));
  EXPECT_TRUE(fit.rightFitted);
  EXPECT_FALSE(fit.leftFitted);
  EXPECT_EQ(fit.mapping.GazeLX.a, 1);
  EXPECT_EQ(fit.mapping.GazeLX.b, 0);
  EXPECT_EQ(fit.mapping.GazeLY.b, 1);
  EXPECT_EQ(fit.mapping.GazeLY.Error, 0);
  EXPECT_NEAR(fit.mapping.GazeRX.a, 100, 1e-6);

  const std::vector<std::string> lines =
      Lines(MappingReportText(data, fit, "No capture file selected"));
  // The left eye's block carries the failure after its two (kept) functions.
  ASSERT_EQ(lines[11], "Left eye mapping:");
  EXPECT_EQ(lines[12], "GazeLX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00");
  EXPECT_EQ(lines[13], "GazeLY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00");
  EXPECT_EQ(lines[14],
            "Fit failed (singular matrix): GazeLX and GazeLY were not fitted and keep the "
            "values above");
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[16], "Right eye mapping:");
  EXPECT_EQ(lines[19], "");
}

TEST(MappingReportTest, LinesInTheirOrderAndFormats) {
  const CalibrationData data = CompletedRun();
  MappingFit fit;
  fit.rightFitted = fit.leftFitted = true;
  fit.mapping.GazeLX = {1.005, -2.5, 3.14159, 0.004};
  fit.mapping.GazeLY = {0, 0, -0.001, 12};
  fit.mapping.GazeRX = {100, 0, 0, 1.5};
  fit.mapping.GazeRY = {0, 100, 0, 2};
  const std::vector<std::string> lines = Lines(MappingReportText(data, fit, "/home/u/a b.avi"));
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "");
  // Target 0 at (88, 88).
  EXPECT_EQ(lines[1], "Point 0:\tM(dxL) = 0.88\tM(dyL) = 0.88\tM(dxR) = -8.48\tM(dyR) = -10.68");
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(lines[1 + k].rfind("Point " + std::to_string(k) + ":\tM(dxL) = ", 0), 0u)
        << lines[1 + k];
  }
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[11], "Left eye mapping:");
  EXPECT_EQ(lines[12], "GazeLX = 1.00 * dx + -2.50 * dy + 3.14 Error = 0.00");
  EXPECT_EQ(lines[13], "GazeLY = 0.00 * dx + 0.00 * dy + -0.00 Error = 12.00");
  EXPECT_EQ(lines[14], "");
  EXPECT_EQ(lines[15], "Right eye mapping:");
  EXPECT_EQ(lines[16], "GazeRX = 100.00 * dx + 0.00 * dy + 0.00 Error = 1.50");
  EXPECT_EQ(lines[17], "GazeRY = 0.00 * dx + 100.00 * dy + 0.00 Error = 2.00");
  EXPECT_EQ(lines[18], "");
  EXPECT_EQ(lines[19], "Corresponding video file: /home/u/a b.avi");
  EXPECT_EQ(lines[20], "");
}
