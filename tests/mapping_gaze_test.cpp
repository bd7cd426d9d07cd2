// Gaze as researchers read it: fixations found by I-DT in gaze tables, and the data-quality
// figures of an accuracy test.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "mapping/AccuracyMeasures.h"
#include "mapping/Fixations.h"
#include "mapping/GazeQuality.h"

using namespace pupiltrak;

namespace {

constexpr double kPeriod = 1000.0 / 30.0;
constexpr int kWidth = 1024;  // 2 degrees are some 50 px, 1 degree 25 px

// A gaze table at 30 fps, built piece by piece.
struct Table {
  std::vector<GazeSampleAt> samples;
  Table& At(double x, double y, int frames) {
    for (int i = 0; i < frames; ++i) Add(true, x, y);
    return *this;
  }
  Table& Lost(int frames) {
    for (int i = 0; i < frames; ++i) Add(false, 0, 0);
    return *this;
  }
  // From (x, y) on by (dx, dy) per frame.
  Table& Moving(double x, double y, double dx, double dy, int frames) {
    for (int i = 0; i < frames; ++i) Add(true, x + dx * i, y + dy * i);
    return *this;
  }
  // Deterministic noise of +-amplitude about (x, y), and every spikeEvery-th frame one estimate
  // far off.
  Table& Noisy(double x, double y, double amplitude, int frames, int spikeEvery = 0) {
    unsigned state = 7;
    for (int i = 0; i < frames; ++i) {
      state = state * 1103515245u + 12345u;
      const double nx = ((state >> 8) % 1000) / 999.0 * 2 - 1;
      state = state * 1103515245u + 12345u;
      const double ny = ((state >> 8) % 1000) / 999.0 * 2 - 1;
      const bool spike = spikeEvery > 0 && i % spikeEvery == spikeEvery / 2;
      Add(true, x + amplitude * nx + (spike ? 120 : 0), y + amplitude * ny);
    }
    return *this;
  }
  void Add(bool valid, double x, double y) {
    const long frame = static_cast<long>(samples.size());
    samples.push_back({frame, frame * kPeriod, valid, x, y});
  }
};

}  // namespace

TEST(FixationDetectorTest, FindsTheFixationsOfGazeTables) {
  struct Case {
    std::string name;
    Table table;
    std::vector<std::pair<long, long>> fixations;  // first and last frame of each
  };
  const std::vector<Case> cases = {
      {"steady", Table().At(500, 400, 60), {{0, 59}}},
      {"too short to be a fixation", Table().At(500, 400, 2), {}},
      {"two fixations and a saccade",
       Table().At(300, 300, 30).Moving(400, 300, 100, 0, 3).At(700, 300, 30),
       {{0, 29}, {33, 62}}},
      {"slow drift within the dispersion", Table().Moving(500, 400, 0.5, 0.25, 60), {{0, 59}}},
      {"fast drift: no fixation at all", Table().Moving(100, 400, 30, 0, 30), {}},
      {"noisy", Table().Noisy(500, 400, 10, 60), {{0, 59}}},
      {"noise with single estimates far off", Table().Noisy(500, 400, 8, 90, 30), {{0, 89}}},
      {"a blink of two frames is bridged",
       Table().At(500, 400, 20).Lost(2).At(500, 400, 38),
       {{0, 59}}},
      {"a gap of four frames ends the fixation",
       Table().At(500, 400, 20).Lost(4).At(500, 400, 36),
       {{0, 19}, {24, 59}}},
      {"a blink during the saccade",
       Table().At(300, 300, 30).Lost(2).At(700, 300, 30),
       {{0, 29}, {32, 61}}},
      {"lost gaze at the end", Table().At(500, 400, 30).Lost(30), {{0, 29}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Fixation> found =
        DetectFixations(c.table.samples, FixationParameters(), kWidth, kPeriod);
    std::vector<std::pair<long, long>> spans;
    for (const Fixation& f : found) spans.emplace_back(f.startFrame, f.endFrame);
    EXPECT_EQ(spans, c.fixations);
    for (size_t i = 0; i < found.size(); ++i) {
      const Fixation& f = found[i];
      EXPECT_EQ(f.number, static_cast<int>(i) + 1);
      EXPECT_NEAR(f.startMs, f.startFrame * kPeriod, 1e-6);
      // From the start of its first frame to the end of its last.
      EXPECT_NEAR(f.durationMs, (f.endFrame - f.startFrame + 1) * kPeriod, 1e-6);
      EXPECT_GE(f.dispersionDegrees, 0.0);
    }
  }
}

TEST(FixationDetectorTest, ReportsMeanPositionAndDispersionInDegrees) {
  // Alternating 20 px apart in x: the mean in the middle, a dispersion of 20 px.
  Table t;
  for (int i = 0; i < 30; ++i) t.At(i % 2 ? 510 : 490, 300, 1);
  const std::vector<Fixation> found =
      DetectFixations(t.samples, FixationParameters(), kWidth, kPeriod);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NEAR(found[0].x, 500, 1e-9);
  EXPECT_NEAR(found[0].y, 300, 1e-9);
  EXPECT_NEAR(found[0].dispersionDegrees, PixelsToDegrees(20, kWidth), 1e-9);
  // 20 px on a 358 mm wide screen of 1024 px at 500 mm: 0.80 degrees.
  EXPECT_NEAR(found[0].dispersionDegrees, 0.80, 0.005);
}

TEST(FixationDetectorTest, HandsEachFixationOverAsSoonAsItCannotGrowOrMerge) {
  // Online use (the gaze stream): the first fixation is known a few frames after the saccade,
  // long before the gaze ends.
  FixationDetector detector(FixationParameters(), kWidth, kPeriod);
  Table t;
  t.At(300, 300, 30).At(700, 300, 30);
  std::vector<long> handedAt;
  for (const GazeSampleAt& s : t.samples)
    detector.Add(s, [&](const Fixation&) { handedAt.push_back(s.frame); });
  ASSERT_EQ(handedAt.size(), 1u);
  EXPECT_LE(handedAt[0], 30 + 6);
  detector.Finish([&](const Fixation& f) { handedAt.push_back(f.endFrame); });
  EXPECT_EQ(handedAt.size(), 2u);
}

TEST(GazeQualityTest, AccuracyPrecisionAndDataLossByTheirDefinitions) {
  GazeQualitySums q;
  // Target 1: estimates alternating 10 px left and right of it, one frame without gaze, one
  // frame without a face.
  q.AddFrame(500, 400, true, true, 510, 400, false);
  for (int i = 1; i < 8; ++i) q.AddFrame(500, 400, false, true, i % 2 ? 490 : 510, 400, false);
  q.AddFrame(500, 400, false, false, 0, 0, false);
  q.AddLostFrame();
  // Target 2: left out for two frames, then three estimates on it.
  q.AddFrame(200, 100, true, true, 900, 900, true);
  q.AddFrame(200, 100, false, true, 900, 900, true);
  for (int i = 0; i < 3; ++i) q.AddFrame(200, 100, false, true, 200, 110, false);

  const GazeQualityFigures f = q.Figures(kWidth);
  EXPECT_EQ(f.frames, 13);
  EXPECT_EQ(f.withGaze, 11);
  EXPECT_EQ(f.leftOut, 2);
  EXPECT_EQ(f.targets, 2);
  EXPECT_NEAR(f.dataLossPercent, 100.0 * 2 / 13, 1e-9);
  // Every estimate 10 px off its target.
  EXPECT_NEAR(f.accuracyDegrees, PixelsToDegrees(10, kWidth), 1e-9);
  // Successive estimates on one target: seven steps of 20 px and two of 0 px (the jump to the
  // second target and the left-out frames are no steps).
  EXPECT_NEAR(f.precisionRmsDegrees, PixelsToDegrees(std::sqrt(7 * 400.0 / 9), kWidth), 1e-9);
  // About each target's own mean: eight estimates 10 px off it, three on it.
  EXPECT_NEAR(f.precisionSdDegrees, PixelsToDegrees(std::sqrt(8 * 100.0 / 11), kWidth), 1e-9);

  q.Reset();
  const GazeQualityFigures none = q.Figures(kWidth);
  EXPECT_EQ(none.frames, 0);
  EXPECT_TRUE(std::isnan(none.accuracyDegrees));
  EXPECT_TRUE(std::isnan(none.dataLossPercent));
}

TEST(AccuracyGeometryTest, DegreesAndPixelsAreInverse) {
  for (double deg : {0.0, 0.5, 2.0, 10.0})
    EXPECT_NEAR(PixelsToDegrees(DegreesToPixels(deg, 1280), 1280), deg, 1e-9);
  // 1 degree at 500 mm is 8.73 mm, 24.96 px of a 358 mm wide screen of 1024 px.
  EXPECT_NEAR(DegreesToPixels(1.0, 1024), 24.96, 0.01);
  EXPECT_TRUE(std::isnan(PixelsToDegrees(10, 0)));
}

TEST(SampleAccuracyTest, OnlyAccuracyEstimatesCountAgainstWhereTheUserLooked) {
  // Two accuracy targets, 3-4-5 offsets and an exact hit; calibration and unknown frames,
  // however far off, are not part of it.
  const std::vector<GazeSample> samples = {{kAccuracyPhase, {100, 100}, {103, 104}},
                                           {kAccuracyPhase, {100, 100}, {97, 96}},
                                           {kAccuracyPhase, {500, 300}, {500, 300}},
                                           {kAccuracyPhase, {500, 300}, {500, 305}},
                                           {3, {50, 50}, {900, 900}},
                                           {kNoPhase, {}, {-400, 2000}}};
  const SampleAccuracy a = MeasureSampleAccuracy(samples, kWidth);
  EXPECT_EQ(a.estimates, 4);
  EXPECT_EQ(a.targets, 2);
  EXPECT_NEAR(a.rmsPixels, std::sqrt(75.0 / 4), 1e-9);
  // As the protocol converts: 4.33 px of 1024 on 358 mm are 1.51 mm, whole millimetres, so
  // 1 mm at 500 mm.
  EXPECT_NEAR(a.rmsDegrees, 0.11459, 1e-5);

  const SampleAccuracy none = MeasureSampleAccuracy({samples[4], samples[5]}, kWidth);
  EXPECT_EQ(none.estimates, 0);
  EXPECT_EQ(none.rmsPixels, 0);
  EXPECT_EQ(MeasureSampleAccuracy(samples, 0).rmsDegrees, 0);  // no screen width, no degrees
}
