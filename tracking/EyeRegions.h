#pragma once
// The two eye regions derived from the face rectangle (32 integers in eight groups).

#include <opencv2/core.hpp>

namespace pupiltrak {

class EyeRegions {
 public:
  // x1, y1, x2, y2: the face rectangle in small-image pixels; s: scale to frame pixels.
  void Compute(int x1, int y1, int x2, int y2, double s);
  // Draws both regions into the bottom-up camera frame of height H.
  void Draw(cv::Mat& image, int H, const cv::Scalar& colour) const;

  // The scaled rectangle of eye region 1 or 2, in frame-copy pixels (for cutting).
  cv::Rect FrameRect(int eye) const;

  // Groups 1-8, in order.
  int corners1[4] = {0, 0, 0, 0};  // eye region 1, small image: left, top, right, bottom
  int corners2[4] = {0, 0, 0, 0};
  int rect1[4] = {0, 0, 0, 0};  // x, y, width, height
  int rect2[4] = {0, 0, 0, 0};
  int scaledCorners1[4] = {0, 0, 0, 0};
  int scaledCorners2[4] = {0, 0, 0, 0};
  int scaledRect1[4] = {0, 0, 0, 0};
  int scaledRect2[4] = {0, 0, 0, 0};
};

}  // namespace pupiltrak
