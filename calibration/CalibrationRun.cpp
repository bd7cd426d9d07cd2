#include "calibration/CalibrationRun.h"

#include <algorithm>
#include <cmath>

#include "calibration/TargetWindows.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"
#include "platform/DialogControls.h"
#include "platform/Machine.h"
#include "platform/Prompts.h"
#include "platform/Resources.h"
#include "platform/Surface.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

void RunCalibrateCommand(CalibrationParts& parts, DialogControls& dialog) {
  if (parts.state.TrackingActive.load() == 0) {
    parts.prompts.MessageBox("Please start tracking before you try to calibrate.");
    return;
  }
  // Where the start-up line said calibrations are recorded.
  const std::string path = CalibrationProtocolPath(parts.machine);
  std::string error;
  bool opened = false;
  const QSize fullScreen = parts.machine.FullScreenSize();
  parts.samples.StartRun(fullScreen.width(), fullScreen.height(), [&] {
    parts.mapping.Set(GazeMapping::Identity());
    opened = parts.protocol.Open(path, &error);
  });
  parts.machine.Beep();
  parts.smoother.Reset(parts.machine.FullScreenSize());
  parts.state.CalibrationActive = 1;
  parts.state.CalibratedSinceStart = 1;
  // The run goes on without a protocol: its lines are dropped.
  if (!opened) {
    dialog.AddBugLine("Could not open " + std::string(kCalibrationProtocolFileName) +
                      " for writing: " + path + " (" + error + ")");
  }
}

void DrawPanelCaption(QImage& surface, const QString& text) {
  static const QFont font = surface::Arial(20);
  surface::DrawCentredText(surface, QRect(0, 0, surface.width(), surface.height()), text, font,
                           QColor(128, 128, 128));
}

QPoint PanelTargetPosition(QSize panel, int W, int H, double x, double y) {
  if (W <= 0 || H <= 0) return QPoint(-1000, -1000);  // no run yet: off the panel
  return QPoint(static_cast<int>(std::trunc(panel.width() / static_cast<double>(W) * x)),
                static_cast<int>(std::trunc(panel.height() / static_cast<double>(H) * y)));
}

void CalibrationPanelStep(QImage& surface, bool collecting, int targetIndex, const RunView& run,
                          bool calibratedSinceStart, PanelMemory& memory, PanelEffects& effects,
                          const std::function<void(QImage&)>& accuracyStep) {
  const int w = surface.width();
  const int h = surface.height();
  surface::Rectangle(surface, 0, 0, w, h, Qt::white, Qt::white);
  const QImage& emblem = ResourceBitmap(resource_id::kCalibrationEmblem);
  surface::BitBlt(surface, 0, 0, emblem.width(), emblem.height(), emblem, 0, 0);

  const bool validTarget = targetIndex >= 0 && targetIndex < kCalibrationTargets;
  if (collecting) {
    DrawPanelCaption(surface, QStringLiteral("Calibration"));
    if (validTarget) {
      const QPoint p =
          PanelTargetPosition(surface.size(), run.W, run.H, run.x[targetIndex], run.y[targetIndex]);
      DrawMarker(surface, ResourceBitmap(resource_id::kTargetMarker), p.x(), p.y(), Qt::white);
      if (targetIndex != memory.LastShownTarget) {
        effects.CreateCalibrationWindow(targetIndex, run.x[targetIndex], run.y[targetIndex]);
      }
    }
  } else {
    if (!calibratedSinceStart) {
      DrawPanelCaption(surface, QStringLiteral("Please calibrate!"));
    } else if (accuracyStep) {
      accuracyStep(surface);
    }
    // The window of the last target goes with the first step after the run ended.
    if (memory.WasCollecting) effects.DestroyCalibrationWindows();
  }
  memory.WasCollecting = collecting;
  if (collecting) memory.LastShownTarget = targetIndex;
}

}  // namespace pupiltrak
