#include "calibration/CalibrationRun.h"

#include <algorithm>
#include <cmath>

#include "app/DialogControls.h"
#include "app/TrackerState.h"
#include "calibration/AccuracyTest.h"
#include "calibration/TargetWindows.h"
#include "display/StripChart.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"
#include "platform/Machine.h"
#include "platform/Prompts.h"
#include "platform/Resources.h"
#include "platform/Surface.h"

namespace {
constexpr int kEmblemBitmap = 141;
constexpr int kTargetBitmap = 158;
}  // namespace

CalibrationTarget::CalibrationTarget() {
  std::fill(std::begin(dxL), std::end(dxL), kEmptySlot);
  std::fill(std::begin(dyL), std::end(dyL), kEmptySlot);
  std::fill(std::begin(dxR), std::end(dxR), kEmptySlot);
  std::fill(std::begin(dyR), std::end(dyR), kEmptySlot);
}

bool CalibrationData::Complete() const {
  for (const CalibrationTarget& t : targets) {
    for (int s = 0; s < kSlotsPerTarget; ++s) {
      if (t.dxL[s] == kEmptySlot || t.dyL[s] == kEmptySlot || t.dxR[s] == kEmptySlot ||
          t.dyR[s] == kEmptySlot) {
        return false;
      }
    }
  }
  return true;
}

void StartRun(CalibrationData& data, int W, int H) {
  data.CurrentTarget = 0;
  data.CollectingSamples = true;
  data.W = W;
  data.H = H;
  const int m = H / 8;  // the same margin on both axes, taken from the height
  const int xs[3] = {m, W / 2, W - m};
  const int ys[3] = {m, H / 2, H - m};
  for (int i = 0; i < kCalibrationTargets; ++i) {
    CalibrationTarget& t = data.targets[i];
    t = CalibrationTarget();
    t.x = xs[i % 3];
    t.y = ys[i / 3];
  }
}

int StoreSample(CalibrationData& data, double dxL, double dyL, double dxR, double dyR) {
  CalibrationTarget& t = data.targets[std::clamp(data.CurrentTarget, 0, kCalibrationTargets - 1)];
  int slot = 0;
  for (int s = 0; s < kSlotsPerTarget; ++s) {
    if (t.dxL[s] == kEmptySlot) {
      slot = s;
      break;
    }
  }
  t.dxL[slot] = dxL;
  t.dyL[slot] = dyL;
  t.dxR[slot] = dxR;
  t.dyR[slot] = dyR;
  return slot;
}

bool AdvanceRun(CalibrationData& data, int slot) {
  if (slot != kSlotsPerTarget - 1) return false;
  if (data.CurrentTarget >= kCalibrationTargets - 1) {
    data.CollectingSamples = false;
    return false;
  }
  ++data.CurrentTarget;
  return true;
}

CalibrationSamples::CalibrationSamples() = default;

CalibrationData CalibrationSamples::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_;
}

RunView CalibrationSamples::View() const {
  std::lock_guard<std::mutex> lock(mutex_);
  RunView v;
  v.collecting = data_.CollectingSamples;
  v.currentTarget = data_.CurrentTarget;
  v.W = data_.W;
  v.H = data_.H;
  for (int i = 0; i < kCalibrationTargets; ++i) {
    v.x[i] = data_.targets[i].x;
    v.y[i] = data_.targets[i].y;
  }
  return v;
}

bool CalibrationSamples::CollectingSamples() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_.CollectingSamples;
}

int CalibrationSamples::Width() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_.W;
}

void CalibrationSamples::StartRun(QSize fullScreen, const std::function<void()>& alsoUnderLock) {
  std::lock_guard<std::mutex> lock(mutex_);
  ::StartRun(data_, fullScreen.width(), fullScreen.height());
  if (alsoUnderLock) alsoUnderLock();
}

void CalibrationSamples::AppendSample(double dxL, double dyL, double dxR, double dyR,
                                      CalibrationProtocol& protocol, MachineFacts& machine) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A sample arriving after the run ended (a frame racing the end of the run) would overwrite
  // a sample the fit has already used.
  if (!data_.CollectingSamples) return;
  const int target = data_.CurrentTarget;
  const int slot = StoreSample(data_, dxL, dyL, dxR, dyR);
  // Written under the same lock, so the lines of an old and a new run never interleave.
  protocol.Write(SampleLineText(target, slot, dxL, dyL, dxR, dyR));
  if (AdvanceRun(data_, slot)) machine.Beep();
}

void CalibrationSamples::WithData(const std::function<void(const CalibrationData&)>& f) const {
  std::lock_guard<std::mutex> lock(mutex_);
  f(data_);
}

void CalibrationSamples::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  data_ = CalibrationData();
}

CalibrationSamples& SharedCalibrationSamples() {
  static CalibrationSamples samples;
  return samples;
}

void RunCalibrateCommand(CalibrationParts& parts, DialogControls& dialog) {
  if (parts.state.TrackingActive.load() == 0) {
    parts.prompts.MessageBox("Please start tracking before you try to calibrate.");
    return;
  }
  const std::string path = parts.machine.ProgramDirectory() + kCalibrationProtocolFileName;
  std::string error;
  bool opened = false;
  parts.samples.StartRun(parts.machine.FullScreenSize(), [&] {
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

void CalibrateCommand(DialogControls& dialog) {
  CalibrationParts parts{Tracker(),
                         SharedCalibrationSamples(),
                         SharedGazeMapping(),
                         SharedGazeSmoother(),
                         SharedCalibrationProtocol(),
                         Machine(),
                         UserPrompts()};
  RunCalibrateCommand(parts, dialog);
}

namespace {

class RealPanelEffects : public PanelEffects {
 public:
  void CreateCalibrationWindow(int index, double x, double y) override {
    CreateCalibrationTargetWindow(index, x, y);
  }
  void DestroyCalibrationWindows() override { DestroyCalibrationTargetWindows(); }
  void CreateAccuracyWindow(int x, int y) override { CreateAccuracyTargetWindow(x, y); }
  void AddChartValues(double x, double y, bool gap) override {
    DialogCanvas* canvas = Tracker().MainWindow.load();
    if (!canvas) return;
    GazeXChart().AddValue(*canvas, x, gap);
    GazeYChart().AddValue(*canvas, y, gap);
  }
};

}  // namespace

PanelEffects& SharedPanelEffects() {
  static RealPanelEffects effects;
  return effects;
}

PanelMemory& SharedPanelMemory() {
  static PanelMemory memory;
  return memory;
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
  const QImage& emblem = ResourceBitmap(kEmblemBitmap);
  surface::BitBlt(surface, 0, 0, emblem.width(), emblem.height(), emblem, 0, 0);

  const bool validTarget = targetIndex >= 0 && targetIndex < kCalibrationTargets;
  if (collecting) {
    DrawPanelCaption(surface, QStringLiteral("Calibration"));
    if (validTarget) {
      const QPoint p =
          PanelTargetPosition(surface.size(), run.W, run.H, run.x[targetIndex], run.y[targetIndex]);
      DrawMarker(surface, ResourceBitmap(kTargetBitmap), p.x(), p.y(), Qt::white);
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

void AppendCalibrationSample(double dxL, double dyL, double dxR, double dyR) {
  SharedCalibrationSamples().AppendSample(dxL, dyL, dxR, dyR, SharedCalibrationProtocol(),
                                          Machine());
}

bool CalibrationCollecting() { return SharedCalibrationSamples().CollectingSamples(); }

void SharedCalibrationPanelStep(QImage& surface) {
  const RunView run = SharedCalibrationSamples().View();
  TrackerState& state = Tracker();
  // The pipeline copies the collecting flag into CalibrationActive after every sample; a
  // Calibrate that restarts the run between its read and its store would leave the new run
  // collecting but never fed. Collecting always implies active, so restore it here.
  if (run.collecting && state.CalibrationActive.load() == 0) state.CalibrationActive = 1;
  CalibrationPanelStep(surface, run.collecting, run.currentTarget, run,
                       state.CalibratedSinceStart.load() != 0, SharedPanelMemory(),
                       SharedPanelEffects(),
                       [&run](QImage& s) { SharedAccuracyTestStep(s, run.W, run.H); });
}

void ResetCalibrationForTests() {
  SharedCalibrationSamples().Reset();
  SharedPanelMemory() = PanelMemory();
  ResetGazeMappingToProgramStart();
  SharedGazeSmoother().Reset(QSize(0, 0));
  ResetSharedCalibrationProtocol();
  SharedAccuracyAccumulator().Reset();
  SharedAccuracyTargetPicker().ResetToProgramStart();
}
