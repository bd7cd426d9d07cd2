#include "tracking/EyeCentre.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace pupiltrak {

namespace {

// Sum over the gradients of max(0, d . g)^2 / |d|^2 for candidate (cx, cy), times its weight.
double Objective(const std::vector<cv::Vec4f>& gradients, float cx, float cy, float weight) {
  double sum = 0;
  for (const cv::Vec4f& g : gradients) {
    const float dx = g[0] - cx;
    const float dy = g[1] - cy;
    const float d2 = dx * dx + dy * dy;
    const float dot = dx * g[2] + dy * g[3];
    if (dot > 0 && d2 > 0) sum += dot * dot / d2;
  }
  return weight * sum / static_cast<double>(gradients.size());
}

float Median(std::vector<float>& v) {
  auto mid = v.begin() + static_cast<long>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

float Bilinear(const cv::Mat& f, float x, float y) {
  const int x0 = static_cast<int>(std::floor(x));
  const int y0 = static_cast<int>(std::floor(y));
  const float ax = x - x0, ay = y - y0;
  const int x1 = std::min(x0 + 1, f.cols - 1), y1 = std::min(y0 + 1, f.rows - 1);
  const float* r0 = f.ptr<float>(y0);
  const float* r1 = f.ptr<float>(y1);
  return (1 - ay) * ((1 - ax) * r0[x0] + ax * r0[x1]) + ay * ((1 - ax) * r1[x0] + ax * r1[x1]);
}

// Algebraic least-squares circle through the points (centred on origin for conditioning).
bool FitCircle(const std::vector<cv::Point2f>& points, cv::Point2f origin, cv::Point2f* centre,
               float* radius) {
  cv::Matx33d a = cv::Matx33d::zeros();
  cv::Vec3d b(0, 0, 0);
  for (const cv::Point2f& p : points) {
    const double x = p.x - origin.x, y = p.y - origin.y;
    const cv::Vec3d row(x, y, 1);
    const double z = -(x * x + y * y);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) a(i, j) += row[i] * row[j];
      b[i] += row[i] * z;
    }
  }
  cv::Vec3d s;
  if (!cv::solve(a, b, s, cv::DECOMP_CHOLESKY)) return false;
  const double cx = -s[0] / 2, cy = -s[1] / 2;
  const double r2 = cx * cx + cy * cy - s[2];
  if (!(r2 > 0)) return false;
  *centre = cv::Point2f(static_cast<float>(cx + origin.x), static_cast<float>(cy + origin.y));
  *radius = static_cast<float>(std::sqrt(r2));
  return true;
}

}  // namespace

bool GradientEyeCentre(const cv::Mat& grey, EyeCentreScratch& s, cv::Point2f* centre) {
  if (grey.empty() || grey.type() != CV_8UC1 || grey.cols < 8 || grey.rows < 8) return false;
  const int w = kEyeCentreWidth;
  const int h = std::max(8, static_cast<int>(std::lround(grey.rows * double(w) / grey.cols)));
  cv::resize(grey, s.small, cv::Size(w, h), 0, 0,
             grey.cols > w ? cv::INTER_AREA : cv::INTER_LINEAR);
  cv::Sobel(s.small, s.gx, CV_32F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
  cv::Sobel(s.small, s.gy, CV_32F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);

  // Only the clearer gradients vote: above mean + 0.3 standard deviations of the magnitudes.
  double sum = 0, sum2 = 0;
  for (int y = 0; y < h; ++y) {
    const float* gx = s.gx.ptr<float>(y);
    const float* gy = s.gy.ptr<float>(y);
    for (int x = 0; x < w; ++x) {
      const double m = std::sqrt(gx[x] * gx[x] + gy[x] * gy[x]);
      sum += m;
      sum2 += m * m;
    }
  }
  const double n = double(w) * h;
  const double mean = sum / n;
  const double threshold = mean + 0.3 * std::sqrt(std::max(0.0, sum2 / n - mean * mean));
  s.gradients.clear();
  for (int y = 0; y < h; ++y) {
    const float* gx = s.gx.ptr<float>(y);
    const float* gy = s.gy.ptr<float>(y);
    for (int x = 0; x < w; ++x) {
      const float m = std::sqrt(gx[x] * gx[x] + gy[x] * gy[x]);
      if (m > threshold && m > 0)
        s.gradients.emplace_back(float(x), float(y), gx[x] / m, gy[x] / m);
    }
  }
  if (s.gradients.size() < 8) return false;

  // Darker candidates weigh more: 255 minus the smoothed grey.
  cv::GaussianBlur(s.small, s.blurred, cv::Size(5, 5), 0, 0, cv::BORDER_REPLICATE);
  const auto weight = [&](int x, int y) { return 255.0f - s.blurred.at<uchar>(y, x); };
  const auto score = [&](int x, int y) {
    return Objective(s.gradients, float(x), float(y), weight(x, y));
  };

  // The objective on every second pixel, leaving out a quarter of the width on either side: the
  // regions are cut around the eyes from the face, and at their sides hair and the face's edge
  // are darker than any eye. Maxima that reach the border of the searched part (brows, hair)
  // are not the eye either: cells above 90 % of the best that connect to it are dropped, and
  // the best remaining cell is searched around once more.
  const int xMin = std::max(1, w / 4), xMax = std::min(w - 2, w - 1 - w / 4);
  const int gw = (xMax - xMin) / 2 + 1, gh = (h - 3) / 2 + 1;  // cell (i, j): xMin + 2i, 1 + 2j
  s.objective.create(gh, gw, CV_64F);
  double top = 0;
  for (int j = 0; j < gh; ++j)
    for (int i = 0; i < gw; ++i) {
      const double v = score(xMin + 2 * i, 1 + 2 * j);
      s.objective.at<double>(j, i) = v;
      top = std::max(top, v);
    }
  if (!(top > 0)) return false;
  const double high = 0.9 * top;
  s.dropped.create(gh, gw, CV_8U);
  s.dropped.setTo(0);
  std::vector<cv::Point> stack;
  for (int j = 0; j < gh; ++j)
    for (int i = 0; i < gw; ++i)
      if ((i == 0 || j == 0 || i == gw - 1 || j == gh - 1) &&
          s.objective.at<double>(j, i) >= high) {
        s.dropped.at<uchar>(j, i) = 1;
        stack.emplace_back(i, j);
      }
  while (!stack.empty()) {
    const cv::Point q = stack.back();
    stack.pop_back();
    for (const cv::Point d :
         {cv::Point(1, 0), cv::Point(-1, 0), cv::Point(0, 1), cv::Point(0, -1)}) {
      const cv::Point r = q + d;
      if (r.x < 0 || r.y < 0 || r.x >= gw || r.y >= gh || s.dropped.at<uchar>(r)) continue;
      if (s.objective.at<double>(r) < high) continue;
      s.dropped.at<uchar>(r) = 1;
      stack.push_back(r);
    }
  }
  double best = -1;
  int bx = -1, by = -1;
  for (int j = 0; j < gh; ++j)
    for (int i = 0; i < gw; ++i) {
      const double v = s.objective.at<double>(j, i);
      if (!s.dropped.at<uchar>(j, i) && v > best) best = v, bx = xMin + 2 * i, by = 1 + 2 * j;
    }
  if (bx < 0) return false;
  const int cx = bx, cy = by;
  for (int y = std::max(1, cy - 1); y <= std::min(h - 2, cy + 1); ++y) {
    for (int x = std::max(xMin, cx - 1); x <= std::min(xMax, cx + 1); ++x) {
      if ((x - xMin) % 2 == 0 && y % 2 == 1) continue;  // a cell already scored
      const double v = score(x, y);
      if (v > best) best = v, bx = x, by = y;
    }
  }
  const float scaleX = float(grey.cols) / w, scaleY = float(grey.rows) / h;
  *centre = cv::Point2f((bx + 0.5f) * scaleX - 0.5f, (by + 0.5f) * scaleY - 0.5f);
  return true;
}

cv::Point2f DarkestDisc(const cv::Mat& g, cv::Point2f start, float irisRadius, float reach) {
  if (g.empty() || g.type() != CV_8UC1) return start;
  const float inner = std::max(1.0f, 0.7f * irisRadius);
  const int r = static_cast<int>(std::ceil(inner));
  // Mean grey of the disc around (cx, cy), whole pixels; none when it leaves the window.
  const auto discMean = [&](int cx, int cy) {
    if (cx - r < 0 || cy - r < 0 || cx + r >= g.cols || cy + r >= g.rows) return 1e9;
    double sum = 0;
    int n = 0;
    for (int y = -r; y <= r; ++y) {
      const uchar* row = g.ptr<uchar>(cy + y);
      for (int x = -r; x <= r; ++x)
        if (x * x + y * y <= inner * inner) sum += row[cx + x], ++n;
    }
    return sum / n;
  };
  const int x0 = static_cast<int>(std::lround(start.x)),
            y0 = static_cast<int>(std::lround(start.y));
  const int steps = static_cast<int>(reach);
  double best = discMean(x0, y0);
  int bx = x0, by = y0;
  for (int dy = -steps; dy <= steps; ++dy)
    for (int dx = -steps; dx <= steps; ++dx) {
      if (dx * dx + dy * dy > reach * reach) continue;
      const double m = discMean(x0 + dx, y0 + dy);
      if (m < best) best = m, bx = x0 + dx, by = y0 + dy;
    }
  return cv::Point2f(float(bx), float(by));
}

bool DarkDisc(const cv::Mat& g, cv::Point2f centre, float irisRadius) {
  if (g.empty() || g.type() != CV_8UC1) return false;
  const float inner = std::max(1.0f, 0.7f * irisRadius);
  const float outerFrom = 1.6f * irisRadius, outerTo = 2.6f * irisRadius;
  std::vector<float> disc, ring;
  const int reach = static_cast<int>(std::ceil(outerTo));
  for (int y = static_cast<int>(centre.y) - reach; y <= static_cast<int>(centre.y) + reach; ++y) {
    if (y < 0 || y >= g.rows) continue;
    const uchar* row = g.ptr<uchar>(y);
    for (int x = static_cast<int>(centre.x) - reach; x <= static_cast<int>(centre.x) + reach; ++x) {
      if (x < 0 || x >= g.cols) continue;
      const float d = std::hypot(x - centre.x, y - centre.y);
      if (d <= inner)
        disc.push_back(row[x]);
      else if (d >= outerFrom && d <= outerTo)
        ring.push_back(row[x]);
    }
  }
  if (disc.empty() || ring.size() < 8) return false;
  // Against the ring's upper quartile: lids, lashes and brows darken parts of any ring.
  auto upper = ring.begin() + static_cast<long>(ring.size() * 3 / 4);
  std::nth_element(ring.begin(), upper, ring.end());
  // The disc's median: a closed lid's lash line darkens a thin part of it, an iris all of it.
  return *upper - Median(disc) >= kDarkDiscContrast;
}

bool GlintCentroid(const cv::Mat& g, cv::Point start, cv::Point2f* glint,
                   std::vector<cv::Point>* blob, float* background) {
  blob->clear();
  if (g.empty() || g.type() != CV_8UC1) return false;
  cv::Point p(std::clamp(start.x, 0, g.cols - 1), std::clamp(start.y, 0, g.rows - 1));
  // Up to the local maximum.
  for (int step = 0; step < 4; ++step) {
    cv::Point next = p;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const cv::Point q(p.x + dx, p.y + dy);
        if (q.x >= 0 && q.y >= 0 && q.x < g.cols && q.y < g.rows &&
            g.at<uchar>(q) > g.at<uchar>(next))
          next = q;
      }
    if (next == p) break;
    p = next;
  }
  const int peak = g.at<uchar>(p);

  constexpr int kRing = 4;
  std::vector<float> ring;
  for (int dy = -kRing; dy <= kRing; ++dy)
    for (int dx = -kRing; dx <= kRing; ++dx) {
      if (std::max(std::abs(dx), std::abs(dy)) != kRing) continue;
      const cv::Point q(p.x + dx, p.y + dy);
      if (q.x >= 0 && q.y >= 0 && q.x < g.cols && q.y < g.rows) ring.push_back(g.at<uchar>(q));
    }
  if (ring.size() < 8) return false;
  const float base = Median(ring);
  if (peak - base < 8) return false;
  const float threshold = base + 0.5f * (peak - base);

  // The 8-connected blob above the threshold within the ring, then one pixel more around it.
  constexpr int kSide = 2 * kRing + 3;  // room for the grown pixel
  uchar mark[kSide][kSide] = {};        // 1: blob, 2: grown
  const auto local = [&](cv::Point q) -> uchar& {
    return mark[q.y - p.y + kRing + 1][q.x - p.x + kRing + 1];
  };
  std::vector<cv::Point> stack{p};
  local(p) = 1;
  while (!stack.empty()) {
    const cv::Point q = stack.back();
    stack.pop_back();
    blob->push_back(q);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const cv::Point r(q.x + dx, q.y + dy);
        if (std::abs(r.x - p.x) >= kRing || std::abs(r.y - p.y) >= kRing) continue;
        if (r.x < 0 || r.y < 0 || r.x >= g.cols || r.y >= g.rows || local(r)) continue;
        if (g.at<uchar>(r) <= threshold) continue;
        local(r) = 1;
        stack.push_back(r);
      }
  }
  const size_t core = blob->size();
  for (size_t i = 0; i < core; ++i)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const cv::Point r((*blob)[i].x + dx, (*blob)[i].y + dy);
        if (r.x < 0 || r.y < 0 || r.x >= g.cols || r.y >= g.rows || local(r)) continue;
        local(r) = 2;
        blob->push_back(r);
      }

  double sw = 0, sx = 0, sy = 0;
  for (const cv::Point& q : *blob) {
    const double v = std::max(0.0, g.at<uchar>(q) - double(base));
    sw += v;
    sx += v * q.x;
    sy += v * q.y;
  }
  if (sw <= 0) return false;
  *glint = cv::Point2f(float(sx / sw), float(sy / sw));
  *background = base;
  return true;
}

namespace {

// Edge points of the dark disc on rays from c0 between tMin and tMax: on each ray the first
// rise that is a local maximum and at least half the ray's steepest (the limbus outside the
// pupil can rise more), located where the profile crosses halfway between its levels.
void PupilEdgePoints(const cv::Mat& f, cv::Point2f c0, float tMin, float tMax,
                     std::vector<float>& profile, std::vector<cv::Point2f>* edges) {
  constexpr int kRays = 64;
  constexpr float kStep = 0.5f;
  const int samples = static_cast<int>((tMax - tMin) / kStep) + 1;
  profile.resize(static_cast<size_t>(samples));
  edges->clear();
  for (int k = 0; k < kRays; ++k) {
    const double theta = 2 * CV_PI * k / kRays;
    const cv::Point2f dir(float(std::cos(theta)), float(std::sin(theta)));
    int n = 0;
    for (; n < samples; ++n) {
      const cv::Point2f q = c0 + dir * (tMin + n * kStep);
      if (q.x < 0 || q.y < 0 || q.x > f.cols - 1 || q.y > f.rows - 1) break;
      profile[size_t(n)] = Bilinear(f, q.x, q.y);
    }
    if (n < 7) continue;
    const auto rise = [&](int i) { return profile[size_t(i + 1)] - profile[size_t(i - 1)]; };
    float steepest = 0;
    for (int i = 1; i + 1 < n; ++i) steepest = std::max(steepest, rise(i));
    if (steepest < 10) continue;  // grey levels per pixel: no pupil edge on this ray
    int j = -1;
    for (int i = 1; i + 1 < n && j < 0; ++i) {
      const float d = rise(i);
      if (d >= 0.5f * steepest && (i + 2 >= n || d >= rise(i + 1))) j = i;
    }
    if (j < 0) continue;
    float lo = profile[size_t(j)], hi = profile[size_t(j)];
    for (int i = std::max(0, j - 4); i <= j; ++i) lo = std::min(lo, profile[size_t(i)]);
    for (int i = j; i <= std::min(n - 1, j + 4); ++i) hi = std::max(hi, profile[size_t(i)]);
    const float level = 0.5f * (lo + hi);
    // Where the profile crosses the level, nearest the rise.
    float t = -1;
    for (int d = 0; d <= 3 && t < 0; ++d) {
      for (int i : {j - d, j + d - 1}) {
        if (i < 0 || i + 1 >= n) continue;
        const float a = profile[size_t(i)], b = profile[size_t(i + 1)];
        if (a <= level && level < b) {
          t = tMin + kStep * (i + (level - a) / (b - a));
          break;
        }
      }
    }
    if (t >= 0) edges->push_back(c0 + dir * t);
  }
}

// The circle through the edge points, fitted again without those more than 2.5 median
// residuals (at least half a pixel) off it.
bool RobustCircle(const std::vector<cv::Point2f>& edges, cv::Point2f origin, cv::Point2f* c,
                  float* r) {
  if (edges.size() < 12 || !FitCircle(edges, origin, c, r)) return false;
  std::vector<float> residuals;
  for (const cv::Point2f& e : edges) residuals.push_back(std::abs(float(cv::norm(e - *c)) - *r));
  std::vector<float> sorted = residuals;
  const float limit = std::max(0.5f, 2.5f * Median(sorted));
  std::vector<cv::Point2f> kept;
  for (size_t i = 0; i < edges.size(); ++i)
    if (residuals[i] <= limit) kept.push_back(edges[i]);
  return kept.size() >= 12 && FitCircle(kept, origin, c, r);
}

}  // namespace

bool RefinePupilCentre(const cv::Mat& windowGrey, cv::Point2f c0, float r0,
                       const std::vector<cv::Point>& glintBlob, float glintLevel,
                       cv::Point2f* centre, float* radius) {
  if (windowGrey.empty() || windowGrey.type() != CV_8UC1 || !(r0 > 1)) return false;
  cv::Mat f;
  windowGrey.convertTo(f, CV_32F);
  for (const cv::Point& q : glintBlob) f.at<float>(q) = glintLevel;

  // Widely around the rough circle first (finder 2 may have taken the iris), then closely
  // around the first fit.
  std::vector<float> profile;
  std::vector<cv::Point2f> edges;
  cv::Point2f c;
  float r;
  PupilEdgePoints(f, c0, std::max(1.0f, 0.25f * r0), 1.6f * r0, profile, &edges);
  if (!RobustCircle(edges, c0, &c, &r)) return false;
  if (cv::norm(c - c0) > kMaxRefinementShift || !(r > 1)) return false;
  PupilEdgePoints(f, c, 0.6f * r, 1.4f * r, profile, &edges);
  const cv::Point2f c1 = c;
  const float r1 = r;
  if (!RobustCircle(edges, c1, &c, &r)) return false;
  if (cv::norm(c - c0) > kMaxRefinementShift || std::abs(r - r1) > 0.25f * r1) return false;
  *centre = c;
  *radius = r;
  return true;
}

}  // namespace pupiltrak
