#pragma once
// The 320 x 240 preview mosaic, its tiles, and the snapshots of the 160 x 120 panels.

#include <QImage>
#include <QRect>
#include <opencv2/core.hpp>

#include "platform/Geometry.h"

namespace pupiltrak {

inline constexpr int kMosaicWidth = 320;
inline constexpr int kMosaicHeight = 240;
inline constexpr int kTileWidth = 80;
inline constexpr int kTileHeight = 60;

// Places of the mosaic; any code outside 1 to 7 means Whole.
enum class TilePlace : int {
  Whole = 0,
  FrameQuarter = 1,
  StatusQuarter = 2,
  EyeRegion1 = 3,
  EyeRegion2 = 4,
  PupilZoom1 = 5,
  PupilZoom2 = 6,
  CalibrationQuarter = 7,
};

// The rectangle of a place in a W x H mosaic (integer divisions).
cv::Rect TilePlaceRect(int W, int H, TilePlace place);

// Resizes image (bilinear) into its place of the mosaic. Does nothing when either is empty.
void PlaceTile(cv::Mat& mosaic, int W, int H, TilePlace place, const cv::Mat& image);

// A one-pixel cross through (x, y) spanning the whole image.
void DrawCross(cv::Mat& image, int x, int y, const cv::Scalar& colour);

// Pupil-zoom tile: the zoom in colour with, when finder 2 found a circle, the red cross at the
// bright spot and the green one at the circle centre, resized to 80 x 60. colour is scratch.
void MakePupilZoomTile(const cv::Mat& pupilZoom, bool finder2Found, cv::Point2f brightSpot,
                       cv::Point2f circleCentre, cv::Mat& colour, cv::Mat& tile);

// Eye-region tile: the region grey in colour with, when finder 1 found a circle, a green cross
// at the filtered centre, resized to 80 x 60.
void MakeEyeRegionTile(const cv::Mat& regionGrey, bool finder1Found, int sx, int sy,
                       cv::Mat& colour, cv::Mat& tile);

// The bottom-up camera frame turned top-down, into the top-left quarter.
void PlaceCameraFrame(cv::Mat& mosaic, const cv::Mat& cameraFrame, cv::Mat& flipped);

// A new 8-bit three-channel image of the bitmap. Only 32-bit bitmaps (blue, green, red, spare
// bytes per pixel) can be read; any other gets three white lines saying so instead.
cv::Mat BitmapToImage(const QImage& bitmap);

// Where the status panel and the calibration panel snapshots go in the dialog's client area:
// side by side, 12 pixels in, a fifth of the client height down; each W/2 x H/2.
void PanelRects(const QRect& client, int W, int H, IntRect* panel, IntRect* calibrationPanel);

}  // namespace pupiltrak
