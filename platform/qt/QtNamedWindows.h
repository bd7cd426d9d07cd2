#pragma once
// "Source" and "Preview" as top-level Qt windows. Create and Destroy run on the GUI thread.
// Show and ShowInHandle may run on the frame thread: they only replace the window's latest
// image under a lock and queue one repaint if none is queued yet, so frames never pile up
// and the frame thread never waits for the GUI thread.

#include <QImage>
#include <QWidget>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/NamedWindows.h"

namespace pupiltrak {

// What the frame thread and the window share: the latest image and the client size.
struct ImageWindowState {
  std::mutex mutex;
  QImage latest;
  QSize clientSize;
  std::atomic<bool> repaintQueued{false};
  std::atomic<int> deliveries{0};  // images handed over
};

// The window showing the latest image at its top-left corner; with autosize it takes the
// image's size.
class ImageWindow : public QWidget {
 public:
  ImageWindow(const QString& title, bool autosize, std::shared_ptr<ImageWindowState> state);
  // GUI thread: takes the latest image, resizes to it when autosizing, repaints.
  void TakeLatest();
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::shared_ptr<ImageWindowState> state_;
  QImage shown_;
  bool autosize_;
  int repaints_ = 0;
};

class QtNamedWindows : public NamedWindows {
 public:
  // Client size of an autosizing window before its first image.
  static constexpr int kInitialWidth = 320;
  static constexpr int kInitialHeight = 240;

  QtNamedWindows();
  ~QtNamedWindows() override;
  bool Create(const std::string& name, int flags) override;
  uintptr_t NativeHandle(const std::string& name) override;
  void Destroy(const std::string& name) override;
  void Show(const std::string& name, const cv::Mat& image) override;
  bool ClientRect(uintptr_t handle, IntRect* rect) override;
  void ShowInHandle(uintptr_t handle, const cv::Mat& image) override;

  // The window of that name (GUI thread), or null.
  ImageWindow* Window(const std::string& name) const;

 private:
  struct Entry {
    uintptr_t handle = 0;
    std::shared_ptr<ImageWindowState> state;
    ImageWindow* window = nullptr;  // owned; touched on the GUI thread only
  };
  // Hands the image to the window; the caller holds mutex_.
  void Deliver(Entry& entry, const cv::Mat& image);

  mutable std::mutex mutex_;
  std::map<std::string, Entry> windows_;
  uintptr_t nextHandle_ = 1;
};

// A copy of an 8-bit image (1, 3 or 4 channels, B, G, R order) as a QImage; null otherwise.
QImage MatToQImage(const cv::Mat& image);

}  // namespace pupiltrak
