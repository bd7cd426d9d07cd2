#include "platform/TargetWindowHost.h"

#include <atomic>

namespace pupiltrak {

namespace {
HeadlessTargetWindows& BuiltIn() {
  static HeadlessTargetWindows host;
  return host;
}
std::atomic<TargetWindowHost*> current{nullptr};
}  // namespace

TargetWindowHost& TargetWindows() {
  TargetWindowHost* h = current.load();
  return h ? *h : BuiltIn();
}

void SetTargetWindows(TargetWindowHost* host) { current = host; }

bool HeadlessTargetWindows::RegisterClass(const QImage&) {
  std::lock_guard<std::mutex> lock(mutex_);
  registered_ = true;
  return true;
}

uintptr_t HeadlessTargetWindows::Create(const std::string& title, int x, int y, int w, int h,
                                        unsigned long* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!registered_) {
    if (error) *error = kErrorClassNotRegistered;
    return 0;
  }
  uintptr_t handle = next_++;
  windows_[handle] = Window{title, QRect(x, y, w, h)};
  ++created_;
  return handle;
}

void HeadlessTargetWindows::Destroy(uintptr_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.erase(handle);
}

bool HeadlessTargetWindows::Registered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registered_;
}

std::vector<HeadlessTargetWindows::Window> HeadlessTargetWindows::Existing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Window> out;
  for (auto& [h, w] : windows_) out.push_back(w);
  return out;
}

int HeadlessTargetWindows::Created() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return created_;
}

void HeadlessTargetWindows::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.clear();
  registered_ = false;
  created_ = 0;
}

}  // namespace pupiltrak
