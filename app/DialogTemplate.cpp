#include "app/DialogTemplate.h"

namespace pupiltrak {

namespace {

constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

// Rounds a * b / c to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  long long product = static_cast<long long>(a) * b;
  long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

const DialogTemplate& MainDialogTemplate() {
  using namespace control_id;
  using K = ControlKind;
  static const DialogTemplate dialog{
      102,
      "PUPILTRAK_08",
      320,
      535,
      {
          {kStartTracking, K::PushButton, "Start Tracking", 7, 7, 77, 14, true, false},
          {kStopTracking, K::PushButton, "Stop Tracking", 7, 26, 77, 14, false, false},
          {kSetCaptureFile, K::PushButton, "Set Capture File ...", 7, 45, 77, 14, true, false},
          {kExit, K::DefaultPushButton, "Exit", 7, 64, 78, 14, true, false},
          {kCaptureFileStatic, K::StaticText, "Capture file: not set", 7, 83, 306, 8, true, false},
          {kOptionsGroup, K::GroupBox, "Options", 97, 7, 99, 71, true, false},
          {kEyeRegions, K::CheckBox, "Eye Regions", 104, 19, 56, 10, true, false},
          {kGazeDirection, K::CheckBox, "Gaze Direction", 104, 30, 63, 10, true, false},
          {kCaptureToFile, K::CheckBox, "Capture to file", 104, 42, 64, 10, true, false},
          {kHelp, K::PushButton, "Help", 202, 7, 111, 14, true, false},
          {kCameraPropertyPage, K::PushButton, "Camera property page ...", 202, 26, 111, 14, true,
           false},
          {kVideoFormatProperties, K::PushButton, "Video format properties ...", 201, 46, 112, 14,
           true, false},
          {kCalibrate, K::PushButton, "Calibrate", 201, 66, 112, 14, true, false},
          {kStatic, K::GroupBox, "Detection parameters", 7, 300, 306, 119, true, false},
          {kEqualizeHist1, K::CheckBox, "Use EqualizeHist1", 17, 317, 73, 10, true, false},
          // Checked by the dialog's initialisation, not by the template.
          {kEqualizeHist2, K::CheckBox, "Use EqualizeHist2", 17, 330, 73, 10, true, false},
          {kFinder1Param1, K::Trackbar, "", 13, 345, 292, 15, true, false},
          {kFinder1Param2, K::Trackbar, "", 13, 362, 292, 15, true, false},
          {kFinder2Param1, K::Trackbar, "", 13, 379, 292, 15, true, false},
          {kFinder2Param2, K::Trackbar, "", 13, 396, 292, 15, true, false},
          {kEventLog, K::ListView, "", 7, 427, 306, 101, true, false},
      }};
  return dialog;
}

const DialogTemplate& AboutDialogTemplate() {
  using namespace control_id;
  using K = ControlKind;
  static const DialogTemplate dialog{
      100,
      "About PUPILTRAK_08",
      235,
      82,
      {
          {kStatic, K::Icon, "", 11, 17, 20, 20, true, false},
          {kStatic, K::StaticText, "PUPILTRAK_08 Version " PUPILTRAK_VERSION, 40, 17, 130, 8, true,
           false},
          {kStatic, K::StaticText, "Eye tracking with a single video camera", 40, 31, 186, 8, true,
           false},
          {kExit, K::DefaultPushButton, "OK", 178, 61, 50, 14, true, false},
      }};
  return dialog;
}

int DialogUnitsToPixelsX(int units) { return MulDiv(units, kBaseUnitX, 4); }
int DialogUnitsToPixelsY(int units) { return MulDiv(units, kBaseUnitY, 8); }

QRect DialogUnitsToPixels(const ControlTemplate& control) {
  // Each corner is mapped on its own, as the window system maps a dialog rectangle.
  int left = DialogUnitsToPixelsX(control.x);
  int top = DialogUnitsToPixelsY(control.y);
  int right = DialogUnitsToPixelsX(control.x + control.width);
  int bottom = DialogUnitsToPixelsY(control.y + control.height);
  return QRect(left, top, right - left, bottom - top);
}

}  // namespace pupiltrak
