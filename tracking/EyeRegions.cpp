#include "tracking/EyeRegions.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

#include "tracking/FaceDetection.h"

namespace pupiltrak {

namespace {
// Nearest integer, ties to even (the default rounding mode).
int Nint(double v) { return static_cast<int>(std::nearbyint(v)); }

void Scale(const int in[4], double s, int out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = Nint(s * in[i]);
}

void DrawRegion(cv::Mat& image, int H, const int corners[4], const cv::Scalar& colour) {
  cv::rectangle(image, ToBottomUp(corners[0], corners[1], H), ToBottomUp(corners[2], corners[3], H),
                colour, 3, cv::LINE_8, 0);
}
}  // namespace

void EyeRegions::Compute(int x1, int y1, int x2, int y2, double s) {
  const int w = x2 - x1;
  const int h = y2 - y1;
  const int top = y1 + Nint(0.25 * h);
  const int bottom = y1 + Nint(0.5 * h);

  corners1[0] = x1 + Nint(0.1 * w);
  corners1[1] = top;
  corners1[2] = x1 + Nint(0.49 * w);
  corners1[3] = bottom;
  corners2[0] = x1 + Nint(0.51 * w);
  corners2[1] = top;
  corners2[2] = x1 + Nint(0.9 * w);
  corners2[3] = bottom;

  const int* corners[2] = {corners1, corners2};
  int* rects[2] = {rect1, rect2};
  for (int e = 0; e < 2; ++e) {
    rects[e][0] = corners[e][0];
    rects[e][1] = corners[e][1];
    rects[e][2] = corners[e][2] - corners[e][0];
    rects[e][3] = corners[e][3] - corners[e][1];
  }

  // Corners and rectangles are scaled separately: the drawn and the cut rectangle may differ.
  Scale(corners1, s, scaledCorners1);
  Scale(corners2, s, scaledCorners2);
  Scale(rect1, s, scaledRect1);
  Scale(rect2, s, scaledRect2);
}

void EyeRegions::Draw(cv::Mat& image, int H, const cv::Scalar& colour) const {
  if (image.empty()) return;
  DrawRegion(image, H, scaledCorners1, colour);
  DrawRegion(image, H, scaledCorners2, colour);
}

cv::Rect EyeRegions::FrameRect(int eye) const {
  const int* r = eye == 2 ? scaledRect2 : scaledRect1;
  return cv::Rect(r[0], r[1], r[2], r[3]);
}

}  // namespace pupiltrak
