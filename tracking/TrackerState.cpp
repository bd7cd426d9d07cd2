#include "tracking/TrackerState.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>

namespace pupiltrak {

static_assert(kOverlayFont.face == cv::FONT_HERSHEY_PLAIN);

TrackerState::TrackerState() = default;
TrackerState::~TrackerState() = default;

std::string TrackerState::CaptureFileName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captureFileName_;
}

void TrackerState::SetCaptureFileName(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  captureFileName_ = name;
}

IntRect TrackerState::SourceClientRect() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sourceClientRect_;
}

void TrackerState::SetSourceClientRect(const IntRect& r) {
  std::lock_guard<std::mutex> lock(mutex_);
  sourceClientRect_ = r;
}

void TrackerState::Apply(const TrackerSettings& s) {
  SearchEyeRegions = s.searchEyeRegions;
  EstimateGazeDirection = s.estimateGazeDirection;
  EqualizeHist1 = s.equalizeHist1;
  EqualizeHist2 = s.equalizeHist2;
  Finder1Param1 = s.finder1Param1;
  Finder1Param2 = s.finder1Param2;
  Finder2Param1 = s.finder2Param1;
  Finder2Param2 = s.finder2Param2;
  PrecisePupils = s.precisePupils;
  SmallestFace = s.smallestFace;
  FollowFace = s.followFace;
  RobustTracking = s.robustTracking;
}

void TrackerState::Reset() {
  TrackingActive = 0;
  CaptureToFile = 0;
  // The settings as the program starts, copied the one way settings are copied.
  Apply(TrackerSettings{});
  CalibrationActive = 0;
  CalibratedSinceStart = 0;
  FrameRate = 0.0;
  FaceCascade.reset();
  CaptureWriter.reset();
  Font = OverlayFont{};
  MainWindow = nullptr;
  SetCaptureFileName(kNoCaptureFile);
  SetSourceClientRect(IntRect{});
}

}  // namespace pupiltrak
