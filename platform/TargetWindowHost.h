#pragma once
// Top-level target windows ("Calib" class): frameless, always on top, not in the task bar,
// black, showing the registered target bitmap at the centre of their client area.
// Create and Destroy may be called from the frame thread: the Qt implementation carries
// them to the GUI thread without waiting, so they never block the caller.

#include <QImage>
#include <QRect>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace pupiltrak {

class TargetWindowHost {
 public:
  virtual ~TargetWindowHost() = default;
  // Registers the window class with the bitmap every target window shows. Returns success.
  virtual bool RegisterClass(const QImage& targetBitmap) = 0;
  // Creates and shows a window at screen position (x, y) of size w x h with that title.
  // Returns a non-zero handle, or 0 with *error set to a system-style error code.
  virtual uintptr_t Create(const std::string& title, int x, int y, int w, int h,
                           unsigned long* error) = 0;
  virtual void Destroy(uintptr_t handle) = 0;
};

TargetWindowHost& TargetWindows();
// Installs a host (not owned); nullptr restores the built-in HeadlessTargetWindows.
void SetTargetWindows(TargetWindowHost* host);

// Error code reported when the class was never registered (as the window system reports it).
inline constexpr unsigned long kErrorClassNotRegistered = 1407;

// Keeps a record of the windows that exist; creation fails until the class is registered.
class HeadlessTargetWindows : public TargetWindowHost {
 public:
  struct Window {
    std::string title;
    QRect geometry;
  };
  bool RegisterClass(const QImage& targetBitmap) override;
  uintptr_t Create(const std::string& title, int x, int y, int w, int h,
                   unsigned long* error) override;
  void Destroy(uintptr_t handle) override;

  bool Registered() const;
  std::vector<Window> Existing() const;
  int Created() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  bool registered_ = false;
  std::map<uintptr_t, Window> windows_;
  uintptr_t next_ = 1;
  int created_ = 0;
};

}  // namespace pupiltrak
