#pragma once
// Target windows as real top-level Qt windows: frameless, always on top, tool windows (not in
// the task bar), black, with the registered bitmap at the centre.
//
// Create and Destroy may be called from any thread: they hand the request to the GUI thread
// with a queued call and return at once, so the frame thread never waits for the GUI. The
// host itself must be created on the GUI thread.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <map>
#include <mutex>

#include "platform/TargetWindowHost.h"

namespace pupiltrak {

class QtTargetWindows : public QObject, public TargetWindowHost {
 public:
  explicit QtTargetWindows(QObject* parent = nullptr);
  ~QtTargetWindows() override;

  bool RegisterClass(const QImage& targetBitmap) override;
  uintptr_t Create(const std::string& title, int x, int y, int w, int h,
                   unsigned long* error) override;
  void Destroy(uintptr_t handle) override;

  // GUI thread only: the window of a handle once its queued creation has run (null before, or
  // after it was destroyed).
  QWidget* WindowOf(uintptr_t handle) const;
  // GUI thread only: how many target windows exist.
  int WindowCount() const;

 private:
  void CreateNow(uintptr_t handle, const QString& title, const QRect& geometry,
                 const QImage& bitmap);
  void DestroyNow(uintptr_t handle);

  std::mutex mutex_;  // guards the registration and the handle counter
  bool registered_ = false;
  QImage bitmap_;
  uintptr_t next_ = 1;
  std::map<uintptr_t, QPointer<QWidget>> windows_;  // GUI thread only
};

}  // namespace pupiltrak
