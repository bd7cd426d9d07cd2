#include "tracking/Mosaic.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace pupiltrak {

namespace {
cv::Point Nearest(cv::Point2f p) {
  return cv::Point(static_cast<int>(std::nearbyint(static_cast<double>(p.x))),
                   static_cast<int>(std::nearbyint(static_cast<double>(p.y))));
}

const cv::Scalar kRed(0, 0, 255);
const cv::Scalar kGreen(0, 255, 0);
}  // namespace

cv::Rect TilePlaceRect(int W, int H, TilePlace place) {
  switch (place) {
    case TilePlace::FrameQuarter:
      return cv::Rect(0, 0, W / 2, H / 2);
    case TilePlace::StatusQuarter:
      return cv::Rect(0, H / 2, W / 2, H / 2);
    case TilePlace::EyeRegion1:
      return cv::Rect(W / 2, 0, W / 4, H / 4);
    case TilePlace::EyeRegion2:
      return cv::Rect(3 * (W / 4), 0, W / 4, H / 4);
    case TilePlace::PupilZoom1:
      return cv::Rect(W / 2, H / 4, W / 4, H / 4);
    case TilePlace::PupilZoom2:
      return cv::Rect(3 * (W / 4), H / 4, W / 4, H / 4);
    case TilePlace::CalibrationQuarter:
      return cv::Rect(W / 2, H / 2, W / 2, H / 2);
    default:
      return cv::Rect(0, 0, W, H);
  }
}

void PlaceTile(cv::Mat& mosaic, int W, int H, TilePlace place, const cv::Mat& image) {
  if (mosaic.empty() || image.empty()) return;
  const cv::Rect r = TilePlaceRect(W, H, place) & cv::Rect(0, 0, mosaic.cols, mosaic.rows);
  if (r.empty()) return;
  cv::Mat roi = mosaic(r);
  if (image.type() == mosaic.type()) {
    if (image.size() == r.size())
      image.copyTo(roi);  // the same as a resize to the same size, without the work
    else
      cv::resize(image, roi, r.size(), 0, 0, cv::INTER_LINEAR);
  } else if (image.channels() == 1 && mosaic.channels() == 3) {
    cv::Mat colour;
    cv::cvtColor(image, colour, cv::COLOR_GRAY2BGR);
    cv::resize(colour, roi, r.size(), 0, 0, cv::INTER_LINEAR);
  }
}

void DrawCross(cv::Mat& image, int x, int y, const cv::Scalar& colour) {
  cv::line(image, cv::Point(0, y), cv::Point(image.cols, y), colour, 1, cv::LINE_8, 0);
  cv::line(image, cv::Point(x, 0), cv::Point(x, image.rows), colour, 1, cv::LINE_8, 0);
}

void MakePupilZoomTile(const cv::Mat& pupilZoom, bool finder2Found, cv::Point2f brightSpot,
                       cv::Point2f circleCentre, cv::Mat& colour, cv::Mat& tile) {
  cv::cvtColor(pupilZoom, colour, cv::COLOR_GRAY2BGR);
  if (finder2Found) {
    const cv::Point b = Nearest(brightSpot);
    const cv::Point c = Nearest(circleCentre);
    DrawCross(colour, b.x, b.y, kRed);
    DrawCross(colour, c.x, c.y, kGreen);  // drawn second: on top where they meet
  }
  cv::resize(colour, tile, cv::Size(kTileWidth, kTileHeight), 0, 0, cv::INTER_LINEAR);
}

void MakeEyeRegionTile(const cv::Mat& regionGrey, bool finder1Found, int sx, int sy,
                       cv::Mat& colour, cv::Mat& tile) {
  cv::cvtColor(regionGrey, colour, cv::COLOR_GRAY2BGR);
  if (finder1Found) DrawCross(colour, sx, sy, kGreen);
  cv::resize(colour, tile, cv::Size(kTileWidth, kTileHeight), 0, 0, cv::INTER_LINEAR);
}

void PlaceCameraFrame(cv::Mat& mosaic, const cv::Mat& cameraFrame, cv::Mat& flipped) {
  if (cameraFrame.empty()) return;
  cv::flip(cameraFrame, flipped, 0);
  PlaceTile(mosaic, kMosaicWidth, kMosaicHeight, TilePlace::FrameQuarter, flipped);
}

cv::Mat BitmapToImage(const QImage& bitmap) {
  cv::Mat image =
      cv::Mat::zeros(std::max(bitmap.height(), 0), std::max(bitmap.width(), 0), CV_8UC3);
  const QImage::Format f = bitmap.format();
  const bool bgrx = f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                    f == QImage::Format_ARGB32_Premultiplied;
  if (bgrx) {
    // 32-bit pixels are stored blue, green, red, spare on this (little-endian) platform.
    if (image.empty()) return image;
    const cv::Mat bgra(image.rows, image.cols, CV_8UC4, const_cast<uchar*>(bitmap.constBits()),
                       static_cast<size_t>(bitmap.bytesPerLine()));
    cv::cvtColor(bgra, image, cv::COLOR_BGRA2BGR);
    return image;
  }
  if (image.empty()) return image;
  const cv::Scalar white(255, 255, 255);
  const auto line = [&](const char* text, int y) {
    cv::putText(image, text, cv::Point(5, y), cv::FONT_HERSHEY_PLAIN, 0.7, white, 1, cv::LINE_8);
  };
  line("Wrong bitmap format.", 15);
  line("bmBitsPixel = 32 and", 30);
  line("bmPlanes = 1 expected", 45);
  return image;
}

void PanelRects(const QRect& client, int W, int H, IntRect* panel, IntRect* calibrationPanel) {
  // QRect's right() and bottom() are inclusive; the client rectangle's are not.
  const int left = client.left();
  const int top = client.top();
  const int bottom = client.top() + client.height();
  panel->left = left + 12;
  panel->top = top + (bottom - top) / 5;
  panel->right = panel->left + W / 2;
  panel->bottom = panel->top + H / 2;
  calibrationPanel->left = panel->right + 12;
  calibrationPanel->top = panel->top;
  calibrationPanel->right = calibrationPanel->left + W / 2;
  calibrationPanel->bottom = panel->bottom;
}

}  // namespace pupiltrak
