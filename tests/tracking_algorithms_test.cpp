// Eye regions, the small image, the jump filter, the circle search, the bright spot and the
// eye-vector angles: the places where rounding and buffer edges go subtly wrong.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <opencv2/imgproc.hpp>

#include "capture/TrackerSession.h"
#include "platform/Machine.h"
#include "tracking/EyeRegions.h"
#include "tracking/EyeVector.h"
#include "tracking/FaceDetection.h"
#include "tracking/FrameResults.h"
#include "tracking/PupilFinder.h"

using namespace pupiltrak;

namespace {

void ExpectFour(const int* v, int a, int b, int c, int d) {
  EXPECT_EQ(v[0], a);
  EXPECT_EQ(v[1], b);
  EXPECT_EQ(v[2], c);
  EXPECT_EQ(v[3], d);
}

TEST(EyeRegionsTest, WorkedExampleRoundsTiesToEven) {
  EyeRegions r;
  r.Compute(80, 40, 180, 140, 1.3);
  ExpectFour(r.corners1, 90, 65, 129, 90);
  ExpectFour(r.corners2, 131, 65, 170, 90);
  ExpectFour(r.rect1, 90, 65, 39, 25);
  ExpectFour(r.rect2, 131, 65, 39, 25);
  ExpectFour(r.scaledCorners1, 117, 84, 168, 117);
  ExpectFour(r.scaledCorners2, 170, 84, 221, 117);
  // 84.5 and 32.5 go to the even neighbour: the cut rectangle ends at row 115, the drawn one
  // reaches row 117.
  ExpectFour(r.scaledRect1, 117, 84, 51, 32);
  ExpectFour(r.scaledRect2, 170, 84, 51, 32);
  EXPECT_EQ(r.FrameRect(1), cv::Rect(117, 84, 51, 32));
  EXPECT_EQ(r.FrameRect(2), cv::Rect(170, 84, 51, 32));
}

TEST(EyeRegionsTest, RegionsNeverOverlapAndKeepTheirProportions) {
  for (int w = 1; w <= 400; ++w) {
    EyeRegions r;
    r.Compute(7, 3, 7 + w, 3 + w, 1.3);
    EXPECT_LE(r.corners1[2], r.corners2[0]) << "w = " << w;
    EXPECT_LE(r.corners1[0], r.corners1[2]);
    EXPECT_LE(r.corners2[2], 7 + w);
    EXPECT_EQ(r.corners1[1], r.corners2[1]);
    EXPECT_EQ(r.corners1[3], r.corners2[3]);
  }
}

TEST(EyeRegionsTest, DrawsBothRegionsBottomUp) {
  EyeRegions r;
  r.Compute(80, 40, 180, 140, 1.3);
  cv::Mat image = cv::Mat::zeros(250, 300, CV_8UC3);
  r.Draw(image, image.rows, cv::Scalar(255, 0, 0));
  const cv::Vec3b blue(255, 0, 0);
  // Corners (117, 84) and (221, 117) land at rows 250 - 84 and 250 - 117.
  EXPECT_EQ(image.at<cv::Vec3b>(250 - 84, 117), blue);
  EXPECT_EQ(image.at<cv::Vec3b>(250 - 117, 168), blue);
  EXPECT_EQ(image.at<cv::Vec3b>(250 - 84, 221), blue);
  EXPECT_EQ(image.at<cv::Vec3b>(250 - 100, 190), cv::Vec3b(0, 0, 0));  // inside region 2
  EXPECT_EQ(image.at<cv::Vec3b>(84, 117), cv::Vec3b(0, 0, 0));         // not top-down
}

TEST(FaceDetectionTest, ToBottomUpFlipsRowsOnly) {
  EXPECT_EQ(ToBottomUp(5, 10, 100), cv::Point(5, 90));
  EXPECT_EQ(ToBottomUp(0, 0, 480), cv::Point(0, 480));
}

TEST(FaceDetectionTest, SmallImageIsOneOverOnePointThree) {
  EXPECT_EQ(SmallImageSize(320, 240), cv::Size(246, 185));
  EXPECT_EQ(SmallImageSize(640, 480), cv::Size(492, 369));
  EXPECT_EQ(SmallImageSize(1280, 720), cv::Size(985, 554));
  EXPECT_EQ(SmallImageSize(13, 1), cv::Size(10, 1));
  EXPECT_EQ(SmallImageSize(0, 0), cv::Size(0, 0));
}

TEST(FaceDetectionTest, FaceRectScalesEachCornerWithTiesToEven) {
  int r[4];
  ScaleFaceRect(FaceBox{80, 40, 180, 140}, r);
  ExpectFour(r, 104, 52, 234, 182);
  // 6.5, 19.5, 32.5 and 45.5 go to the even neighbour.
  ScaleFaceRect(FaceBox{5, 15, 25, 35}, r);
  ExpectFour(r, 6, 20, 32, 46);
}

TEST(FaceDetectionTest, SmallGreyIsEqualisedAndSized) {
  cv::Mat frame(48, 64, CV_8UC3);
  for (int y = 0; y < frame.rows; ++y)
    for (int x = 0; x < frame.cols; ++x)
      frame.at<cv::Vec3b>(y, x) = cv::Vec3b(60 + x / 4, 60 + x / 4, 60 + y / 4);
  cv::Mat grey, small;
  MakeSmallGrey(frame, grey, small);
  EXPECT_EQ(grey.size(), frame.size());
  EXPECT_EQ(small.size(), SmallImageSize(64, 48));
  double lo = 0, hi = 0;
  cv::minMaxLoc(small, &lo, &hi);
  EXPECT_EQ(hi, 255);  // equalised: the narrow input range is spread to the top
}

// --- PointHistory ---

TEST(PointHistoryTest, FirstTenPassUnfilteredWhateverTheyAre) {
  PointHistory h;
  int x = 0, y = 0;
  for (int i = 0; i < 10; ++i) {
    h.Filter(i * 37, 100 - i * 11, &x, &y);
    EXPECT_EQ(x, i * 37);
    EXPECT_EQ(y, 100 - i * 11);
  }
  EXPECT_EQ(h.count, 10);
  EXPECT_EQ(h.entries[0][0], 0);
  EXPECT_EQ(h.entries[9][0], 9 * 37);
}

TEST(PointHistoryTest, ElevenIdenticalThenAJumpIsReplacedByTheMean) {
  PointHistory h;
  int x = 0, y = 0;
  for (int i = 0; i < 11; ++i) h.Filter(50, 30, &x, &y);
  // The eleventh equals the mean: returned as is.
  EXPECT_EQ(x, 50);
  EXPECT_EQ(y, 30);
  EXPECT_EQ(h.deviation[0], 0.0);
  // Three pixels away with no spread: replaced by the mean, yet it enters the history.
  h.Filter(53, 30, &x, &y);
  EXPECT_EQ(x, 50);
  EXPECT_EQ(y, 30);
  EXPECT_EQ(h.entries[9][0], 53);
  EXPECT_EQ(h.count, 12);
}

TEST(PointHistoryTest, PointsWithinTwoDeviationsPass) {
  PointHistory h;
  int x = 0, y = 0;
  for (int i = 0; i < 5; ++i) {
    h.Filter(50, 30, &x, &y);
    h.Filter(52, 32, &x, &y);
  }
  h.Filter(52, 32, &x, &y);  // mean (51, 31), deviation 1 on both axes
  EXPECT_EQ(h.mean[0], 51);
  EXPECT_DOUBLE_EQ(h.deviation[0], 1.0);
  EXPECT_EQ(x, 52);
  EXPECT_EQ(y, 32);
  h.Filter(54, 31, &x, &y);  // three away in x: two deviations or more
  EXPECT_EQ(x, h.mean[0]);
  EXPECT_EQ(y, h.mean[1]);
}

TEST(PointHistoryTest, ZeroCoordinatesCountInTheMeanButNotInTheSpread) {
  PointHistory h;
  int x = 0, y = 0;
  for (int i = 0; i < 5; ++i) h.Filter(0, 18, &x, &y);
  for (int i = 0; i < 5; ++i) h.Filter(10, 22, &x, &y);
  h.Filter(5, 23, &x, &y);
  EXPECT_EQ(h.mean[0], 5);
  EXPECT_EQ(h.mean[1], 20);
  // Only the five (10, 22) entries are summed; the factor stays 0.1.
  EXPECT_DOUBLE_EQ(h.deviation[0], std::sqrt(0.1 * 5 * 25));
  EXPECT_DOUBLE_EQ(h.deviation[1], std::sqrt(0.1 * 5 * 4));
  // |23 - 20| = 3 >= 2 * sqrt(2): the mean. (Counting the zero entries too would let it pass.)
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 20);
}

TEST(PointHistoryTest, MeanRoundsTiesToEven) {
  PointHistory h;
  int x = 0, y = 0;
  // Sum of x 125: 12.5 -> 12; sum of y 135: 13.5 -> 14.
  for (int i = 0; i < 5; ++i) h.Filter(12, 13, &x, &y);
  for (int i = 0; i < 5; ++i) h.Filter(13, 14, &x, &y);
  h.Filter(12, 14, &x, &y);
  EXPECT_EQ(h.mean[0], 12);
  EXPECT_EQ(h.mean[1], 14);
}

TEST(PointHistoryTest, ResetEmptiesEverything) {
  PointHistory h;
  int x = 0, y = 0;
  for (int i = 0; i < 12; ++i) h.Filter(4, 4, &x, &y);
  h.Reset();
  EXPECT_EQ(h.count, 0);
  EXPECT_EQ(h.mean[0], 0);
  EXPECT_EQ(h.deviation[1], 0.0);
  EXPECT_EQ(h.entries[9][0], 0);
  h.Filter(90, 90, &x, &y);  // unfiltered again
  EXPECT_EQ(x, 90);
}

TEST(PointHistoryTest, TheSessionsHistoriesAreSeparateAndResetAtANewRun) {
  FixedMachine machine;
  TrackerSession session(Platform{nullptr, &machine});
  int x = 0, y = 0;
  session.histories[0].Filter(1, 1, &x, &y);
  EXPECT_EQ(session.histories[0].count, 1);
  EXPECT_EQ(session.histories[1].count, 0);
  session.ResetForNewRun();
  EXPECT_EQ(session.histories[0].count, 0);
}

// --- Z channel ---

TEST(ExtractZChannelTest, CopiesTheThirdChannel) {
  cv::Mat xyz(3, 4, CV_8UC3, cv::Scalar(1, 2, 3));
  xyz.at<cv::Vec3b>(2, 3) = cv::Vec3b(7, 8, 9);
  cv::Mat z;
  ExtractZChannel(xyz, z);
  ASSERT_EQ(z.type(), CV_8UC1);
  EXPECT_EQ(z.size(), xyz.size());
  EXPECT_EQ(z.at<uchar>(0, 0), 3);
  EXPECT_EQ(z.at<uchar>(2, 3), 9);
}

TEST(ExtractZChannelTest, LeavesTheTargetAloneForOtherSources) {
  cv::Mat grey(3, 4, CV_8UC1, cv::Scalar(5));
  cv::Mat z(3, 4, CV_8UC1, cv::Scalar(77));
  ExtractZChannel(grey, z);
  EXPECT_EQ(cv::countNonZero(z != 77), 0);
}

// --- circle search ---

cv::Mat DiscImage(cv::Point2f centre, float radius, bool glint) {
  cv::Mat image(60, 100, CV_8UC1, cv::Scalar(170));
  cv::circle(image, cv::Point(cvRound(centre.x * 16), cvRound(centre.y * 16)), cvRound(radius * 16),
             cv::Scalar(20), cv::FILLED, cv::LINE_AA, 4);
  if (glint)
    cv::circle(image, cv::Point(cvRound(centre.x) + 3, cvRound(centre.y) - 2), 2, cv::Scalar(255),
               cv::FILLED);
  return image;
}

TEST(CircleSearchTest, FindsTheDiscAndTheRadiusOfItsRingNotOfTheGlint) {
  CircleScratch scratch;
  cv::Vec3f c;
  ASSERT_TRUE(
      FindStrongestCircle(DiscImage({40.3f, 30.7f}, 12, true), 1.0, 30, 60, 30, scratch, &c));
  EXPECT_NEAR(c[0], 40.3, 1.0);
  EXPECT_NEAR(c[1], 30.7, 1.0);
  EXPECT_NEAR(c[2], 12.0, 1.5);
}

TEST(CircleSearchTest, ThresholdsOfZeroFindNothingAndDoNotThrow) {
  CircleScratch scratch;
  cv::Vec3f c;
  const cv::Mat image = DiscImage({50, 30}, 10, false);
  EXPECT_FALSE(FindStrongestCircle(image, 2.0, 30, 0, 0, scratch, &c));
  EXPECT_FALSE(FindStrongestCircle(image, 2.0, 30, 60, 0, scratch, &c));
  EXPECT_FALSE(FindStrongestCircle(image, 2.0, 0, 60, 30, scratch, &c));
  EXPECT_FALSE(FindStrongestCircle(cv::Mat(), 2.0, 30, 60, 30, scratch, &c));
}

TEST(CircleSearchTest, AFlatImageHasNoCircle) {
  CircleScratch scratch;
  cv::Vec3f c;
  EXPECT_FALSE(
      FindStrongestCircle(cv::Mat(60, 100, CV_8UC1, cv::Scalar(90)), 1.0, 30, 60, 30, scratch, &c));
}

TEST(CircleSearchTest, DensestRingNeedsMoreThanTheThreshold) {
  std::vector<cv::Point> points;
  for (int i = 0; i < 60; ++i) {
    const double a = 2 * M_PI * i / 60;
    points.emplace_back(cvRound(50 + 10 * std::cos(a)), cvRound(30 + 10 * std::sin(a)));
  }
  for (int i = 0; i < 4; ++i) {  // 16 points two away: a denser ring than the outer one
    points.emplace_back(52, 30);
    points.emplace_back(48, 30);
    points.emplace_back(50, 32);
    points.emplace_back(50, 28);
  }
  std::vector<float> scratch;
  float r = 0;
  int n = 0;
  // The small ring is denser, but only the large one holds more than 30 points.
  ASSERT_TRUE(DensestRing(points, 50, 30, 1, 100, 30, scratch, &r, &n));
  EXPECT_NEAR(r, 10, 0.6);
  EXPECT_GT(n, 30);
  ASSERT_TRUE(DensestRing(points, 50, 30, 1, 100, 5, scratch, &r, &n));
  EXPECT_NEAR(r, 2, 0.6);
  EXPECT_FALSE(DensestRing(points, 50, 30, 1, 100, 200, scratch, &r, &n));
}

TEST(CircleSearchTest, DensestRingSortsThousandsOfDistancesExactly) {
  // Edge maps of real eye regions give thousands of points: the distances come out in exactly
  // the order a comparison sort gives them, ties, zero distance and the far edge included.
  cv::RNG rng(8);
  for (int round = 0; round < 20; ++round) {
    std::vector<cv::Point> points;
    const int n = 64 + rng.uniform(0, 6000);
    for (int i = 0; i < n; ++i) points.emplace_back(rng.uniform(0, 200), rng.uniform(0, 120));
    points.emplace_back(100, 60);  // on the centre
    const float cx = round % 2 ? 100.0f : 100.25f, cy = 60.0f;
    std::vector<float> expected;
    for (const cv::Point& p : points) {
      const float dx = static_cast<float>(p.x) - cx, dy = static_cast<float>(p.y) - cy;
      const float r2 = dx * dx + dy * dy;
      if (r2 <= 150.0f * 150.0f) expected.push_back(std::sqrt(r2));
    }
    std::sort(expected.begin(), expected.end());
    std::vector<float> distances;
    float r = 0;
    int count = 0;
    DensestRing(points, cx, cy, 1.0f, 150.0f, 3, distances, &r, &count);
    ASSERT_EQ(distances.size(), expected.size());
    ASSERT_EQ(std::memcmp(distances.data(), expected.data(), expected.size() * sizeof(float)), 0)
        << "round " << round;
  }
}

TEST(InsideImageTest, OnlyRectanglesTheImageCanSupplyInFull) {
  const cv::Mat image(30, 40, CV_8UC3);
  EXPECT_TRUE(InsideImage(cv::Rect(0, 0, 40, 30), image));
  EXPECT_FALSE(InsideImage(cv::Rect(-1, 0, 10, 10), image));
  EXPECT_FALSE(InsideImage(cv::Rect(31, 0, 10, 10), image));
  EXPECT_FALSE(InsideImage(cv::Rect(0, 21, 10, 10), image));
  EXPECT_FALSE(InsideImage(cv::Rect(5, 5, 0, 10), image));
}

// --- bright spot and eye vector ---

cv::Mat Zoom() { return cv::Mat::zeros(60, 100, CV_8UC1); }

TEST(FindBrightSpotTest, NothingBrightStaysAtTheOriginUnlessANeighbourIsBrighter) {
  cv::Mat z = Zoom();
  EXPECT_EQ(FindBrightSpot(z, 50, 30, 5), cv::Point2f(0, 0));
  // Bright pixels outside the search radius only move the origin by half a pixel.
  z.at<uchar>(0, 1) = 9;  // right of the origin
  z.at<uchar>(1, 0) = 7;  // below it
  const cv::Point2f b = FindBrightSpot(z, 50, 30, 5);
  EXPECT_EQ(b, cv::Point2f(0.5f, 0.5f));
  EXPECT_DOUBLE_EQ(OffsetToDegrees(ScaleOffset(50 - b.x)), 90.00000010283999);
  EXPECT_DOUBLE_EQ(OffsetToDegrees(ScaleOffset(b.y - 30)), -90.00000010283999);
}

TEST(FindBrightSpotTest, FirstInRowOrderWinsAmongEquals) {
  cv::Mat z = Zoom();
  z.at<uchar>(28, 52) = 200;
  z.at<uchar>(29, 48) = 200;
  EXPECT_EQ(FindBrightSpot(z, 50, 30, 5), cv::Point2f(52, 28));
}

TEST(FindBrightSpotTest, TheSearchRadiusIsStrict) {
  cv::Mat z = Zoom();
  z.at<uchar>(30, 55) = 250;  // exactly 5 away
  z.at<uchar>(30, 53) = 100;
  EXPECT_EQ(FindBrightSpot(z, 50, 30, 5), cv::Point2f(53, 30));
}

TEST(FindBrightSpotTest, HalfPixelTowardTheBrighterNeighbour) {
  cv::Mat z = Zoom();
  z.at<uchar>(30, 50) = 200;
  z.at<uchar>(30, 49) = 90;  // left brighter than right
  z.at<uchar>(31, 50) = 80;  // below brighter than above
  EXPECT_EQ(FindBrightSpot(z, 50, 30, 5), cv::Point2f(49.5f, 30.5f));
  z.at<uchar>(30, 51) = 90;  // equal neighbours leave the column
  EXPECT_EQ(FindBrightSpot(z, 50, 30, 5), cv::Point2f(50, 30.5f));
}

TEST(FindBrightSpotTest, LeftOfColumnZeroIsTheLastPixelOfTheRowAbove) {
  cv::Mat z = Zoom();
  z.at<uchar>(5, 0) = 250;
  z.at<uchar>(4, 99) = 200;  // flat-buffer left neighbour
  z.at<uchar>(5, 1) = 100;   // right neighbour
  EXPECT_EQ(FindBrightSpot(z, 0, 5, 3), cv::Point2f(-0.5f, 5.0f));
}

TEST(FindBrightSpotTest, RightOfTheLastColumnIsTheFirstPixelOfTheRowBelow) {
  cv::Mat z = Zoom();
  z.at<uchar>(5, 99) = 250;
  z.at<uchar>(5, 98) = 100;
  z.at<uchar>(6, 0) = 150;
  EXPECT_EQ(FindBrightSpot(z, 99, 5, 3), cv::Point2f(99.5f, 5.0f));
}

TEST(FindBrightSpotTest, NeighboursOutsideTheBufferCountAsZero) {
  cv::Mat z = Zoom();
  z.at<uchar>(0, 10) = 250;  // top row: the pixel above is outside
  z.at<uchar>(1, 10) = 50;
  EXPECT_EQ(FindBrightSpot(z, 10, 0, 3), cv::Point2f(10, 0.5f));
  z = Zoom();
  z.at<uchar>(59, 10) = 250;  // bottom row: the pixel below is outside
  z.at<uchar>(58, 10) = 50;
  EXPECT_EQ(FindBrightSpot(z, 10, 59, 3), cv::Point2f(10, 58.5f));
  z = Zoom();
  z.at<uchar>(59, 99) = 250;  // the very last pixel: right and below are outside
  z.at<uchar>(59, 98) = 40;
  z.at<uchar>(58, 99) = 40;
  EXPECT_EQ(FindBrightSpot(z, 99, 59, 3), cv::Point2f(98.5f, 58.5f));
}

TEST(EyeVectorTest, DegreesOfTheSystemConstant) {
  EXPECT_DOUBLE_EQ(ScaleOffset(10), 2.0);
  EXPECT_NEAR(OffsetToDegrees(ScaleOffset(10)), 30.00000003428, 1e-11);
  EXPECT_DOUBLE_EQ(OffsetToDegrees(ScaleOffset(1)), 2.865983985873726);
  EXPECT_DOUBLE_EQ(OffsetToDegrees(ScaleOffset(25)), 90.00000010283999);
  EXPECT_DOUBLE_EQ(OffsetToDegrees(ScaleOffset(20)), 90.00000010283999);
  EXPECT_DOUBLE_EQ(OffsetToDegrees(ScaleOffset(-25)), -90.00000010283999);
  EXPECT_EQ(OffsetToDegrees(ScaleOffset(0)), 0.0);
}

TEST(EyeVectorTest, BlinkNeedsAFaceBothOptionsAndNoPupil) {
  FrameResults r;
  r.faceFound = true;
  EXPECT_TRUE(IsBlink(r, true, true));
  EXPECT_FALSE(IsBlink(r, true, false));
  EXPECT_FALSE(IsBlink(r, false, true));
  r.pupilFound[1] = true;
  EXPECT_FALSE(IsBlink(r, true, true));  // one pupil missing is no blink
  r.pupilFound[1] = false;
  r.faceFound = false;
  EXPECT_FALSE(IsBlink(r, true, true));
}

}  // namespace
