#include "tracking/EyeRegions.h"

void EyeRegions::Compute(int, int, int, int, double) {}
void EyeRegions::Draw(cv::Mat&, int, const cv::Scalar&) const {}

EyeRegions& SharedEyeRegions() {
  static EyeRegions regions;
  return regions;
}
