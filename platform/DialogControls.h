#pragma once
// What the tracking and camera commands need of the main dialog: its event log and the
// enabled state of its controls. The dialog implements it; tests may fake it.

#include <string>

namespace pupiltrak {

// Control identifiers of the main dialog.
namespace control_id {
inline constexpr int kExit = 1;
inline constexpr int kHelp = 16;
inline constexpr int kStartTracking = 1000;
inline constexpr int kStopTracking = 1001;
inline constexpr int kCaptureFileStatic = 1002;
inline constexpr int kSetCaptureFile = 1003;
inline constexpr int kEventLog = 1004;
inline constexpr int kOptionsGroup = 1009;
inline constexpr int kEyeRegions = 1010;
inline constexpr int kGazeDirection = 1012;
inline constexpr int kCaptureToFile = 1017;
inline constexpr int kCameraPropertyPage = 1019;
inline constexpr int kVideoFormatProperties = 1020;
inline constexpr int kCalibrate = 1021;
inline constexpr int kEqualizeHist1 = 1022;
inline constexpr int kEqualizeHist2 = 1023;
inline constexpr int kFinder1Param2 = 1025;
inline constexpr int kFinder2Param1 = 1026;
inline constexpr int kFinder2Param2 = 1027;
inline constexpr int kFinder1Param1 = 1028;
// Controls the program never addresses (group boxes, fixed texts, pictures).
inline constexpr int kStatic = -1;
}  // namespace control_id

class DialogControls {
 public:
  virtual ~DialogControls() = default;
  virtual void AddLogLine(const std::string& text) = 0;
  // Adds "Bug: " + text with the beetle icon.
  virtual void AddBugLine(const std::string& text) = 0;
  // id: one of control_id (the tracking commands switch Start, Stop, Capture to file, Exit).
  virtual void EnableControl(int id, bool enabled) = 0;
};

}  // namespace pupiltrak
