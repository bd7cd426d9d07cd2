#include "mapping/CalibrationData.h"

#include <algorithm>

#include "mapping/CalibrationProtocol.h"
#include "platform/Machine.h"

namespace pupiltrak {

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

void CalibrationSamples::StartRun(int W, int H, const std::function<void()>& alsoUnderLock) {
  std::lock_guard<std::mutex> lock(mutex_);
  pupiltrak::StartRun(data_, W, H);
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

}  // namespace pupiltrak
