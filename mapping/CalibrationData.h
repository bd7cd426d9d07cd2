#pragma once
// The samples of a nine-target calibration run: the plain record the fit and the protocol read,
// and the store the frame thread fills while the Calibrate command may restart it.
//
// The Calibrate command (GUI thread) restarts the run while the frame thread may be storing a
// sample; the store is one record under one mutex, so every sample lands whole in either the
// old run or the new one.

#include <functional>
#include <mutex>

namespace pupiltrak {

class CalibrationProtocol;
class MachineFacts;

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
  void StartRun(int W, int H, const std::function<void()>& alsoUnderLock = {});
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

}  // namespace pupiltrak
