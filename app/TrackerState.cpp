#include "app/TrackerState.h"

#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>

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

void TrackerState::Reset() {
  TrackingActive = 0;
  CaptureToFile = 0;
  SearchEyeRegions = 0;
  EstimateGazeDirection = 0;
  EqualizeHist1 = 0;
  EqualizeHist2 = 1;
  Finder1Param1 = 1;
  Finder1Param2 = 1;
  Finder2Param1 = 60;
  Finder2Param2 = 30;
  CalibrationActive = 0;
  CalibratedSinceStart = 0;
  FrameRate = 0.0;
  PrecisePupils = 0;
  FaceCascade.reset();
  CaptureWriter.reset();
  Font = OverlayFont{};
  MainWindow = nullptr;
  SetCaptureFileName(kNoCaptureFile);
  SetSourceClientRect(IntRect{});
}

TrackerState& Tracker() {
  static TrackerState state;
  return state;
}

void ResetTrackerState() { Tracker().Reset(); }
