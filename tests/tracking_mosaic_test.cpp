// The mosaic's places and tiles, the crosses, the panel rectangles and the bitmap reader.

#include <gtest/gtest.h>

#include <QImage>
#include <opencv2/imgproc.hpp>

#include "tracking/Mosaic.h"

using namespace pupiltrak;

namespace {

int CountNonBlack(const cv::Mat& image) {
  cv::Mat grey;
  cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
  return cv::countNonZero(grey);
}

TEST(TilePlaceTest, EightPlacesOfA320By240Mosaic) {
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::Whole), cv::Rect(0, 0, 320, 240));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::FrameQuarter), cv::Rect(0, 0, 160, 120));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::StatusQuarter), cv::Rect(0, 120, 160, 120));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::EyeRegion1), cv::Rect(160, 0, 80, 60));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::EyeRegion2), cv::Rect(240, 0, 80, 60));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::PupilZoom1), cv::Rect(160, 60, 80, 60));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::PupilZoom2), cv::Rect(240, 60, 80, 60));
  EXPECT_EQ(TilePlaceRect(320, 240, TilePlace::CalibrationQuarter), cv::Rect(160, 120, 160, 120));
}

TEST(TilePlaceTest, CodesOutsideOneToSevenMeanWhole) {
  for (int code : {-1, 8, 100})
    EXPECT_EQ(TilePlaceRect(320, 240, static_cast<TilePlace>(code)), cv::Rect(0, 0, 320, 240));
}

TEST(TilePlaceTest, IntegerDivisionsForOddSizes) {
  EXPECT_EQ(TilePlaceRect(322, 242, TilePlace::EyeRegion2), cv::Rect(240, 0, 80, 60));
  EXPECT_EQ(TilePlaceRect(322, 242, TilePlace::CalibrationQuarter), cv::Rect(161, 121, 161, 121));
}

TEST(PlaceTileTest, FillsOnlyItsPlace) {
  cv::Mat mosaic = cv::Mat::zeros(240, 320, CV_8UC3);
  const cv::Mat red(60, 80, CV_8UC3, cv::Scalar(0, 0, 255));
  PlaceTile(mosaic, 320, 240, TilePlace::EyeRegion2, red);
  EXPECT_EQ(cv::countNonZero(mosaic.reshape(1) != 0), 80 * 60);
  EXPECT_EQ(mosaic.at<cv::Vec3b>(0, 240), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(mosaic.at<cv::Vec3b>(59, 319), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(mosaic.at<cv::Vec3b>(60, 319), cv::Vec3b(0, 0, 0));
}

TEST(PlaceTileTest, ResizesIntoThePlace) {
  cv::Mat mosaic = cv::Mat::zeros(240, 320, CV_8UC3);
  const cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(10, 20, 30));
  PlaceTile(mosaic, 320, 240, TilePlace::FrameQuarter, frame);
  EXPECT_EQ(mosaic.at<cv::Vec3b>(119, 159), cv::Vec3b(10, 20, 30));
  EXPECT_EQ(mosaic.at<cv::Vec3b>(120, 160), cv::Vec3b(0, 0, 0));
  PlaceTile(mosaic, 320, 240, static_cast<TilePlace>(42), frame);  // Whole
  EXPECT_EQ(mosaic.at<cv::Vec3b>(239, 319), cv::Vec3b(10, 20, 30));
}

TEST(PlaceTileTest, MissingImageOrMosaicPlacesNothing) {
  cv::Mat mosaic = cv::Mat::zeros(240, 320, CV_8UC3);
  PlaceTile(mosaic, 320, 240, TilePlace::Whole, cv::Mat());
  EXPECT_EQ(cv::countNonZero(mosaic.reshape(1)), 0);
  cv::Mat none;
  PlaceTile(none, 320, 240, TilePlace::Whole, cv::Mat(10, 10, CV_8UC3, cv::Scalar(1, 1, 1)));
  EXPECT_TRUE(none.empty());
}

TEST(DrawCrossTest, SpansTheWholeImage) {
  cv::Mat image = cv::Mat::zeros(8, 10, CV_8UC3);
  DrawCross(image, 3, 2, cv::Scalar(0, 255, 0));
  const cv::Vec3b green(0, 255, 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(image.at<cv::Vec3b>(2, x), green);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(image.at<cv::Vec3b>(y, 3), green);
  EXPECT_EQ(CountNonBlack(image), 10 + 8 - 1);
}

TEST(EyeTilesTest, PupilZoomTileHasRedThenGreenCross) {
  const cv::Mat zoom(60, 100, CV_8UC1, cv::Scalar(100));
  cv::Mat colour, tile;
  MakePupilZoomTile(zoom, true, cv::Point2f(30.5f, 20.4f), cv::Point2f(50.2f, 40.6f), colour, tile);
  EXPECT_EQ(tile.size(), cv::Size(80, 60));
  EXPECT_EQ(tile.type(), CV_8UC3);
  const cv::Vec3b red(0, 0, 255), green(0, 255, 0);
  // Nearest integers: bright spot (30, 20) (30.5 goes to even), centre (50, 41).
  EXPECT_EQ(colour.at<cv::Vec3b>(20, 5), red);
  EXPECT_EQ(colour.at<cv::Vec3b>(5, 30), red);
  EXPECT_EQ(colour.at<cv::Vec3b>(41, 5), green);
  EXPECT_EQ(colour.at<cv::Vec3b>(5, 50), green);
  // Where the red row meets the green column, green is on top.
  EXPECT_EQ(colour.at<cv::Vec3b>(20, 50), green);
  EXPECT_EQ(colour.at<cv::Vec3b>(41, 30), green);
}

TEST(EyeTilesTest, PupilZoomTileWithoutCirclesHasNoCross) {
  const cv::Mat zoom(60, 100, CV_8UC1, cv::Scalar(100));
  cv::Mat colour, tile;
  MakePupilZoomTile(zoom, false, cv::Point2f(30, 20), cv::Point2f(50, 40), colour, tile);
  EXPECT_EQ(cv::countNonZero(tile.reshape(1) != 100), 0);
}

TEST(EyeTilesTest, EyeRegionTileCrossOnlyWithAFinderOneCircle) {
  const cv::Mat region(32, 51, CV_8UC1, cv::Scalar(60));
  cv::Mat colour, tile;
  MakeEyeRegionTile(region, true, 10, 12, colour, tile);
  EXPECT_EQ(tile.size(), cv::Size(80, 60));
  EXPECT_EQ(colour.at<cv::Vec3b>(12, 0), cv::Vec3b(0, 255, 0));
  MakeEyeRegionTile(region, false, 10, 12, colour, tile);
  EXPECT_EQ(cv::countNonZero(tile.reshape(1) != 60), 0);
}

TEST(CameraQuarterTest, TheBottomUpFrameIsShownTopDown) {
  cv::Mat camera(480, 640, CV_8UC3, cv::Scalar(0, 0, 0));
  camera.rowRange(0, 240).setTo(cv::Scalar(255, 255, 255));  // the bottom half of the picture
  cv::Mat mosaic = cv::Mat::zeros(240, 320, CV_8UC3), flipped;
  PlaceCameraFrame(mosaic, camera, flipped);
  EXPECT_EQ(mosaic.at<cv::Vec3b>(10, 10), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(mosaic.at<cv::Vec3b>(110, 10), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(mosaic.at<cv::Vec3b>(130, 10), cv::Vec3b(0, 0, 0));  // outside the quarter
}

TEST(BitmapToImageTest, ThirtyTwoBitPixelsAreCopiedBlueGreenRed) {
  for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
    QImage bitmap(160, 120, f);
    bitmap.fill(qRgb(1, 2, 3));
    bitmap.setPixel(7, 9, qRgb(200, 100, 50));
    const cv::Mat image = BitmapToImage(bitmap);
    ASSERT_EQ(image.type(), CV_8UC3);
    EXPECT_EQ(image.size(), cv::Size(160, 120));
    EXPECT_EQ(image.at<cv::Vec3b>(9, 7), cv::Vec3b(50, 100, 200));
    EXPECT_EQ(image.at<cv::Vec3b>(0, 0), cv::Vec3b(3, 2, 1));
  }
}

TEST(BitmapToImageTest, OtherFormatsGetTheThreeErrorLines) {
  QImage bitmap(160, 120, QImage::Format_RGB16);
  bitmap.fill(qRgb(90, 90, 90));
  const cv::Mat image = BitmapToImage(bitmap);
  ASSERT_EQ(image.type(), CV_8UC3);
  EXPECT_EQ(image.size(), cv::Size(160, 120));
  const cv::Vec3b white(255, 255, 255);
  int lines[3] = {0, 0, 0}, elsewhere = 0;
  for (int y = 0; y < image.rows; ++y)
    for (int x = 0; x < image.cols; ++x) {
      const cv::Vec3b p = image.at<cv::Vec3b>(y, x);
      if (p != white) {
        EXPECT_EQ(p, cv::Vec3b(0, 0, 0));
        continue;
      }
      if (y >= 5 && y <= 17)
        ++lines[0];
      else if (y >= 20 && y <= 32)
        ++lines[1];
      else if (y >= 35 && y <= 47)
        ++lines[2];
      else
        ++elsewhere;
    }
  // The text starts at column 5 and the pixels were not copied.
  EXPECT_GT(lines[0], 50);
  EXPECT_GT(lines[1], 50);
  EXPECT_GT(lines[2], 50);
  EXPECT_EQ(elsewhere, 0);
  EXPECT_EQ(cv::countNonZero(image.colRange(0, 5).reshape(1)), 0);
}

TEST(PanelRectsTest, SideBySideAFifthDown) {
  IntRect panel, calibration;
  PanelRects(QRect(0, 0, 500, 400), 320, 240, &panel, &calibration);
  EXPECT_EQ(panel, (IntRect{12, 80, 172, 200}));
  EXPECT_EQ(calibration, (IntRect{184, 80, 344, 200}));
  PanelRects(QRect(10, 20, 300, 103), 320, 240, &panel, &calibration);
  EXPECT_EQ(panel, (IntRect{22, 40, 182, 160}));  // 103 / 5 = 20
  EXPECT_EQ(calibration, (IntRect{194, 40, 354, 160}));
}

}  // namespace
