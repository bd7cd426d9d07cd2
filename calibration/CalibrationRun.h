#pragma once
// The nine-target calibration run: the Calibrate command and the calibration panel.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>

#include "mapping/CalibrationData.h"

namespace pupiltrak {

class DialogControls;
class MachineFacts;
class Prompts;
class CalibrationProtocol;
class GazeSmoother;
class GazeMappingStore;
struct TrackerState;

// What the Calibrate command works on.
struct CalibrationParts {
  TrackerState& state;
  CalibrationSamples& samples;
  GazeMappingStore& mapping;
  GazeSmoother& smoother;
  CalibrationProtocol& protocol;
  MachineFacts& machine;
  Prompts& prompts;
};

// The Calibrate command (button 1021), on the GUI thread. The dialog is told of failures it
// should log (the protocol file that cannot be opened).
void RunCalibrateCommand(CalibrationParts& parts, DialogControls& dialog);

// The side effects of the panel step outside its drawing surface: target windows and charts.
class PanelEffects {
 public:
  virtual ~PanelEffects() = default;
  virtual void CreateCalibrationWindow(int index, double x, double y) = 0;
  virtual void DestroyCalibrationWindows() = 0;
  virtual void CreateAccuracyWindow(int x, int y) = 0;
  // One value (or a gap) on "Gaze X", then one on "Gaze Y".
  virtual void AddChartValues(double x, double y, bool gap) = 0;
};

// Memory of the panel step across frames (frame thread only).
struct PanelMemory {
  int LastShownTarget = -1;  // never reset in the program
  bool WasCollecting = false;
};

// Grey Arial 20 text centred in the whole surface, transparent background.
void DrawPanelCaption(QImage& surface, const QString& text);
// Panel position of a screen point: trunc(w / W * x), trunc(h / H * y).
QPoint PanelTargetPosition(QSize panel, int W, int H, double x, double y);

// One panel step: white panel with the emblem; while collecting the caption "Calibration",
// the target marker and the target window; otherwise "Please calibrate!" or the accuracy test.
void CalibrationPanelStep(QImage& surface, bool collecting, int targetIndex, const RunView& run,
                          bool calibratedSinceStart, PanelMemory& memory, PanelEffects& effects,
                          const std::function<void(QImage&)>& accuracyStep);

}  // namespace pupiltrak
