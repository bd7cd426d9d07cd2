#include "display/GazePictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace pupiltrak {

namespace {

const cv::Scalar kBackground(40, 40, 40);
const cv::Scalar kScreen(16, 16, 16);
const cv::Scalar kText(235, 235, 235);
constexpr int kMargin = 40;         // around the screen, for the captions
constexpr double kMaxWidth = 1000;  // pictures of large screens are scaled down to this

double ScaleFor(cv::Size screen) {
  return screen.width > kMaxWidth ? kMaxWidth / screen.width : 1.0;
}

// A distinct colour for the k-th target: hues around the circle, spaced by the golden angle.
cv::Scalar TargetColour(int k) {
  cv::Mat hsv(1, 1, CV_8UC3, cv::Scalar(std::fmod(k * 137.508, 360.0) / 2.0, 200, 255));
  cv::Mat bgr;
  cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
  const cv::Vec3b c = bgr.at<cv::Vec3b>(0, 0);
  return cv::Scalar(c[0], c[1], c[2]);
}

struct Canvas {
  cv::Mat image;
  double scale = 1;
  cv::Point origin{kMargin, kMargin};
  cv::Point At(cv::Point2d p) const {
    return origin + cv::Point(static_cast<int>(std::lround(p.x * scale)),
                              static_cast<int>(std::lround(p.y * scale)));
  }
};

Canvas MakeCanvas(cv::Size screen) {
  Canvas c;
  c.scale = ScaleFor(screen);
  const cv::Size inner(static_cast<int>(std::lround(screen.width * c.scale)),
                       static_cast<int>(std::lround(screen.height * c.scale)));
  c.image = cv::Mat(inner.height + 2 * kMargin, inner.width + 2 * kMargin, CV_8UC3, kBackground);
  cv::rectangle(c.image, cv::Rect(c.origin, inner), kScreen, cv::FILLED);
  cv::rectangle(c.image, cv::Rect(c.origin, inner), cv::Scalar(120, 120, 120), 1);
  char size[64];
  std::snprintf(size, sizeof size, "screen %d x %d px", screen.width, screen.height);
  cv::putText(c.image, size, cv::Point(kMargin, c.image.rows - 14), cv::FONT_HERSHEY_SIMPLEX, 0.5,
              kText, 1, cv::LINE_AA);
  return c;
}

// Two caption lines fit above the screen.
void Caption(Canvas& c, const std::string& text, int line = 0) {
  cv::putText(c.image, text, cv::Point(kMargin, 16 + 17 * line), cv::FONT_HERSHEY_SIMPLEX, 0.5,
              kText, 1, cv::LINE_AA);
}

}  // namespace

cv::Mat DrawAccuracyPicture(cv::Size screen, const std::vector<cv::Point2d>& calibrationTargets,
                            const std::vector<GazeSample>& samples, const AccuracyFigure& figure) {
  Canvas c = MakeCanvas(screen);
  // Targets in the order they were first looked at; each keeps its colour and its estimates.
  struct Target {
    cv::Point2d point;
    int phase;
    std::vector<cv::Point2d> estimates;
  };
  std::vector<Target> targets;
  for (size_t k = 0; k < calibrationTargets.size(); ++k)
    targets.push_back({calibrationTargets[k], static_cast<int>(k), {}});
  for (const GazeSample& s : samples) {
    if (s.phase < 0) continue;
    auto it = std::find_if(targets.begin(), targets.end(), [&](const Target& t) {
      return t.phase == s.phase && t.point == s.target;
    });
    if (it == targets.end()) it = targets.insert(targets.end(), {s.target, s.phase, {}});
    it->estimates.push_back(s.gaze);
  }
  // Dots first, then the joins and the targets over them.
  for (size_t k = 0; k < targets.size(); ++k)
    for (const cv::Point2d& g : targets[k].estimates)
      cv::circle(c.image, c.At(g), 2, TargetColour(static_cast<int>(k)), cv::FILLED, cv::LINE_AA);
  for (size_t k = 0; k < targets.size(); ++k) {
    const Target& t = targets[k];
    const cv::Scalar colour = TargetColour(static_cast<int>(k));
    const cv::Point at = c.At(t.point);
    if (!t.estimates.empty()) {
      cv::Point2d mean;
      for (const cv::Point2d& g : t.estimates) mean += g;
      mean *= 1.0 / static_cast<double>(t.estimates.size());
      cv::line(c.image, at, c.At(mean), colour, 2, cv::LINE_AA);
      cv::circle(c.image, c.At(mean), 5, colour, cv::FILLED, cv::LINE_AA);
      cv::circle(c.image, c.At(mean), 5, kText, 1, cv::LINE_AA);
    }
    if (t.phase == kAccuracyPhase) {
      cv::circle(c.image, at, 9, colour, 2, cv::LINE_AA);
      cv::drawMarker(c.image, at, kText, cv::MARKER_CROSS, 10, 1, cv::LINE_AA);
    } else {
      cv::rectangle(c.image, at - cv::Point(8, 8), at + cv::Point(8, 8), colour, 2, cv::LINE_AA);
      cv::putText(c.image, std::to_string(t.phase + 1), at + cv::Point(11, -9),
                  cv::FONT_HERSHEY_SIMPLEX, 0.45, kText, 1, cv::LINE_AA);
    }
  }
  char text[240];
  if (figure.estimates > 0) {
    std::snprintf(text, sizeof text,
                  "RMS error %.1f px = %.2f deg from where the user looked (%d estimates, %d "
                  "accuracy targets)",
                  figure.rmsPixels, figure.rmsDegrees, figure.estimates, figure.targets);
  } else {
    std::snprintf(text, sizeof text, "no gaze estimates on accuracy targets");
  }
  Caption(c, text);
  if (!figure.protocolPixels.empty()) {
    // The protocol also counts the frame after each new target, before the eyes have moved.
    std::snprintf(text, sizeof text, "protocol: %s px = %s deg from the target shown",
                  figure.protocolPixels.c_str(), figure.protocolDegrees.c_str());
    Caption(c, text, 1);
  }
  if (!figure.quality.empty())
    cv::putText(c.image, figure.quality, c.origin + cv::Point(8, 18), cv::FONT_HERSHEY_SIMPLEX,
                0.45, kText, 1, cv::LINE_AA);
  cv::putText(c.image, "squares: calibration targets, circles: accuracy targets, dots: estimates",
              cv::Point(c.image.cols / 2 - 60, c.image.rows - 14), cv::FONT_HERSHEY_SIMPLEX, 0.4,
              kText, 1, cv::LINE_AA);
  return c.image;
}

cv::Mat DrawGazeHeatMap(cv::Size screen, const std::vector<cv::Point2d>& gaze) {
  Canvas c = MakeCanvas(screen);
  const cv::Size inner(static_cast<int>(std::lround(screen.width * c.scale)),
                       static_cast<int>(std::lround(screen.height * c.scale)));
  cv::Mat density(inner, CV_32F, cv::Scalar(0));
  int off = 0;
  for (const cv::Point2d& g : gaze) {
    // Tested before the conversion to int, which is undefined for them.
    const double sx = std::floor(g.x * c.scale), sy = std::floor(g.y * c.scale);
    if (!(sx >= 0 && sy >= 0 && sx < inner.width && sy < inner.height)) {
      ++off;
      continue;
    }
    density.at<float>(static_cast<int>(sy), static_cast<int>(sx)) += 1.0f;
  }
  // About a degree of visual angle on a desktop screen: the spread of one fixation.
  const double sigma = std::max(2.0, 20.0 * c.scale);
  cv::GaussianBlur(density, density, cv::Size(), sigma);
  double peak = 0;
  cv::minMaxLoc(density, nullptr, &peak);
  cv::Mat heat(inner, CV_8UC3, kScreen);
  if (peak > 0) {
    cv::Mat level;
    density.convertTo(level, CV_8U, 255.0 / peak);
    cv::Mat coloured;
    cv::applyColorMap(level, coloured, cv::COLORMAP_INFERNO);
    // Where nothing was looked at the screen stays dark rather than the map's lowest colour.
    cv::Mat seen = level > 2;
    coloured.copyTo(heat, seen);
  }
  heat.copyTo(c.image(cv::Rect(c.origin, inner)));
  char text[160];
  std::snprintf(text, sizeof text, "gaze over the screen: %zu estimates, %d off the screen",
                gaze.size(), off);
  Caption(c, text);
  return c.image;
}

void DrawScanPath(cv::Mat& picture, cv::Size screen, const std::vector<Fixation>& fixations) {
  const double scale = ScaleFor(screen);
  const cv::Point origin(kMargin, kMargin);
  auto at = [&](const Fixation& f) {
    return origin + cv::Point(static_cast<int>(std::lround(f.x * scale)),
                              static_cast<int>(std::lround(f.y * scale)));
  };
  const cv::Scalar path(80, 220, 255);
  for (size_t i = 1; i < fixations.size(); ++i)
    cv::line(picture, at(fixations[i - 1]), at(fixations[i]), path, 1, cv::LINE_AA);
  if (!fixations.empty())
    cv::putText(picture, "yellow: fixations in order, sized by duration",
                cv::Point(picture.cols - kMargin - 330, kMargin + 36), cv::FONT_HERSHEY_SIMPLEX,
                0.4, path, 1, cv::LINE_AA);
  for (const Fixation& f : fixations) {
    // 100 ms: a small circle; every further 100 ms widens it, up to a second's size.
    const int radius = static_cast<int>(
        std::lround((4.0 + 2.0 * std::min(f.durationMs, 1000.0) / 100.0) * std::max(scale, 0.5)));
    cv::circle(picture, at(f), radius, path, 2, cv::LINE_AA);
    cv::putText(picture, std::to_string(f.number), at(f) + cv::Point(radius + 2, -radius),
                cv::FONT_HERSHEY_SIMPLEX, 0.4, path, 1, cv::LINE_AA);
  }
}

bool WritePicture(const std::string& path, const cv::Mat& picture, std::string* error) {
  bool ok = false;
  try {
    ok = cv::imwrite(path, picture);
  } catch (const cv::Exception&) {
    ok = false;
  }
  if (!ok) *error = "cannot write the picture " + path;
  return ok;
}

}  // namespace pupiltrak
