#include "platform/Resources.h"

const QImage& ResourceBitmap(int) {
  static QImage empty;
  return empty;
}

QImage ResourceIcon(int, int size) { return QImage(size, size, QImage::Format_ARGB32); }
