#pragma once
#include <opencv2/core.hpp>

namespace pupiltrak {

// The camera layer's own frame buffer as handed to the frame callback: 8-bit B, G, R.
// origin 0: first row is the top of the picture; non-zero: first row is the bottom.
// The buffer belongs to the camera layer and is valid only during the callback.
struct CameraFrame {
  cv::Mat image;
  int origin = 1;
};

}  // namespace pupiltrak
