#include "platform/Surface.h"

namespace surface {
QImage Make(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::black);
  return image;
}
}  // namespace surface
