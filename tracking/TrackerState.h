#pragma once
// The flags, detection parameters and handles shared by the dialog (GUI thread), tracking
// start/stop and the frame thread. Flags and numbers are atomics; the two multi-word values
// (capture file name, source client rectangle) are guarded by a mutex.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Geometry.h"
#include "tracking/TrackerSettings.h"

namespace cv {
class CascadeClassifier;
class VideoWriter;
}  // namespace cv

namespace pupiltrak {

class DialogCanvas;

inline constexpr const char* kNoCaptureFile = "No capture file selected";
inline constexpr const char* kCascadeFileName = "haarcascade_frontalface_default.xml";

// Hershey text settings used to write "Face not found" on the frame copy.
struct OverlayFont {
  int face = 0;  // cv::FONT_HERSHEY_PLAIN is 1; 0 until tracking start sets it
  double hscale = 0, vscale = 0, shear = 0;
  int thickness = 0;
  int lineType = 8;
};
// The font tracking start sets: cv::FONT_HERSHEY_PLAIN, scale 4, thickness 4.
inline constexpr OverlayFont kOverlayFont{1, 4.0, 4.0, 0.0, 4, 8};

struct TrackerState {
  std::atomic<int> TrackingActive{0};
  std::atomic<int> CaptureToFile{0};
  std::atomic<int> SearchEyeRegions{kDefaultSearchEyeRegions};
  std::atomic<int> EstimateGazeDirection{kDefaultEstimateGazeDirection};
  std::atomic<int> EqualizeHist1{kDefaultEqualizeHist1};
  std::atomic<int> EqualizeHist2{kDefaultEqualizeHist2};
  std::atomic<int> Finder1Param1{kDefaultFinder1Param1};
  std::atomic<int> Finder1Param2{kDefaultFinder1Param2};
  std::atomic<int> Finder2Param1{kDefaultFinder2Param1};
  std::atomic<int> Finder2Param2{kDefaultFinder2Param2};
  std::atomic<int> CalibrationActive{0};
  std::atomic<int> CalibratedSinceStart{0};
  std::atomic<double> FrameRate{0.0};
  // "Precise pupils" of the dialog's menu: gradient eye centre, sub-pixel pupil and glint.
  std::atomic<int> PrecisePupils{kDefaultPrecisePupils};
  // The smallest face searched for, as a share of the picture's height (0.2 to 0.5).
  std::atomic<double> SmallestFace{kDefaultSmallestFace};
  // "Follow the face": search near the last face first.
  std::atomic<int> FollowFace{kDefaultFollowFace};
  // "Robust tracking": smaller faces, following and precise pupils together, whatever the three
  // settings of their own say.
  std::atomic<int> RobustTracking{kDefaultRobustTracking};

  // Set once at dialog initialisation, before any frame thread exists; null when loading failed.
  std::shared_ptr<cv::CascadeClassifier> FaceCascade;
  // Created by tracking start before TrackingActive is set, released after the camera stopped.
  std::unique_ptr<cv::VideoWriter> CaptureWriter;
  // Set by tracking start before TrackingActive is set.
  OverlayFont Font;
  // The main dialog's client area (set at dialog initialisation; null without a dialog).
  std::atomic<DialogCanvas*> MainWindow{nullptr};

  std::string CaptureFileName() const;
  void SetCaptureFileName(const std::string& name);
  IntRect SourceClientRect() const;
  void SetSourceClientRect(const IntRect& r);

  TrackerState();
  ~TrackerState();
  TrackerState(const TrackerState&) = delete;
  TrackerState& operator=(const TrackerState&) = delete;
  // Back to the program-start defaults; no frame thread may be running.
  void Reset();
  // The options and slider values from settings (nothing else changes).
  void Apply(const TrackerSettings& settings);

 private:
  mutable std::mutex mutex_;
  std::string captureFileName_ = kNoCaptureFile;
  IntRect sourceClientRect_;
};

}  // namespace pupiltrak
