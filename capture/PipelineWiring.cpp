#include "capture/PipelineWiring.h"

#include "app/TrackerState.h"
#include "calibration/CalibrationRun.h"
#include "display/StatusPanel.h"
#include "display/StripChart.h"
#include "mapping/GazeMapping.h"
#include "platform/NamedWindows.h"
#include "tracking/EyeRegions.h"
#include "tracking/PupilFinder.h"

namespace {
PipelineContext MakeContext() {
  PipelineContext ctx;
  ctx.state = &Tracker();
  ctx.results = &SharedFrameResults();
  ctx.eyeRegions = &SharedEyeRegions();
  ctx.histories[0] = &SharedPointHistory(1);
  ctx.histories[1] = &SharedPointHistory(2);
  ctx.dialog = nullptr;  // set per frame from the tracker state's main window
  ctx.windows = &Windows();
  ctx.hooks.drawStatusPanel = DrawSharedStatusPanel;
  ctx.hooks.calibrationPanelStep = SharedCalibrationPanelStep;
  ctx.hooks.appendSample = AppendCalibrationSample;
  ctx.hooks.collectingSamples = CalibrationCollecting;
  ctx.hooks.fitGazeMapping = FitGazeMapping;
  ctx.hooks.showCharts = ShowGazeCharts;
  return ctx;
}
}  // namespace

PipelineContext& SharedPipelineContext() {
  static PipelineContext ctx = MakeContext();
  ctx.dialog = Tracker().MainWindow.load();
  ctx.windows = &Windows();
  return ctx;
}
