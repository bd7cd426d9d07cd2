#include "tracking/PupilFinder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <opencv2/imgproc.hpp>

#include "tracking/EyeVector.h"

namespace pupiltrak {

namespace {
int Nint(double v) { return static_cast<int>(std::nearbyint(v)); }
}  // namespace

void PointHistory::Filter(int x, int y, int* outX, int* outY) {
  const auto push = [this](int px, int py) {
    for (int i = 0; i < 9; ++i) {
      entries[i][0] = entries[i + 1][0];
      entries[i][1] = entries[i + 1][1];
    }
    entries[9][0] = px;
    entries[9][1] = py;
    if (count < INT_MAX) ++count;
  };

  if (count < 10) {
    push(x, y);
    *outX = x;
    *outY = y;
    return;
  }

  double sumX = 0, sumY = 0;
  for (const auto& e : entries) {
    sumX += e[0];
    sumY += e[1];
  }
  mean[0] = Nint(0.1 * sumX);
  mean[1] = Nint(0.1 * sumY);
  // Entries with a zero coordinate count in the mean but not in the spread; the factor stays 0.1.
  double varX = 0, varY = 0;
  for (const auto& e : entries) {
    if (e[0] == 0 || e[1] == 0) continue;
    const double ex = e[0] - mean[0];
    const double ey = e[1] - mean[1];
    varX += ex * ex;
    varY += ey * ey;
  }
  deviation[0] = std::sqrt(0.1 * varX);
  deviation[1] = std::sqrt(0.1 * varY);

  push(x, y);

  if (std::abs(static_cast<double>(x) - mean[0]) >= 2 * deviation[0] ||
      std::abs(static_cast<double>(y) - mean[1]) >= 2 * deviation[1]) {
    *outX = mean[0];
    *outY = mean[1];
  } else {
    *outX = x;
    *outY = y;
  }
}

void PointHistory::Reset() { *this = PointHistory{}; }

void ExtractZChannel(const cv::Mat& src, cv::Mat& dst) {
  if (src.channels() != 3 || src.depth() != CV_8U) return;
  dst.create(src.size(), CV_8UC1);
  for (int y = 0; y < src.rows; ++y) {
    const uchar* s = src.ptr<uchar>(y);
    uchar* d = dst.ptr<uchar>(y);
    for (int x = 0; x < src.cols; ++x) d[x] = s[3 * x + 2];
  }
}

bool InsideImage(const cv::Rect& r, const cv::Mat& image) {
  return r.width > 0 && r.height > 0 && r.x >= 0 && r.y >= 0 && r.x <= image.cols - r.width &&
         r.y <= image.rows - r.height;
}

namespace {

// Distances are never negative, and the bits of non-negative floats, read as unsigned integers,
// are in the order of their values: three counting passes of 11 bits sort them in linear time
// (the comparison sort took a third of the circle search).
void SortDistances(std::vector<float>& values) {
  const size_t n = values.size();
  if (n < 64) {
    std::sort(values.begin(), values.end());
    return;
  }
  static thread_local std::vector<uint32_t> keys, spare;
  keys.resize(n);
  spare.resize(n);
  std::memcpy(keys.data(), values.data(), n * sizeof(float));
  constexpr int kBits = 11;
  constexpr uint32_t kMask = (1u << kBits) - 1;
  for (int shift = 0; shift < 32; shift += kBits) {
    size_t count[kMask + 2] = {};
    for (uint32_t k : keys) ++count[((k >> shift) & kMask) + 1];
    for (uint32_t d = 1; d <= kMask + 1; ++d) count[d] += count[d - 1];
    for (uint32_t k : keys) spare[count[(k >> shift) & kMask]++] = k;
    keys.swap(spare);
  }
  std::memcpy(values.data(), keys.data(), n * sizeof(float));
}

}  // namespace

bool DensestRing(const std::vector<cv::Point>& points, float cx, float cy, float dr,
                 float maxRadius, int minCount, std::vector<float>& distances, float* radius,
                 int* count) {
  distances.clear();
  const float maxRadius2 = maxRadius * maxRadius;
  for (const cv::Point& p : points) {
    const float dx = static_cast<float>(p.x) - cx;
    const float dy = static_cast<float>(p.y) - cy;
    const float r2 = dx * dx + dy * dy;
    if (r2 <= maxRadius2) distances.push_back(std::sqrt(r2));
  }
  SortDistances(distances);

  // Slide a ring dr wide outward, starting at each point in turn.
  const int n = static_cast<int>(distances.size());
  double bestDensity = -1;
  int end = 0;
  for (int start = 0; start < n; ++start) {
    if (end < start) end = start;
    while (end < n && distances[end] - distances[start] <= dr) ++end;
    const int inRing = end - start;
    if (inRing <= minCount) continue;
    const double density = inRing / (distances[start] + 0.5 * dr);
    if (density > bestDensity) {
      bestDensity = density;
      *radius = distances[start + inRing / 2];
      *count = inRing;
    }
  }
  return bestDensity >= 0;
}

bool FindStrongestCircle(const cv::Mat& grey, double dp, double minDist, int param1, int param2,
                         CircleScratch& s, cv::Vec3f* circle) {
  s.centres.clear();
  // The library rejects thresholds and distances of 0 or less; nothing can be found with them.
  if (grey.empty() || grey.type() != CV_8UC1 || param1 <= 0 || param2 <= 0 || minDist <= 0)
    return false;
  try {
    // A negative maximum radius asks for the centres alone, by votes.
    cv::HoughCircles(grey, s.centres, cv::HOUGH_GRADIENT, dp, minDist, param1, param2, 0, -1);
    if (s.centres.empty()) return false;
    // The edge points the transform voted with.
    cv::Sobel(grey, s.dx, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(grey, s.dy, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Canny(s.dx, s.dy, s.edges, std::max(1, param1 / 2), param1, false);
  } catch (const cv::Exception&) {
    return false;
  }
  s.points.clear();
  for (int y = 0; y < s.edges.rows; ++y) {
    const uchar* e = s.edges.ptr<uchar>(y);
    const short* dx = s.dx.ptr<short>(y);
    const short* dy = s.dy.ptr<short>(y);
    for (int x = 0; x < s.edges.cols; ++x)
      if (e[x] && (dx[x] != 0 || dy[x] != 0)) s.points.emplace_back(x, y);
  }

  const float dr = static_cast<float>(std::max(dp, 1.0));
  const float maxRadius = static_cast<float>(std::max(grey.rows, grey.cols));
  for (const cv::Vec3f& c : s.centres) {
    float radius = 0;
    int count = 0;
    if (DensestRing(s.points, c[0], c[1], dr, maxRadius, param2, s.distances, &radius, &count)) {
      *circle = cv::Vec3f(c[0], c[1], radius);
      return true;
    }
  }
  return false;
}

namespace {

// Precise pupils: the glint's centroid first (its blob is then masked so that it makes no
// edge), then the pupil's disc fitted to its edge where the eye is large enough to show one;
// in zoom pixels.
void RefinePupilAndGlint(PupilBuffers& b, float irisRadius, cv::Vec3f* circle, cv::Point2f* spot) {
  const cv::Point2f spotAt = ZoomToWindow(*spot);
  cv::Point2f glint;
  float level = 0;
  if (GlintCentroid(b.windowRaw, cv::Point(Nint(spotAt.x), Nint(spotAt.y)), &glint, &b.glintBlob,
                    &level))
    *spot = WindowToZoom(glint);
  else
    b.glintBlob.clear();
  if (irisRadius < kSmallestRefinedIris) return;
  cv::Point2f centre;
  float radius = 0;
  if (RefinePupilCentre(b.windowRaw, ZoomToWindow(cv::Point2f((*circle)[0], (*circle)[1])),
                        0.5f * (*circle)[2], b.glintBlob, level, &centre, &radius)) {
    const cv::Point2f z = WindowToZoom(centre);
    *circle = cv::Vec3f(z.x, z.y, 2 * radius);
  }
}

}  // namespace

void RunFinder1(const cv::Mat& frameCopy, const cv::Rect& region, PointHistory& history,
                const PupilSettings& settings, PupilBuffers& buffers, PupilResult* result) {
  *result = PupilResult{};
  if (!InsideImage(region, frameCopy) || frameCopy.type() != CV_8UC3) return;
  result->regionValid = true;

  cv::cvtColor(frameCopy(region), buffers.regionXyz, cv::COLOR_BGR2XYZ);
  ExtractZChannel(buffers.regionXyz, buffers.regionGrey);
  if (settings.equalise1) cv::equalizeHist(buffers.regionGrey, buffers.regionGrey);

  if (settings.precise) {
    cv::Point2f centre;
    // The eye centre looks at the red channel, in which irises of every colour and the
    // pupil are darker than the skin (in the Z channel a light iris is as bright as skin).
    cv::extractChannel(frameCopy(region), buffers.eyeCentre.input, 2);
    if (!GradientEyeCentre(buffers.eyeCentre.input, buffers.eyeCentre, &centre)) return;
    result->finder1Found = true;
    result->circle1 = cv::Vec3f(centre.x, centre.y, 0.f);
    history.Filter(Nint(centre.x), Nint(centre.y), &result->sx, &result->sy);
    return;
  }

  const double minDist = static_cast<double>(region.height / 2);
  if (!FindStrongestCircle(buffers.regionGrey, 2.0, minDist, settings.finder1Param1,
                           settings.finder1Param2, buffers.circles, &result->circle1))
    return;
  result->finder1Found = true;
  history.Filter(Nint(result->circle1[0]), Nint(result->circle1[1]), &result->sx, &result->sy);
}

namespace {

// Precise pupils: finder 2's circle when it agrees with the coarse eye centre, which sits in
// the middle of the pupil window (within kLargeEyeAgreement iris radii where the eye is large
// enough to show its pupil, within kSmallEyeAgreement where it is not); otherwise the coarse centre
// with the iris's expected size, moved to the darkest disc near it. On real eyes at webcam
// resolution the strongest circle in the window is as often the crease of a lid, a brow or the
// corner of the eye as it is the iris, while the gradient centre stays on the iris. The dark disc
// must be there too, so that a closed eye has no pupil.
bool PreciseRoughCircle(const PupilBuffers& b, const cv::Rect& region, bool finder2Found,
                        cv::Vec3f* circle) {
  const float iris = IrisRadius(region.width);
  const cv::Point2f coarse =
      WindowToZoom(cv::Point2f(float(kPupilWindowWidth / 2), float(kPupilWindowHeight / 2)));
  const float agreement = iris >= kSmallestRefinedIris ? kLargeEyeAgreement : kSmallEyeAgreement;
  const bool agrees = finder2Found && cv::norm(cv::Point2f((*circle)[0], (*circle)[1]) - coarse) <=
                                          2 * agreement * iris;
  if (!agrees) {
    const cv::Point2f centre = WindowToZoom(
        DarkestDisc(b.windowRaw, ZoomToWindow(coarse), iris, kDarkestDiscReach * iris));
    *circle = cv::Vec3f(centre.x, centre.y, 2 * iris);
  }
  return DarkDisc(b.windowRaw, ZoomToWindow(cv::Point2f((*circle)[0], (*circle)[1])), iris);
}

}  // namespace

void RunFinder2(const cv::Mat& frameCopy, const cv::Rect& region, const PupilSettings& settings,
                PupilBuffers& buffers, PupilResult* result) {
  if (!result->finder1Found) return;
  result->window = cv::Rect(result->sx + region.x - kPupilWindowWidth / 2,
                            result->sy + region.y - kPupilWindowHeight / 2, kPupilWindowWidth,
                            kPupilWindowHeight);
  if (!InsideImage(result->window, frameCopy)) return;
  result->windowValid = true;

  cv::cvtColor(frameCopy(result->window), buffers.windowGrey, cv::COLOR_BGR2GRAY);
  if (settings.precise) buffers.windowGrey.copyTo(buffers.windowRaw);
  if (settings.equalise2) cv::equalizeHist(buffers.windowGrey, buffers.windowGrey);
  cv::resize(buffers.windowGrey, buffers.pupilZoom,
             cv::Size(2 * kPupilWindowWidth, 2 * kPupilWindowHeight), 0, 0, cv::INTER_LINEAR);

  cv::Vec3f c;
  const bool found = FindStrongestCircle(buffers.pupilZoom, 1.0, 30.0, settings.finder2Param1,
                                         settings.finder2Param2, buffers.circles, &c);
  if (settings.precise ? !PreciseRoughCircle(buffers, region, found, &c) : !found) return;
  result->finder2Found = true;
  result->brightSpot = FindBrightSpot(buffers.pupilZoom, c[0], c[1], c[2] * 0.5f);
  if (settings.precise) {
    RefinePupilAndGlint(buffers, IrisRadius(region.width), &c, &result->brightSpot);
    const cv::Point2f at = ZoomToWindow(cv::Point2f(c[0], c[1]));
    result->pupilX = result->window.x + Nint(at.x);
    result->pupilY = result->window.y + Nint(at.y);
  } else {
    result->pupilX = result->window.x + Nint(c[0] * 0.5);
    result->pupilY = result->window.y + Nint(c[1] * 0.5);
  }
  result->circle2 = c;
  result->dx = OffsetToDegrees(ScaleOffset(c[0] - result->brightSpot.x));
  result->dy = OffsetToDegrees(ScaleOffset(result->brightSpot.y - c[1]));
}

}  // namespace pupiltrak
