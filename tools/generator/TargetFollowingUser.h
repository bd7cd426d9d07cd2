#pragma once
// A virtual user who looks at whichever target is on the screen: the calibration target
// window while one is shown, otherwise the accuracy target window, otherwise the screen
// centre. Its frames come from a real face photograph whose rendered pupils and glints follow
// the eye model toward that point, with sensor noise. Used as a generated frame source by the
// demo and by the end-to-end tests.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "FaceFrameGenerator.h"
#include "VirtualUser.h"

namespace pupiltrak {

class HeadlessTargetWindows;

struct LookTarget {
  enum class Kind { ScreenCentre, Calibration, Accuracy };
  Kind kind = Kind::ScreenCentre;
  cv::Point2d point;
  int index = -1;  // the calibration target's index (0..8)
};

// The target a user would look at among the windows that exist now.
LookTarget VisibleTarget(const HeadlessTargetWindows& windows, cv::Size screen);

class TargetFollowingUser {
 public:
  struct Options {
    gen::VirtualUser user;
    double noiseSigma = 2.0;  // sensor noise, grey levels
    int blinkEvery = 0;       // a blink every this many frames (0: never)
    int oneEyeEvery = 0;      // a frame with the image-right eye closed every this many frames
    uint64_t seed = 8;
    // End the source (an empty frame) after this many frames looking at accuracy targets;
    // negative: never.
    int64_t accuracyFrames = -1;
    // End the source after this many frames in all, whatever happened; negative: never.
    int64_t maxFrames = -1;
    // A scan path for the accuracy test: instead of its targets the user looks at each point
    // for its frames, in order, and at the last one after that (empty: the targets).
    struct ScanPoint {
      cv::Point2d point;
      int frames = 0;
    };
    std::vector<ScanPoint> scanPath;
  };

  TargetFollowingUser(gen::FaceFrameGenerator generator, const HeadlessTargetWindows& windows,
                      Options options);

  // The frame with the given index (called on the camera layer's worker thread).
  cv::Mat Frame(int64_t index);

  // Where the user looked in the frame rendered last (the camera layer processes each frame
  // right after rendering it, on the same thread).
  LookTarget LastLook() const;

  int64_t FramesOnAccuracyTargets() const { return accuracyFrames_.load(); }
  int64_t FramesOnCalibrationTargets() const { return calibrationFrames_.load(); }
  // Frames rendered with both eyes closed / with one eye closed.
  int64_t BlinkFrames() const { return blinkFrames_.load(); }
  int64_t OneEyeFrames() const { return oneEyeFrames_.load(); }

 private:
  // The scan path's point for the n-th frame looking at the accuracy test.
  cv::Point2d ScanPointAt(int64_t n) const;

  gen::FaceFrameGenerator generator_;
  const HeadlessTargetWindows& windows_;
  Options options_;
  cv::RNG rng_;
  mutable std::mutex lookMutex_;
  LookTarget lastLook_;
  std::atomic<int64_t> accuracyFrames_{0};
  std::atomic<int64_t> calibrationFrames_{0};
  std::atomic<int64_t> blinkFrames_{0};
  std::atomic<int64_t> oneEyeFrames_{0};
};

}  // namespace pupiltrak
