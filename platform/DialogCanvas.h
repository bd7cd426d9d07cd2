#pragma once
// The main dialog's client area as an image the frame thread may draw into. Panel snapshots,
// strip-chart pixels and their scroll copies land here under a mutex; the GUI thread paints
// the image. Every change is reported (outside the lock) so the dialog can schedule a repaint.

#include <QImage>
#include <QRect>
#include <functional>
#include <mutex>

namespace pupiltrak {

class DialogCanvas {
 public:
  DialogCanvas(int width, int height);

  // Client rectangle (0, 0, width, height).
  QRect ClientRect() const;

  // Runs draw(image) under the canvas lock, then reports `changed` as modified.
  void Draw(const QRect& changed, const std::function<void(QImage&)>& draw);

  // Plain source copy of src to (x, y).
  void Blit(int x, int y, const QImage& src);

  // A copy of the current pixels.
  QImage Snapshot() const;
  // Copy of one region, for painting.
  QImage Region(const QRect& r) const;

  // Called (on the drawing thread, without the lock held) after every change.
  void SetChangedCallback(std::function<void(const QRect&)> callback);

 private:
  mutable std::mutex mutex_;
  QImage image_;
  std::function<void(const QRect&)> changed_;
  std::mutex callbackMutex_;
};

}  // namespace pupiltrak
