#include "display/StatusPanel.h"

#include <cmath>
#include <cstdio>

#include "platform/Resources.h"
#include "platform/Surface.h"
#include "tracking/FrameResults.h"

namespace pupiltrak {

namespace {

QString Format(const char* format, double a, double b) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return QString::fromLatin1(text);
}

// A disc over the rectangle given in panel pixels, its corners taken to the nearest integer.
// Corners that are no numbers, or absurdly far away, leave the disc out.
void Disc(QImage& surface, double left, double top, double right, double bottom, QColor colour) {
  const double limit = 1e6;
  for (double v : {left, top, right, bottom})
    if (!std::isfinite(v) || std::fabs(v) > limit) return;
  auto nearest = [](double v) { return static_cast<int>(std::nearbyint(v)); };
  surface::FillEllipse(surface, nearest(left), nearest(top), nearest(right), nearest(bottom),
                       colour);
}

}  // namespace

void DrawStatusPanel(QImage& surface, const FrameResults& results, bool searchEyeRegions,
                     double frameRate, const IntRect& sourceClientRect, const QImage& darkEmblem) {
  const bool scalable = sourceClientRect.width() > 0 && sourceClientRect.height() > 0;
  const double sx = scalable ? static_cast<double>(surface.width()) / sourceClientRect.width() : 0;
  const double sy =
      scalable ? static_cast<double>(surface.height()) / sourceClientRect.height() : 0;

  surface::BitBlt(surface, 0, 0, darkEmblem.width(), darkEmblem.height(), darkEmblem, 0, 0);

  const QFont font = surface::SystemFont();
  const QColor white(255, 255, 255);
  if (results.faceFound)
    surface::TextOut(surface, 0, 90, QString::fromStdString(results.detectionText), font, white);

  if (searchEyeRegions) {
    static const char* const formats[2] = {"dR = %.2lf, %.2lf", "dL = %.2lf, %.2lf"};
    static const int rows[2] = {0, 15};
    for (int e = 0; e < 2; ++e) {
      if (!results.pupilFound[e]) continue;
      const double px = results.pupilPos[e].x, py = results.pupilPos[e].y;
      const double dx = static_cast<double>(results.circleCentre[e].x) - results.brightSpot[e].x;
      const double dy = static_cast<double>(results.brightSpot[e].y) - results.circleCentre[e].y;
      if (scalable)
        Disc(surface, (px - 20) * sx, (py - 20) * sy, (px + 20) * sx, (py + 20) * sy,
             QColor(0, 255, 0));
      surface::TextOut(surface, 35, rows[e], Format(formats[e], dx, dy), font, white);
      const double X = px + dx, Y = py + dy;
      if (scalable)
        Disc(surface, (X - 10) * sx, (Y - 10) * sy, (X + 10) * sx, (Y + 10) * sy,
             QColor(255, 0, 0));
    }
    if (!results.pupilFound[0] && !results.pupilFound[1])
      surface::TextOut(surface, 35, 10, QStringLiteral("Blink"), font, white);
  }

  char rate[64];
  std::snprintf(rate, sizeof rate, "Frame rate = %.2lf fps", frameRate);
  surface::TextOut(surface, 0, 105, QString::fromLatin1(rate), font, white);
}

}  // namespace pupiltrak
