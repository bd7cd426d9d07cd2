#include "VirtualUser.h"

#include <cmath>

namespace pupiltrak {

namespace gen {

std::array<cv::Point2f, 2> VirtualUser::OffsetsFor(double x, double y, cv::RNG* rng) const {
  const double ux = x - screen.width / 2.0;
  const double uy = y - screen.height / 2.0;
  std::array<cv::Point2f, 2> out;
  for (int e = 0; e < 2; ++e) {
    double ox = gainX * ux + restOffset[e].x;
    double oy = gainY * uy + restOffset[e].y;
    if (rng && jitter > 0) {
      ox += rng->gaussian(jitter);
      oy += rng->gaussian(jitter);
    }
    out[e] = cv::Point2f(static_cast<float>(ox), static_cast<float>(oy));
  }
  return out;
}

std::vector<cv::Point2d> GridPoints(cv::Size screen, int margin) {
  std::vector<cv::Point2d> points;
  const double xs[3] = {static_cast<double>(margin), screen.width / 2.0,
                        static_cast<double>(screen.width - margin)};
  const double ys[3] = {static_cast<double>(margin), screen.height / 2.0,
                        static_cast<double>(screen.height - margin)};
  for (double y : ys)
    for (double x : xs) points.emplace_back(x, y);
  return points;
}

FrameSpec Session::SpecAt(int64_t index, const VirtualUser& user, cv::Point2d* lookingAt) const {
  FrameSpec shot;
  cv::Point2d point(user.screen.width / 2.0, user.screen.height / 2.0);
  if (!points.empty() && framesPerPoint > 0) {
    const int64_t k = (index / framesPerPoint) % static_cast<int64_t>(points.size());
    point = points[static_cast<size_t>(k)];
  }
  if (lookingAt) *lookingAt = point;

  // Each frame's jitter and noise come from its own seed, so any frame can be made alone.
  cv::RNG rng(seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(index) + 1);
  shot.gazeOffset = user.OffsetsFor(point.x, point.y, &rng);
  if (blinkEvery > 0 && index % blinkEvery >= blinkEvery - blinkLength) shot.blink = true;
  if (swayAmplitude > 0 && swayPeriod > 0) {
    const double phase = 2 * M_PI * static_cast<double>(index) / swayPeriod;
    shot.headShift = cv::Point2f(static_cast<float>(swayAmplitude * std::sin(phase)),
                                 static_cast<float>(0.5 * swayAmplitude * std::sin(2 * phase)));
  }
  shot.noiseSigma = noiseSigma;
  shot.noiseSeed = rng.next();
  return shot;
}

}  // namespace gen

}  // namespace pupiltrak
