#include "tracking/EyeVector.h"

#include <algorithm>
#include <cmath>

#include "tracking/FrameResults.h"

namespace pupiltrak {

namespace {
double Distance(double x1, double y1, double x2, double y2) {
  const double dx = x1 - x2;
  const double dy = y1 - y2;
  return std::sqrt(dx * dx + dy * dy);
}
}  // namespace

cv::Point2f FindBrightSpot(const cv::Mat& zoom, float cx, float cy, float radius) {
  double bestX = 0, bestY = 0;
  if (zoom.empty() || zoom.type() != CV_8UC1) return cv::Point2f(0.f, 0.f);

  int best = 0;
  for (int i = 0; i < zoom.rows; ++i) {
    const uchar* row = zoom.ptr<uchar>(i);
    for (int j = 0; j < zoom.cols; ++j) {
      if (row[j] > best && Distance(j, i, cx, cy) < radius) {
        best = row[j];
        bestX = j;
        bestY = i;
      }
    }
  }

  const int c = static_cast<int>(bestX);
  const int k = static_cast<int>(bestY);
  const long step = static_cast<long>(zoom.step[0]);
  const long size = step * zoom.rows;
  const uchar* data = zoom.data;
  const long n = k * step + c;
  const auto at = [&](long index) -> int { return index >= 0 && index < size ? data[index] : 0; };
  const int left = at(n - 1);
  const int right = at(n + 1);
  const int above = at(n - step);
  const int below = at(n + step);

  if (right < left)
    bestX -= 0.5;
  else if (right > left)
    bestX += 0.5;
  if (below < above)
    bestY -= 0.5;
  else if (below > above)
    bestY += 0.5;
  return cv::Point2f(static_cast<float>(bestX), static_cast<float>(bestY));
}

double ScaleOffset(double v) { return 0.2 * v; }

double OffsetToDegrees(double u) {
  const double t = std::clamp(0.25 * u, -1.0, 1.0);
  return std::asin(t) * kEyeVectorDegreesPerRadian;
}

bool IsBlink(const FrameResults& results, bool searchEyeRegions, bool estimateGazeDirection) {
  return results.faceFound && searchEyeRegions && estimateGazeDirection && !results.pupilFound[0] &&
         !results.pupilFound[1];
}

}  // namespace pupiltrak
