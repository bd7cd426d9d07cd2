// The gaze pictures: where the heat map is hot, what the accuracy picture marks, the scan
// path's circles, and the files they are written to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <opencv2/imgcodecs.hpp>

#include "display/GazePictures.h"

using namespace pupiltrak;

namespace {

const cv::Point kOrigin(40, 40);  // the screen's corner in every picture
const cv::Vec3b kDarkScreen(16, 16, 16);
const cv::Vec3b kPathColour(80, 220, 255);

cv::Vec3b At(const cv::Mat& picture, cv::Point2d onScreen, double scale = 1.0) {
  return picture.at<cv::Vec3b>(kOrigin + cv::Point(static_cast<int>(onScreen.x * scale),
                                                   static_cast<int>(onScreen.y * scale)));
}

int Brightness(cv::Vec3b c) { return c[0] + c[1] + c[2]; }

// The first pixel of the path's colour below a fixation's centre: its circle (the path
// leaves sideways, the number up and to the right).
int RingRadius(const cv::Mat& picture, cv::Point2d centre) {
  for (int r = 1; r < 60; ++r)
    if (At(picture, centre + cv::Point2d(0, r)) == kPathColour) return r;
  return -1;
}

}  // namespace

TEST(GazePictures, HeatMapIsHotWhereTheGazeDwelledAndLeavesTheRestDark) {
  const cv::Size screen(800, 600);
  std::vector<cv::Point2d> gaze(200, cv::Point2d(300, 200));
  gaze.insert(gaze.end(), 20, cv::Point2d(700, 500));
  const cv::Mat onScreen = DrawGazeHeatMap(screen, gaze);
  ASSERT_EQ(onScreen.size(), cv::Size(800 + 80, 600 + 80));
  EXPECT_GT(Brightness(At(onScreen, {300, 200})), Brightness(At(onScreen, {700, 500})));
  EXPECT_NE(At(onScreen, {700, 500}), kDarkScreen) << "a short dwell still shows";
  EXPECT_EQ(At(onScreen, {100, 550}), kDarkScreen) << "where nobody looked stays dark";

  // Points off the screen or not finite change only the caption, not the screen.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (cv::Point2d off : {cv::Point2d(-5, 10), cv::Point2d(2000, 10), cv::Point2d(10, 600),
                          cv::Point2d(nan, 10), cv::Point2d(10, INFINITY)})
    gaze.push_back(off);
  const cv::Mat withOff = DrawGazeHeatMap(screen, gaze);
  const cv::Rect inner(kOrigin, screen);
  EXPECT_EQ(cv::norm(withOff(inner), onScreen(inner), cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(withOff, onScreen, cv::NORM_INF), 0) << "the caption counts them";

  // A large screen is drawn at most 1000 pixels wide, the gaze scaled with it.
  const cv::Mat large = DrawGazeHeatMap({2000, 1000}, {200, cv::Point2d(1500, 250)});
  ASSERT_EQ(large.size(), cv::Size(1000 + 80, 500 + 80));
  EXPECT_NE(At(large, {1500, 250}, 0.5), kDarkScreen);
  EXPECT_EQ(At(large, {500, 750}, 0.5), kDarkScreen);
}

TEST(GazePictures, AccuracyPictureColoursEachTargetsEstimatesAndMarksItsMean) {
  const cv::Size screen(800, 600);
  const std::vector<cv::Point2d> calibration = {{100, 100}, {400, 100}, {700, 100}};
  std::vector<GazeSample> samples;
  // Two accuracy targets, each with estimates spread left and right of their mean.
  for (int k = 0; k < 2; ++k) {
    const cv::Point2d target(250 + 300 * k, 400), mean = target + cv::Point2d(40, 30);
    for (int dx : {-30, 30}) samples.push_back({kAccuracyPhase, target, mean + cv::Point2d(dx, 0)});
  }
  samples.push_back({kNoPhase, {}, {600, 520}});  // no target known: not drawn
  const cv::Mat picture = DrawAccuracyPicture(screen, calibration, samples, AccuracyFigure{});
  ASSERT_EQ(picture.size(), cv::Size(800 + 80, 600 + 80));

  for (int k = 0; k < 2; ++k) {
    const cv::Point2d target(250 + 300 * k, 400), mean = target + cv::Point2d(40, 30);
    const cv::Vec3b dot = At(picture, mean + cv::Point2d(-30, 0));
    EXPECT_NE(dot, kDarkScreen);
    EXPECT_EQ(At(picture, mean + cv::Point2d(30, 0)), dot) << "one colour per target";
    EXPECT_EQ(At(picture, mean), dot) << "the mean, in the target's colour";
    EXPECT_EQ(At(picture, (target + mean) * 0.5), dot) << "joined to its target";
  }
  EXPECT_NE(At(picture, {260, 430}), At(picture, {560, 430})) << "two targets, two colours";
  EXPECT_EQ(At(picture, {600, 520}), kDarkScreen);
  for (const cv::Point2d& t : calibration)
    EXPECT_NE(At(picture, t + cv::Point2d(8, 0)), kDarkScreen) << "calibration target " << t;
}

TEST(GazePictures, ScanPathCirclesGrowWithTheFixationsDurationUpToASecond) {
  const cv::Size screen(800, 600);
  cv::Mat picture = DrawGazeHeatMap(screen, {});
  std::vector<Fixation> fixations;
  const double durations[] = {100, 500, 1000, 5000};
  for (int i = 0; i < 4; ++i) {
    Fixation f;
    f.number = i + 1;
    f.x = 100 + 200 * i;
    f.y = 300;
    f.durationMs = durations[i];
    fixations.push_back(f);
  }
  DrawScanPath(picture, screen, fixations);
  int radius[4];
  for (int i = 0; i < 4; ++i) {
    const cv::Point2d centre(fixations[i].x, fixations[i].y);
    radius[i] = RingRadius(picture, centre);
    EXPECT_GT(radius[i], 0) << durations[i] << " ms";
    EXPECT_EQ(At(picture, centre + cv::Point2d(0, 3)), kDarkScreen) << "a ring, not a disc";
  }
  EXPECT_LT(radius[0], radius[1]);
  EXPECT_LT(radius[1], radius[2]);
  EXPECT_EQ(radius[2], radius[3]) << "longer than a second draws a second's circle";
  // Joined in order: the line between the first two passes through their midpoint.
  EXPECT_NE(At(picture, {200, 300}), kDarkScreen);
}

TEST(GazePictures, WrittenAsPngOrNamedWhenItCannotBe) {
  const cv::Mat picture = DrawGazeHeatMap({320, 240}, {10, cv::Point2d(100, 100)});
  const std::string dir = testing::TempDir() + "gazepictures_" + std::to_string(::getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  std::string error;
  ASSERT_TRUE(WritePicture(dir + "/gaze.png", picture, &error)) << error;
  EXPECT_EQ(cv::norm(cv::imread(dir + "/gaze.png"), picture, cv::NORM_INF), 0);
  EXPECT_FALSE(WritePicture(dir + "/missing/gaze.png", picture, &error));
  EXPECT_EQ(error, "cannot write the picture " + dir + "/missing/gaze.png");
}
