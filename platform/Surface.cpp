#include "platform/Surface.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace pupiltrak {

namespace surface {
namespace {

bool Is32Bit(QImage::Format f) {
  return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
         f == QImage::Format_ARGB32_Premultiplied;
}

// Surfaces are 32-bit; anything else handed in is brought to that format first.
void Ensure32Bit(QImage& image) {
  if (!image.isNull() && !Is32Bit(image.format()))
    image = image.convertToFormat(QImage::Format_RGB32);
}

// The colour bits of a pixel, with the surface's own alpha byte kept.
inline uint32_t Combine(uint32_t dst, uint32_t colour) {
  return (colour & 0x00FFFFFFu) | (dst & 0xFF000000u);
}

// Fills columns [x0, x1) of row y, clipped to the surface.
void Span(QImage& dst, long long y, long long x0, long long x1, QRgb colour) {
  if (y < 0 || y >= dst.height()) return;
  x0 = std::max<long long>(x0, 0);
  x1 = std::min<long long>(x1, dst.width());
  if (x0 >= x1) return;
  auto* row = reinterpret_cast<uint32_t*>(dst.scanLine(static_cast<int>(y)));
  for (long long x = x0; x < x1; ++x) row[x] = Combine(row[x], colour);
}

void FillBlock(QImage& dst, long long left, long long top, long long right, long long bottom,
               QRgb colour) {
  top = std::max<long long>(top, 0);
  bottom = std::min<long long>(bottom, dst.height());
  for (long long y = top; y < bottom; ++y) Span(dst, y, left, right, colour);
}

QFont Aliased(const QFont& font) {
  QFont f(font);
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

// A painter for text: no antialiasing, so what lands on the surface is exactly the colour.
void PrepareTextPainter(QPainter& p, const QFont& font, QColor colour) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, false);
  p.setFont(Aliased(font));
  p.setPen(colour);
}

}  // namespace

QImage Make(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::black);
  return image;
}

void BitBlt(QImage& dst, int x, int y, int w, int h, const QImage& src, int sx, int sy, Rop rop) {
  if (dst.isNull() || src.isNull() || w <= 0 || h <= 0) return;
  Ensure32Bit(dst);

  // Clip the block against both surfaces, moving both origins together.
  long long dx = x, dy = y, sxx = sx, syy = sy, cw = w, ch = h;
  auto clipAxis = [](long long& d, long long& s, long long& count, long long dLimit,
                     long long sLimit) {
    long long shift = std::max({0LL, -d, -s});
    d += shift;
    s += shift;
    count -= shift;
    count = std::min({count, dLimit - d, sLimit - s});
    return count > 0;
  };
  if (!clipAxis(dx, sxx, cw, dst.width(), src.width())) return;
  if (!clipAxis(dy, syy, ch, dst.height(), src.height())) return;

  // A copy within one surface reads from a snapshot of the block, so overlapping areas move
  // as a whole; a source of another format is converted once.
  const QImage* source = &src;
  QImage holder;
  if (&src == &dst) {
    holder = src.copy(static_cast<int>(sxx), static_cast<int>(syy), static_cast<int>(cw),
                      static_cast<int>(ch));
    sxx = 0;
    syy = 0;
    source = &holder;
  } else if (!Is32Bit(src.format())) {
    holder = src.convertToFormat(QImage::Format_RGB32);
    source = &holder;
  }

  for (long long j = 0; j < ch; ++j) {
    auto* d = reinterpret_cast<uint32_t*>(dst.scanLine(static_cast<int>(dy + j))) + dx;
    const auto* s =
        reinterpret_cast<const uint32_t*>(source->constScanLine(static_cast<int>(syy + j))) + sxx;
    switch (rop) {
      case Rop::SrcCopy:
        for (long long i = 0; i < cw; ++i) d[i] = Combine(d[i], s[i]);
        break;
      case Rop::SrcInvert:
        for (long long i = 0; i < cw; ++i) d[i] = Combine(d[i], d[i] ^ s[i]);
        break;
      case Rop::SrcAnd:
        for (long long i = 0; i < cw; ++i) d[i] = Combine(d[i], d[i] & s[i]);
        break;
    }
  }
}

void DrawTransparent(QImage& dst, int x, int y, const QImage& bitmap, QColor transparent) {
  if (dst.isNull() || bitmap.isNull()) return;
  const QImage picture = bitmap.format() == QImage::Format_RGB32
                             ? bitmap
                             : bitmap.convertToFormat(QImage::Format_RGB32);
  const int w = picture.width(), h = picture.height();

  // The mask: white (all ones) where the picture has the transparent colour, black elsewhere.
  const uint32_t key = transparent.rgb() & 0x00FFFFFFu;
  QImage mask(w, h, QImage::Format_RGB32);
  for (int row = 0; row < h; ++row) {
    const auto* p = reinterpret_cast<const uint32_t*>(picture.constScanLine(row));
    auto* m = reinterpret_cast<uint32_t*>(mask.scanLine(row));
    for (int col = 0; col < w; ++col)
      m[col] = (p[col] & 0x00FFFFFFu) == key ? 0xFFFFFFFFu : 0xFF000000u;
  }

  // dst ^ picture, & mask, ^ picture: under the mask's ones that gives dst back, under its
  // zeros the picture.
  BitBlt(dst, x, y, w, h, picture, 0, 0, Rop::SrcInvert);
  BitBlt(dst, x, y, w, h, mask, 0, 0, Rop::SrcAnd);
  BitBlt(dst, x, y, w, h, picture, 0, 0, Rop::SrcInvert);
}

void Rectangle(QImage& dst, int left, int top, int right, int bottom, QColor outline, QColor fill) {
  if (dst.isNull()) return;
  Ensure32Bit(dst);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (right - left < 1 || bottom - top < 1) return;
  long long l = left, t = top, r = right, b = bottom;
  FillBlock(dst, l, t, r, b, fill.rgb());
  const QRgb pen = outline.rgb();
  FillBlock(dst, l, t, r, t + 1, pen);
  FillBlock(dst, l, b - 1, r, b, pen);
  FillBlock(dst, l, t, l + 1, b, pen);
  FillBlock(dst, r - 1, t, r, b, pen);
}

void FillEllipse(QImage& dst, int left, int top, int right, int bottom, QColor colour) {
  if (dst.isNull()) return;
  Ensure32Bit(dst);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (right - left < 1 || bottom - top < 1) return;

  // The ellipse inscribed in the pixel block [left, right) x [top, bottom): a pixel belongs to
  // it when its centre lies inside. Every row and column of the block gets at least one pixel,
  // so the shape fills its bounding rectangle exactly as the outline pen would.
  const double cx = (static_cast<double>(left) + right) / 2.0;
  const double cy = (static_cast<double>(top) + bottom) / 2.0;
  const double rx = (static_cast<double>(right) - left) / 2.0;
  const double ry = (static_cast<double>(bottom) - top) / 2.0;
  const long long y0 = std::max<long long>(top, 0);
  const long long y1 = std::min<long long>(bottom, dst.height());
  const QRgb c = colour.rgb();
  for (long long y = y0; y < y1; ++y) {
    const double py = (static_cast<double>(y) + 0.5 - cy) / ry;
    const double f = 1.0 - py * py;
    if (f < 0) continue;
    const double half = rx * std::sqrt(f) + 1e-9;
    const long long x0 = static_cast<long long>(std::ceil(cx - 0.5 - half));
    const long long x1 = static_cast<long long>(std::floor(cx - 0.5 + half));
    Span(dst, y, x0, x1 + 1, c);
  }
}

void TextOut(QImage& dst, int x, int y, const QString& text, const QFont& font, QColor colour) {
  if (dst.isNull() || text.isEmpty()) return;
  Ensure32Bit(dst);
  QPainter p(&dst);
  PrepareTextPainter(p, font, colour);
  p.drawText(x, y + p.fontMetrics().ascent(), text);
}

void TextOutRotated(QImage& dst, int x, int y, const QString& text, const QFont& font,
                    QColor colour, int escapement) {
  if (dst.isNull() || text.isEmpty()) return;
  Ensure32Bit(dst);
  QPainter p(&dst);
  PrepareTextPainter(p, font, colour);
  p.translate(x, y);
  // Escapement turns counter-clockwise on the screen; the painter's y axis points down.
  p.rotate(-escapement / 10.0);
  p.drawText(0, p.fontMetrics().ascent(), text);
}

void DrawCentredText(QImage& dst, const QRect& rect, const QString& text, const QFont& font,
                     QColor colour) {
  if (dst.isNull() || text.isEmpty()) return;
  Ensure32Bit(dst);
  QPainter p(&dst);
  PrepareTextPainter(p, font, colour);
  p.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void SetPixel(QImage& dst, int x, int y, QColor colour) {
  if (dst.isNull() || x < 0 || y < 0 || x >= dst.width() || y >= dst.height()) return;
  Ensure32Bit(dst);
  auto* row = reinterpret_cast<uint32_t*>(dst.scanLine(y));
  row[x] = Combine(row[x], colour.rgb());
}

QColor GetPixel(const QImage& src, int x, int y) {
  if (src.isNull() || x < 0 || y < 0 || x >= src.width() || y >= src.height()) return QColor();
  return QColor(src.pixel(x, y));
}

void Line(QImage& dst, int x0, int y0, int x1, int y1, QColor colour) {
  if (dst.isNull()) return;
  Ensure32Bit(dst);
  // Bresenham, stopping one pixel short of the end point.
  long long x = x0, y = y0;
  const long long ex = x1, ey = y1;
  const long long dx = std::llabs(ex - x), dy = -std::llabs(ey - y);
  const long long stepX = x < ex ? 1 : -1, stepY = y < ey ? 1 : -1;
  long long err = dx + dy;
  const QRgb c = colour.rgb();
  while (x != ex || y != ey) {
    if (x >= 0 && y >= 0 && x < dst.width() && y < dst.height()) {
      auto* row = reinterpret_cast<uint32_t*>(dst.scanLine(static_cast<int>(y)));
      row[x] = Combine(row[x], c);
    }
    const long long e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += stepX;
    }
    if (e2 <= dx) {
      err += dx;
      y += stepY;
    }
  }
}

QFont SystemFont() {
  // A bold sans face whose 15-pixel line matches the panels' 15-pixel text rows; the widest
  // panel line ("Detection Time = 123 ms") still fits in 160 pixels.
  QFont f;
  f.setFamilies(
      {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(13);
  f.setWeight(QFont::Bold);
  return Aliased(f);
}

QFont Arial(int pixelHeight) {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(std::max(1, pixelHeight));
  f.setWeight(QFont::Normal);
  return Aliased(f);
}

}  // namespace surface

}  // namespace pupiltrak
