#include "platform/Resources.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

namespace pupiltrak {

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

// The eye emblem of the panels, 28 x 32: a brow, an almond-shaped eye with lashes, the iris
// with its pupil and a glint.
struct EmblemColours {
  QColor background, line, sclera, iris, pupil, glint;
};

QImage DrawEmblem(const EmblemColours& c) {
  QImage image(28, 32, QImage::Format_RGB32);
  image.fill(c.background);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);

  // Brow.
  QPainterPath brow;
  brow.moveTo(4.0, 9.5);
  brow.quadTo(14.0, 2.5, 24.0, 8.5);
  p.setPen(QPen(c.line, 2.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(brow);

  // Eye outline: two arcs meeting in the corners.
  QPainterPath eye;
  eye.moveTo(2.0, 18.5);
  eye.cubicTo(7.0, 10.5, 21.0, 10.5, 26.0, 18.5);
  eye.cubicTo(21.0, 26.0, 7.0, 26.0, 2.0, 18.5);
  p.setPen(Qt::NoPen);
  p.setBrush(c.sclera);
  p.drawPath(eye);

  // Iris and pupil, clipped by the lids.
  p.save();
  p.setClipPath(eye);
  p.setBrush(c.iris);
  p.drawEllipse(QPointF(14.0, 18.0), 5.6, 5.6);
  p.setBrush(c.pupil);
  p.drawEllipse(QPointF(14.0, 18.0), 2.6, 2.6);
  p.setBrush(c.glint);
  p.drawEllipse(QPointF(15.8, 16.2), 1.1, 1.1);
  p.restore();

  p.setPen(QPen(c.line, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(eye);

  // Lashes on the upper lid.
  p.setPen(QPen(c.line, 1.2, Qt::SolidLine, Qt::RoundCap));
  const double lashes[][4] = {{7.5, 13.6, 6.0, 11.4},
                              {11.0, 12.4, 10.4, 10.0},
                              {14.0, 12.1, 14.0, 9.6},
                              {17.0, 12.4, 17.6, 10.0},
                              {20.5, 13.6, 22.0, 11.4}};
  for (const auto& l : lashes) p.drawLine(QPointF(l[0], l[1]), QPointF(l[2], l[3]));
  p.end();
  return image;
}

// A 16 x 16 marker from a picture of characters, one per pixel; '.' is the white background.
QImage FromPicture(const char* const rows[16], const std::map<char, QRgb>& palette) {
  QImage image(16, 16, QImage::Format_RGB32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      auto it = palette.find(rows[y][x]);
      image.setPixel(x, y, it == palette.end() ? kWhite : it->second);
    }
  return image;
}

// The gaze marker: an eye. Its white is slightly off-white so that it covers what lies below.
QImage DrawEyeMarker() {
  static const char* const rows[16] = {
      "................",  //
      "................",  //
      "................",  //
      "................",  //
      "....kkkkkkkk....",  //
      "..kkssbbbbsskk..",  //
      ".kssbbbbbbbbssk.",  //
      "ksssbbpppgbbsssk",  //
      "ksssbbppppbbsssk",  //
      ".kssbbbppbbbssk.",  //
      "..kksbbbbbbskk..",  //
      "....kkkkkkkk....",  //
      "................",  //
      "................",  //
      "................",  //
      "................",  //
  };
  return FromPicture(rows, {{'k', qRgb(32, 32, 32)},
                            {'s', qRgb(252, 252, 252)},
                            {'b', qRgb(30, 110, 210)},
                            {'p', qRgb(0, 0, 0)},
                            {'g', qRgb(200, 225, 255)}});
}

// The calibration target: a green disc with a white plus (the plus is transparent).
QImage DrawTargetMarker() {
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(kWhite);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const double dx = x + 0.5 - 8.0, dy = y + 0.5 - 8.0;
      const double r = std::sqrt(dx * dx + dy * dy);
      if (r <= 7.6) image.setPixel(x, y, r > 6.4 ? qRgb(0, 128, 0) : qRgb(0, 200, 0));
    }
  for (int k = 3; k <= 12; ++k) {
    for (int w = 7; w <= 8; ++w) {
      image.setPixel(w, k, kWhite);
      image.setPixel(k, w, kWhite);
    }
  }
  return image;
}

// The accuracy target: four green arrows in the corners, each pointing at the centre.
QImage DrawArrowsMarker() {
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(kWhite);
  const QRgb green = qRgb(0, 170, 0);
  // One arrow in the 7 x 7 top-left corner, tip at (6, 6), mirrored into the other three.
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 7; ++x) {
      const bool head = x >= 3 && y >= 3 && x + y >= 9;
      const bool shaft = std::abs(x - y) <= 1 && x + y <= 9;
      if (!head && !shaft) continue;
      image.setPixel(x, y, green);
      image.setPixel(15 - x, y, green);
      image.setPixel(x, 15 - y, green);
      image.setPixel(15 - x, 15 - y, green);
    }
  return image;
}

QImage DrawBitmap(int id) {
  switch (id) {
    case resource_id::kCalibrationEmblem:
      return DrawEmblem({QColor(255, 255, 255), QColor(24, 24, 40), QColor(255, 255, 255),
                         QColor(40, 100, 170), QColor(0, 0, 0), QColor(255, 255, 255)});
    case resource_id::kStatusEmblem:
      return DrawEmblem({QColor(0, 0, 0), QColor(225, 225, 235), QColor(0, 0, 0),
                         QColor(110, 175, 245), QColor(0, 0, 0), QColor(255, 255, 255)});
    case resource_id::kGazeMarker:
      return DrawEyeMarker();
    case resource_id::kTargetMarker:
      return DrawTargetMarker();
    case resource_id::kAccuracyMarker:
      return DrawArrowsMarker();
    default:
      return QImage();
  }
}

// Icons are drawn on a 32 x 32 design grid and scaled to the size asked for.
void DrawProgramIcon(QPainter& p) {
  QLinearGradient tile(0, 0, 0, 32);
  tile.setColorAt(0, QColor(40, 110, 190));
  tile.setColorAt(1, QColor(16, 60, 120));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

  QPainterPath eye;
  eye.moveTo(3.5, 16);
  eye.cubicTo(10, 6, 22, 6, 28.5, 16);
  eye.cubicTo(22, 26, 10, 26, 3.5, 16);
  p.setBrush(QColor(250, 250, 250));
  p.drawPath(eye);
  p.save();
  p.setClipPath(eye);
  p.setBrush(QColor(60, 150, 90));
  p.drawEllipse(QPointF(16, 16), 6.5, 6.5);
  p.setBrush(QColor(0, 0, 0));
  p.drawEllipse(QPointF(16, 16), 3.2, 3.2);
  p.setBrush(QColor(255, 255, 255));
  p.drawEllipse(QPointF(18.2, 13.8), 1.4, 1.4);
  p.restore();
  p.setPen(QPen(QColor(10, 30, 60), 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(eye);
}

void DrawCogIcon(QPainter& p) {
  const int teeth = 8;
  const QPointF c(16, 16);
  QPainterPath gear;
  QPolygonF outline;
  for (int i = 0; i < teeth * 4; ++i) {
    const double a = (i / (teeth * 4.0)) * 2 * M_PI - M_PI / (teeth * 2.0);
    const double r = (i % 4 == 1 || i % 4 == 2) ? 14.5 : 10.5;
    outline << QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
  }
  gear.addPolygon(outline);
  gear.closeSubpath();
  QPainterPath hole;
  hole.addEllipse(c, 4.2, 4.2);
  gear = gear.subtracted(hole);

  QRadialGradient metal(QPointF(12, 10), 20);
  metal.setColorAt(0, QColor(200, 200, 205));
  metal.setColorAt(1, QColor(110, 110, 118));
  p.setPen(QPen(QColor(70, 70, 76), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(metal);
  p.drawPath(gear);
}

void DrawBeetleIcon(QPainter& p) {
  const QColor dark(20, 70, 20);
  p.setPen(QPen(dark, 1.6, Qt::SolidLine, Qt::RoundCap));
  // Legs, three a side, and the antennae.
  const double legs[][4] = {{11, 13, 4, 10},  {10, 18, 3, 18},  {11, 23, 4, 27},  {21, 13, 28, 10},
                            {22, 18, 29, 18}, {21, 23, 28, 27}, {14, 6, 10, 1.5}, {18, 6, 22, 1.5}};
  for (const auto& l : legs) p.drawLine(QPointF(l[0], l[1]), QPointF(l[2], l[3]));

  p.setPen(QPen(dark, 1.2));
  p.setBrush(QColor(30, 90, 30));
  p.drawEllipse(QPointF(16, 7.5), 4.2, 3.4);  // head

  QLinearGradient shell(8, 0, 24, 0);
  shell.setColorAt(0, QColor(40, 150, 40));
  shell.setColorAt(0.5, QColor(110, 210, 90));
  shell.setColorAt(1, QColor(40, 150, 40));
  p.setBrush(shell);
  p.drawEllipse(QRectF(8.5, 9.5, 15, 20));  // body
  p.setPen(QPen(dark, 1.1));
  p.drawLine(QPointF(16, 11), QPointF(16, 29));  // wing seam
  p.setPen(Qt::NoPen);
  p.setBrush(dark);
  p.drawEllipse(QPointF(12.5, 19), 1.3, 1.3);
  p.drawEllipse(QPointF(19.5, 19), 1.3, 1.3);
  p.drawEllipse(QPointF(13, 24.5), 1.1, 1.1);
  p.drawEllipse(QPointF(19, 24.5), 1.1, 1.1);
}

QImage DrawIcon(int id, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 32.0, size / 32.0);
  switch (id) {
    case resource_id::kProgramIcon:
      DrawProgramIcon(p);
      break;
    case resource_id::kCogIcon:
      DrawCogIcon(p);
      break;
    case resource_id::kBeetleIcon:
      DrawBeetleIcon(p);
      break;
    default:
      break;
  }
  p.end();
  return image;
}

}  // namespace

const QImage& ResourceBitmap(int id) {
  // Drawn once on first use (from whichever thread asks first) and never changed afterwards.
  static const std::map<int, QImage> bitmaps = [] {
    std::map<int, QImage> m;
    for (int id : resource_id::kBitmaps) m[id] = DrawBitmap(id);
    return m;
  }();
  static const QImage empty;
  auto it = bitmaps.find(id);
  return it == bitmaps.end() ? empty : it->second;
}

QImage ResourceIcon(int id, int size) {
  if (size <= 0 || (id != resource_id::kProgramIcon && id != resource_id::kCogIcon &&
                    id != resource_id::kBeetleIcon))
    return QImage();
  static std::mutex mutex;
  static std::map<std::pair<int, int>, QImage> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto key = std::make_pair(id, size);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, DrawIcon(id, size)).first;
  return it->second;
}

}  // namespace pupiltrak
