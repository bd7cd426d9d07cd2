#pragma once
// Named image windows ("Source", "Preview"). Create and Destroy run on the GUI thread;
// Show may be called from the frame thread and only hands over the latest image (frames are
// never queued up). The program installs the Qt implementation; tests and tools use
// HeadlessWindows, which keeps the latest image of each window.

#include <map>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>

#include "platform/Geometry.h"

namespace pupiltrak {

class NamedWindows {
 public:
  virtual ~NamedWindows() = default;
  // flags 1: the window sizes itself to the image. Returns false on failure.
  virtual bool Create(const std::string& name, int flags) = 0;
  // A non-zero handle of an existing window, 0 otherwise.
  virtual uintptr_t NativeHandle(const std::string& name) = 0;
  virtual void Destroy(const std::string& name) = 0;
  // Shows a copy of image (8-bit, 1 or 3 channels, top-down) in the named window.
  virtual void Show(const std::string& name, const cv::Mat& image) = 0;
  // Client rectangle of the window with that handle; false for handle 0 or an unknown one.
  virtual bool ClientRect(uintptr_t handle, IntRect* rect) = 0;
  // Shows a copy of image in the window with that handle (the camera layer's "render").
  virtual void ShowInHandle(uintptr_t handle, const cv::Mat& image) = 0;
};

NamedWindows& Windows();
// Installs windows (not owned); nullptr restores the built-in HeadlessWindows.
void SetWindows(NamedWindows* windows);

class HeadlessWindows : public NamedWindows {
 public:
  bool Create(const std::string& name, int flags) override;
  uintptr_t NativeHandle(const std::string& name) override;
  void Destroy(const std::string& name) override;
  void Show(const std::string& name, const cv::Mat& image) override;
  bool ClientRect(uintptr_t handle, IntRect* rect) override;
  void ShowInHandle(uintptr_t handle, const cv::Mat& image) override;

  bool Exists(const std::string& name) const;
  cv::Mat Latest(const std::string& name) const;
  int ShowCount(const std::string& name) const;
  // Makes the next Create of that name fail (tests of the failure paths).
  void FailCreate(const std::string& name, bool fail = true);

 private:
  struct Window {
    uintptr_t handle = 0;
    cv::Mat latest;
    int shows = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Window> windows_;
  std::map<std::string, bool> failCreate_;
  uintptr_t nextHandle_ = 1;
};

}  // namespace pupiltrak
