#pragma once
// Eye vectors (pupil centre against the bright spot near it, in degrees) and the blink state.

#include <opencv2/core.hpp>

namespace pupiltrak {

struct FrameResults;

// The brightest pixel of the one-channel image closer than radius to (cx, cy), first in row
// order among equals, moved half a pixel toward its brighter neighbour on each axis.
// Neighbours are read in the flat pixel buffer; one outside the buffer counts as 0.
cv::Point2f FindBrightSpot(const cv::Mat& zoom, float cx, float cy, float radius);

// Pupil-zoom pixels to the sine's argument scale: 0.2 * v.
double ScaleOffset(double v);

// asin(clamp(0.25 * u, -1, 1)) in degrees.
double OffsetToDegrees(double u);

// The degrees per radian of the eye vector conversion: 180 / 3.14159265, not 180 / pi (the
// recorded protocols and mappings were made with it).
inline constexpr double kEyeVectorDegreesPerRadian = 57.29577957855229;

// A face was found, both options are on and neither eye has a pupil.
bool IsBlink(const FrameResults& results, bool searchEyeRegions, bool estimateGazeDirection);

}  // namespace pupiltrak
