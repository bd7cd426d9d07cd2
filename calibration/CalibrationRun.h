#pragma once
// The nine-target calibration run, its sample store and the calibration panel.
//
// The Calibrate command (GUI thread) restarts the run while the frame thread may be storing a
// sample; the store is one record under one mutex, so every sample lands whole in either the
// old run or the new one.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <functional>
#include <mutex>

class DialogControls;
class MachineFacts;
class Prompts;
class CalibrationProtocol;
class GazeSmoother;
class GazeMappingStore;
struct TrackerState;

inline constexpr int kCalibrationTargets = 9;
inline constexpr int kSlotsPerTarget = 40;
// The fit and the report's means leave out each target's first samples.
inline constexpr int kFirstFittedSlot = 10;
inline constexpr double kEmptySlot = -9999.9999;

struct CalibrationTarget {
  double x = 0, y = 0;  // screen pixels, whole numbers
  double dxL[kSlotsPerTarget];
  double dyL[kSlotsPerTarget];
  double dxR[kSlotsPerTarget];
  double dyR[kSlotsPerTarget];
  CalibrationTarget();  // every slot empty
};

// The sample store of one run, as a plain value.
struct CalibrationData {
  CalibrationTarget targets[kCalibrationTargets];
  int CurrentTarget = 0;
  bool CollectingSamples = false;
  int W = 0, H = 0;  // full-screen client size at the start of the run

  // Every slot of every target holds a sample.
  bool Complete() const;
};

// Start of a run: target 0, collecting, every slot empty, W and H recorded, the 3 x 3 target
// grid with the margin H / 8 on both axes.
void StartRun(CalibrationData& data, int W, int H);
// Stores a sample in the first empty slot of the current target (slot 0 when none is empty)
// and returns the slot.
int StoreSample(CalibrationData& data, double dxL, double dyL, double dxR, double dyR);
// After a sample was stored in slot: at slot 39 the run moves to the next target (returns true:
// beep) or, after target 8, stops collecting (returns false: no beep).
bool AdvanceRun(CalibrationData& data, int slot);

// What the panel step needs of the run, read consistently in one go.
struct RunView {
  bool collecting = false;
  int currentTarget = 0;
  int W = 0, H = 0;
  double x[kCalibrationTargets] = {};
  double y[kCalibrationTargets] = {};
};

class CalibrationSamples {
 public:
  CalibrationSamples();
  CalibrationData Snapshot() const;
  RunView View() const;
  bool CollectingSamples() const;
  // W of the last run start (0 before any).
  int Width() const;
  // Starts a run; alsoUnderLock runs under the same lock, so no sample of the frame thread
  // slips in between the reset and what belongs with it (mapping reset, protocol open).
  void StartRun(QSize fullScreen, const std::function<void()>& alsoUnderLock = {});
  // AppendSample: store, sample line, advance with the beep.
  void AppendSample(double dxL, double dyL, double dxR, double dyR, CalibrationProtocol& protocol,
                    MachineFacts& machine);
  // Runs f on the data under the lock.
  void WithData(const std::function<void(const CalibrationData&)>& f) const;
  // Back to program start (tests).
  void Reset();

 private:
  mutable std::mutex mutex_;
  CalibrationData data_;
};

CalibrationSamples& SharedCalibrationSamples();

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
void CalibrateCommand(DialogControls& dialog);
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

// The real target windows and the charts on the main dialog (nothing without a dialog).
PanelEffects& SharedPanelEffects();

// Memory of the panel step across frames (frame thread only).
struct PanelMemory {
  int LastShownTarget = -1;  // never reset in the program
  bool WasCollecting = false;
};
PanelMemory& SharedPanelMemory();

// Grey Arial 20 text centred in the whole surface, transparent background.
void DrawPanelCaption(QImage& surface, const QString& text);
// Panel position of a screen point: trunc(w / W * x), trunc(h / H * y).
QPoint PanelTargetPosition(QSize panel, int W, int H, double x, double y);

// One panel step: white panel with the emblem; while collecting the caption "Calibration",
// the target marker and the target window; otherwise "Please calibrate!" or the accuracy test.
void CalibrationPanelStep(QImage& surface, bool collecting, int targetIndex, const RunView& run,
                          bool calibratedSinceStart, PanelMemory& memory, PanelEffects& effects,
                          const std::function<void(QImage&)>& accuracyStep);

// Pipeline hooks on the shared run.
void AppendCalibrationSample(double dxL, double dyL, double dxR, double dyR);
bool CalibrationCollecting();
void SharedCalibrationPanelStep(QImage& surface);

// Every shared record of calibration, mapping and accuracy back to program start: samples,
// panel memory, mapping, smoother, protocol (closed), accumulator, target picker (tests).
void ResetCalibrationForTests();
