#pragma once
// The results of the latest processed frame. Written only by the pipeline on the frame thread;
// only the found-flags are cleared per frame, so readers test them first.

#include <string>

#include "platform/Geometry.h"

namespace pupiltrak {

struct FloatPoint {
  float x = 0, y = 0;
};
struct IntPoint {
  int x = 0, y = 0;
};

struct FrameResults {
  bool faceFound = false;
  int faceRect[4] = {0, 0, 0, 0};  // x1, y1, x2, y2 in frame-copy pixels
  bool pupilFound[2] = {false, false};
  IntPoint pupilPos[2];        // frame-copy pixels
  FloatPoint circleCentre[2];  // finder 2's circle centre, pupil-zoom pixels
  float circleRadius[2] = {0, 0};
  FloatPoint brightSpot[2];    // pupil-zoom pixels
  IntPoint filteredCentre[2];  // finder 1's filtered centre, eye-region pixels
  bool finder1Found[2] = {false, false};
  double dxL = 0, dyL = 0;  // eye region 1, degrees
  double dxR = 0, dyR = 0;  // eye region 2, degrees
  double detectionMs = 0;
  std::string detectionText;  // "Detection Time = %.0lf ms"
  IntRect panelRect;
  IntRect calibrationPanelRect;
  // The gaze estimate of this frame in screen pixels, once a calibration has completed and
  // both eyes were found (set by the accuracy test step; cleared with the found-flags).
  bool gazeFound = false;
  double gazeX = 0, gazeY = 0;
};

}  // namespace pupiltrak
