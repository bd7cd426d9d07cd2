#include "platform/NamedWindows.h"

#include <atomic>

namespace pupiltrak {

namespace {
HeadlessWindows& BuiltIn() {
  static HeadlessWindows windows;
  return windows;
}
std::atomic<NamedWindows*> current{nullptr};
}  // namespace

NamedWindows& Windows() {
  NamedWindows* w = current.load();
  return w ? *w : BuiltIn();
}

void SetWindows(NamedWindows* windows) { current = windows; }

bool HeadlessWindows::Create(const std::string& name, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto fail = failCreate_.find(name);
  if (fail != failCreate_.end() && fail->second) return false;
  auto& w = windows_[name];
  if (w.handle == 0) w.handle = nextHandle_++;
  return true;
}

uintptr_t HeadlessWindows::NativeHandle(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  return it == windows_.end() ? 0 : it->second.handle;
}

void HeadlessWindows::Destroy(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.erase(name);
}

void HeadlessWindows::Show(const std::string& name, const cv::Mat& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  if (it == windows_.end()) return;  // like the vision library: no window, nothing shown
  image.copyTo(it->second.latest);
  ++it->second.shows;
}

bool HeadlessWindows::ClientRect(uintptr_t handle, IntRect* rect) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, w] : windows_) {
    if (handle != 0 && w.handle == handle) {
      // Sized to the image: the latest image shown, or nothing yet.
      *rect = IntRect{0, 0, w.latest.cols, w.latest.rows};
      return true;
    }
  }
  return false;
}

void HeadlessWindows::ShowInHandle(uintptr_t handle, const cv::Mat& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, w] : windows_) {
    if (handle != 0 && w.handle == handle) {
      image.copyTo(w.latest);
      ++w.shows;
      return;
    }
  }
}

bool HeadlessWindows::Exists(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return windows_.count(name) != 0;
}

cv::Mat HeadlessWindows::Latest(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  return it == windows_.end() ? cv::Mat() : it->second.latest.clone();
}

int HeadlessWindows::ShowCount(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  return it == windows_.end() ? 0 : it->second.shows;
}

void HeadlessWindows::FailCreate(const std::string& name, bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failCreate_[name] = fail;
}

}  // namespace pupiltrak
