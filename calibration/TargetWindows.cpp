#include "calibration/TargetWindows.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/Prompts.h"
#include "platform/Surface.h"
#include "platform/TargetWindowHost.h"

namespace pupiltrak {

namespace {

constexpr int kWindowSize = 200;

// Truncation toward zero, kept within the range of screen positions that can be offset safely.
int TruncPosition(double v) {
  if (std::isnan(v)) return 0;
  const double limit = 1e9;
  return static_cast<int>(std::trunc(std::fmax(-limit, std::fmin(limit, v))));
}

}  // namespace

void RegisterTargetWindowClass(TargetWindowHost& host, const QImage& targetBitmap) {
  host.RegisterClass(targetBitmap);
}

TargetWindowHost& TargetWindowSlots::Host() const { return host_ ? *host_ : TargetWindows(); }

// Creates a target window centred on (x, y); returns its handle, or 0 with the error code.
uintptr_t TargetWindowSlots::CreateTarget(const std::string& title, int x, int y,
                                          unsigned long* error) {
  *error = 0;
  return Host().Create(title, x - kWindowSize / 2, y - kWindowSize / 2, kWindowSize, kWindowSize,
                       error);
}

void TargetWindowSlots::ReportFailure(unsigned long error) {
  char text[32];
  std::snprintf(text, sizeof text, "Error %lu", error);
  (prompts_ ? *prompts_ : UserPrompts()).MessageBox(text);
}

void TargetWindowSlots::DestroyCalibrationLocked() {
  for (uintptr_t& slot : calibration_) {
    if (slot) Host().Destroy(slot);
    slot = 0;
  }
}

void TargetWindowSlots::CreateCalibration(int i, double x, double y) {
  unsigned long error = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    DestroyCalibrationLocked();
    if (i < 0 || i >= kCalibrationSlots) return;
    char title[16];
    std::snprintf(title, sizeof title, "%d", i + 1);
    calibration_[i] = CreateTarget(title, TruncPosition(x), TruncPosition(y), &error);
    if (calibration_[i]) return;
  }
  // Reported outside the lock: on the GUI thread the message box is modal.
  ReportFailure(error);
}

void TargetWindowSlots::CreateAccuracy(int x, int y) {
  unsigned long error = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (accuracy_) Host().Destroy(accuracy_);
    accuracy_ = CreateTarget("TitleIsIrrelevant", x, y, &error);
    if (accuracy_) return;
  }
  ReportFailure(error);
}

void TargetWindowSlots::DestroyCalibration() {
  std::lock_guard<std::mutex> lock(mutex_);
  DestroyCalibrationLocked();
}

void TargetWindowSlots::DestroyAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  DestroyCalibrationLocked();
  if (accuracy_) Host().Destroy(accuracy_);
  accuracy_ = 0;
}

void DrawMarker(QImage& dst, const QImage& bitmap, int x, int y, QColor transparent) {
  // The fixed offset centres the 16 x 16 markers on (x, y).
  surface::DrawTransparent(dst, x - 8, y - 8, bitmap, transparent);
}

}  // namespace pupiltrak
