#include "platform/DialogCanvas.h"

#include <QPainter>

namespace pupiltrak {

DialogCanvas::DialogCanvas(int width, int height) : image_(width, height, QImage::Format_RGB32) {
  image_.fill(QColor(240, 240, 240));
}

QRect DialogCanvas::ClientRect() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_.rect();
}

void DialogCanvas::Draw(const QRect& changed, const std::function<void(QImage&)>& draw) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    draw(image_);
  }
  std::function<void(const QRect&)> callback;
  {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback = changed_;
  }
  if (callback) callback(changed);
}

void DialogCanvas::Blit(int x, int y, const QImage& src) {
  Draw(QRect(x, y, src.width(), src.height()), [&](QImage& image) {
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(x, y, src);
  });
}

QImage DialogCanvas::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_.copy();
}

QImage DialogCanvas::Region(const QRect& r) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_.copy(r);
}

void DialogCanvas::SetChangedCallback(std::function<void(const QRect&)> callback) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  changed_ = std::move(callback);
}

}  // namespace pupiltrak
