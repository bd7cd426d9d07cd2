#pragma once
// A target-window host that shows the real windows and keeps a record of which exist, so that
// a generated user can look at the target on the screen. Any thread may create and destroy.

#include <map>
#include <mutex>

#include "platform/TargetWindowHost.h"

namespace pupiltrak {

class RecordingTargetWindows : public TargetWindowHost {
 public:
  explicit RecordingTargetWindows(TargetWindowHost& shown) : shown_(shown) {}

  bool RegisterClass(const QImage& targetBitmap) override;
  uintptr_t Create(const std::string& title, int x, int y, int w, int h,
                   unsigned long* error) override;
  void Destroy(uintptr_t handle) override;

  // The windows that exist, by title and geometry.
  const HeadlessTargetWindows& Record() const { return record_; }

 private:
  TargetWindowHost& shown_;
  HeadlessTargetWindows record_;
  std::mutex mutex_;
  std::map<uintptr_t, uintptr_t> recordOf_;  // shown handle -> record handle
};

}  // namespace pupiltrak
