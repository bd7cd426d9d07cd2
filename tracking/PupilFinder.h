#pragma once
// The two-stage pupil finder and the per-eye jump filter of finder 1's centres.

#include <opencv2/core.hpp>
#include <vector>

#include "tracking/EyeCentre.h"
#include "tracking/TrackerSettings.h"

namespace pupiltrak {

class PointHistory {
 public:
  // Returns the point to use: (x, y) or the mean of the previous ten.
  void Filter(int x, int y, int* outX, int* outY);
  void Reset();

  int entries[10][2] = {};  // oldest first
  int count = 0;
  int mean[2] = {0, 0};
  double deviation[2] = {0, 0};
};

// Copies the third channel (Z of an XYZ image) of src into the one-channel dst, which is
// (re)made at src's size. A source without three channels leaves dst alone.
void ExtractZChannel(const cv::Mat& src, cv::Mat& dst);

// The options and slider values one eye's chain runs with.
struct PupilSettings {
  bool equalise1 = kDefaultEqualizeHist1 != 0;  // Use EqualizeHist1: finder 1's input
  bool equalise2 = kDefaultEqualizeHist2 != 0;  // Use EqualizeHist2: finder 2's input
  int finder1Param1 = kDefaultFinder1Param1, finder1Param2 = kDefaultFinder1Param2;
  int finder2Param1 = kDefaultFinder2Param1, finder2Param2 = kDefaultFinder2Param2;
  // Precise pupils: the coarse centre from the gradient eye centre instead of finder 1, and
  // finder 2's circle and bright spot refined to sub-pixel positions.
  bool precise = kDefaultPrecisePupils != 0;
};

// Size of the pupil window in frame pixels, and of its zoom.
inline constexpr int kPupilWindowWidth = 50;
inline constexpr int kPupilWindowHeight = 30;

// Working space of the circle search.
struct CircleScratch {
  std::vector<cv::Vec3f> centres;
  cv::Mat dx, dy, edges;
  std::vector<cv::Point> points;
  std::vector<float> distances;
};

// Working images of one eye's chain, kept from frame to frame to save allocations.
struct PupilBuffers {
  cv::Mat regionXyz, regionGrey, windowGrey, pupilZoom;
  CircleScratch circles;
  // Precise pupils only: the window grey before equalisation, and the eye centre's scratch.
  cv::Mat windowRaw;
  EyeCentreScratch eyeCentre;
  std::vector<cv::Point> glintBlob;
};

// What one eye's chain found. Images it made stay in PupilBuffers: regionGrey when
// regionValid, pupilZoom when windowValid.
struct PupilResult {
  bool regionValid = false;    // the eye region lies inside the frame
  bool finder1Found = false;   // finder 1 found a circle
  cv::Vec3f circle1;           // finder 1's circle, region pixels
  int sx = 0, sy = 0;          // its centre after the history filter, region pixels
  bool windowValid = false;    // the pupil window lies inside the frame
  cv::Rect window;             // the pupil window, frame pixels
  bool finder2Found = false;   // finder 2 found a circle: the pupil
  cv::Vec3f circle2;           // finder 2's first circle (cx, cy, r), pupil-zoom pixels; with
                               // precise pupils its centre and radius as refined
  int pupilX = 0, pupilY = 0;  // the pupil centre, frame pixels
  cv::Point2f brightSpot;      // pupil-zoom pixels (the glint's centroid with precise pupils)
  double dx = 0, dy = 0;       // eye vector, degrees
};

// True when r is non-empty and lies wholly inside the image.
bool InsideImage(const cv::Rect& r, const cv::Mat& image);

// Circle Hough transform, gradient method, no radius limits: the strongest circle. That is the
// centre with the most accumulator votes that has a ring of more than param2 edge points,
// with the radius of its densest such ring (edge points per unit of radius). param1 is the
// upper Canny threshold, param2 the accumulator threshold. False when there is no such circle,
// and also when the parameters cannot be used (thresholds of 0 and the like): the frame
// thread must go on.
// (OpenCV 4 ranks full circles by the edge points on their rings, which puts the large arcs of
// lids and brows ahead of the pupil and the iris; its centres, though, come ranked by votes.)
bool FindStrongestCircle(const cv::Mat& grey, double dp, double minDist, int param1, int param2,
                         CircleScratch& scratch, cv::Vec3f* circle);

// The densest ring of points around (cx, cy) among rings dr wide holding more than minCount
// points: its radius (the median distance of its points) and its count. false when no ring
// holds enough points. distances is scratch.
bool DensestRing(const std::vector<cv::Point>& points, float cx, float cy, float dr,
                 float maxRadius, int minCount, std::vector<float>& distances, float* radius,
                 int* count);

// Finder 1 with its history filter on the eye region (frame pixels). An eye region the frame
// cannot supply in full counts as one without a circle; the history is then left alone.
// With precise pupils the gradient eye centre takes finder 1's place (circle1's radius is 0).
void RunFinder1(const cv::Mat& frameCopy, const cv::Rect& region, PointHistory& history,
                const PupilSettings& settings, PupilBuffers& buffers, PupilResult* result);

// The pupil window around finder 1's filtered centre, its zoom, finder 2 and, when finder 2
// finds the pupil, the bright spot and the eye vector. Does nothing unless finder 1 found a
// circle; a window that reaches past the frame counts as one without a circle. With precise
// pupils the circle's centre and the bright spot are refined in the window's raw grey (each
// keeps finder 2's value when its refinement fails) before the eye vector is taken.
void RunFinder2(const cv::Mat& frameCopy, const cv::Rect& region, const PupilSettings& settings,
                PupilBuffers& buffers, PupilResult* result);

}  // namespace pupiltrak
