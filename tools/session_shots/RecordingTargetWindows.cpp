#include "RecordingTargetWindows.h"

namespace pupiltrak {

bool RecordingTargetWindows::RegisterClass(const QImage& targetBitmap) {
  record_.RegisterClass(targetBitmap);
  return shown_.RegisterClass(targetBitmap);
}

uintptr_t RecordingTargetWindows::Create(const std::string& title, int x, int y, int w, int h,
                                         unsigned long* error) {
  const uintptr_t handle = shown_.Create(title, x, y, w, h, error);
  if (handle == 0) return 0;
  const uintptr_t recorded = record_.Create(title, x, y, w, h, nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  recordOf_[handle] = recorded;
  return handle;
}

void RecordingTargetWindows::Destroy(uintptr_t handle) {
  shown_.Destroy(handle);
  uintptr_t recorded = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = recordOf_.find(handle);
    if (it == recordOf_.end()) return;
    recorded = it->second;
    recordOf_.erase(it);
  }
  record_.Destroy(recorded);
}

}  // namespace pupiltrak
