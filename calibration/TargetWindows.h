#pragma once
// Target windows on the screen and the transparent marker drawing.
//
// The windows live in a target-window host, the session's; a session's slots keep its nine
// calibration windows and its accuracy window. They are called from the frame thread and may
// be called from the dialog too, so the slots are guarded.

#include <QColor>
#include <QImage>
#include <cstdint>
#include <mutex>
#include <string>

namespace pupiltrak {

class Prompts;
class TargetWindowHost;

// Registers the target window class with the host once, at dialog initialisation.
void RegisterTargetWindowClass(TargetWindowHost& host, const QImage& targetBitmap);

class TargetWindowSlots {
 public:
  static constexpr int kCalibrationSlots = 9;

  // host: where the windows are made; prompts: where a failure is shown. Null: the
  // process's (TargetWindows(), UserPrompts()), looked up at each use.
  explicit TargetWindowSlots(TargetWindowHost* host = nullptr, Prompts* prompts = nullptr)
      : host_(host), prompts_(prompts) {}

  // Calibration target window i (0..8) centred on the target's screen position (x, y),
  // truncated to integers; destroys all calibration target windows first. An index outside
  // 0..8 only destroys them. A failed creation shows "Error %lu" with the error code.
  void CreateCalibration(int i, double x, double y);
  // Replaces the accuracy target window by one centred on (x, y).
  void CreateAccuracy(int x, int y);
  void DestroyCalibration();
  // Destroys the calibration windows and the accuracy window (for the end of a session).
  void DestroyAll();

 private:
  void DestroyCalibrationLocked();
  TargetWindowHost& Host() const;
  uintptr_t CreateTarget(const std::string& title, int x, int y, unsigned long* error);
  void ReportFailure(unsigned long error);

  TargetWindowHost* const host_;
  Prompts* const prompts_;
  std::mutex mutex_;
  uintptr_t calibration_[kCalibrationSlots] = {};
  uintptr_t accuracy_ = 0;
};

// Draws the 16 x 16 bitmap with its top-left corner at (x - 8, y - 8), leaving the destination
// unchanged wherever the bitmap has the transparent colour.
void DrawMarker(QImage& dst, const QImage& bitmap, int x, int y, QColor transparent);

}  // namespace pupiltrak
