#include "TargetFollowingUser.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/TargetWindowHost.h"

namespace pupiltrak {

LookTarget VisibleTarget(const HeadlessTargetWindows& windows, cv::Size screen) {
  LookTarget accuracy;
  LookTarget calibration;
  for (const auto& w : windows.Existing()) {
    cv::Point2d centre(w.geometry.x() + w.geometry.width() / 2,
                       w.geometry.y() + w.geometry.height() / 2);
    if (w.title == "TitleIsIrrelevant")
      accuracy = LookTarget{LookTarget::Kind::Accuracy, centre};
    else  // calibration windows are titled with their target's number, 1..9
      calibration =
          LookTarget{LookTarget::Kind::Calibration, centre, std::atoi(w.title.c_str()) - 1};
  }
  // A calibration target asks for the user's attention even while the accuracy window of an
  // earlier test is still on the screen.
  if (calibration.kind == LookTarget::Kind::Calibration) return calibration;
  if (accuracy.kind == LookTarget::Kind::Accuracy) return accuracy;
  return LookTarget{LookTarget::Kind::ScreenCentre,
                    cv::Point2d(screen.width / 2.0, screen.height / 2.0)};
}

LookTarget TargetFollowingUser::LastLook() const {
  std::lock_guard<std::mutex> lock(lookMutex_);
  return lastLook_;
}

TargetFollowingUser::TargetFollowingUser(gen::FaceFrameGenerator generator,
                                         const HeadlessTargetWindows& windows, Options options)
    : generator_(std::move(generator)), windows_(windows), options_(options), rng_(options.seed) {}

cv::Point2d TargetFollowingUser::ScanPointAt(int64_t n) const {
  for (const auto& p : options_.scanPath) {
    if (n < p.frames) return p.point;
    n -= p.frames;
  }
  return options_.scanPath.back().point;
}

cv::Mat TargetFollowingUser::Frame(int64_t index) {
  if (options_.maxFrames >= 0 && index >= options_.maxFrames) return cv::Mat();
  LookTarget target = VisibleTarget(windows_, options_.user.screen);
  if (target.kind == LookTarget::Kind::Accuracy && !options_.scanPath.empty())
    target.point = ScanPointAt(accuracyFrames_.load());
  {
    std::lock_guard<std::mutex> lock(lookMutex_);
    lastLook_ = target;
  }
  if (target.kind == LookTarget::Kind::Accuracy) {
    if (options_.accuracyFrames >= 0 && accuracyFrames_.load() >= options_.accuracyFrames)
      return cv::Mat();  // the session is over: the source ends
    ++accuracyFrames_;
  } else if (target.kind == LookTarget::Kind::Calibration) {
    ++calibrationFrames_;
  }
  gen::FrameSpec shot;
  shot.gazeOffset = options_.user.OffsetsFor(target.point.x, target.point.y, &rng_);
  shot.noiseSigma = options_.noiseSigma;
  shot.noiseSeed = options_.seed * 1000003ULL + static_cast<uint64_t>(index);
  if (options_.blinkEvery > 0 && index % options_.blinkEvery == options_.blinkEvery - 1) {
    shot.blink = true;
    ++blinkFrames_;
  } else if (options_.oneEyeEvery > 0 && index % options_.oneEyeEvery == options_.oneEyeEvery / 2) {
    // The image-right eye closed: the right half of the face from a frame with closed lids.
    cv::Mat open = generator_.Render(shot);
    shot.blink = true;
    cv::Mat closed = generator_.Render(shot);
    int mid = static_cast<int>(
        std::lround((generator_.EyeCentre(0).x + generator_.EyeCentre(1).x) / 2.0));
    mid = std::clamp(mid, 0, open.cols);
    closed(cv::Rect(mid, 0, open.cols - mid, open.rows))
        .copyTo(open(cv::Rect(mid, 0, open.cols - mid, open.rows)));
    ++oneEyeFrames_;
    return open;
  }
  return generator_.Render(shot);
}

}  // namespace pupiltrak
