// Writes pictures of the panel, the charts and the bitmaps for a person to look at, when
// PUPILTRAK_PICTURES names a directory; otherwise skipped.
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "calibration/TargetWindows.h"
#include "display/StatusPanel.h"
#include "display/StripChart.h"
#include "platform/DialogCanvas.h"
#include "platform/Resources.h"
#include "platform/Surface.h"
#include "tracking/FrameResults.h"

using namespace pupiltrak;

namespace {

QString PictureDir() {
  const char* dir = std::getenv("PUPILTRAK_PICTURES");
  return dir ? QString::fromLocal8Bit(dir) : QString();
}

QImage Enlarged(const QImage& image, int factor) {
  return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

}  // namespace

TEST(DisplayPictures, WriteForInspection) {
  const QString dir = PictureDir();
  if (dir.isEmpty()) GTEST_SKIP() << "set PUPILTRAK_PICTURES to write the pictures";
  QDir().mkpath(dir);

  // Status panel with two pupils, and the calibration panel's emblem and markers next to it.
  FrameResults r;
  r.faceFound = true;
  r.detectionText = "Detection Time = 23 ms";
  r.pupilFound[0] = r.pupilFound[1] = true;
  r.pupilPos[0] = {120, 110};
  r.pupilPos[1] = {200, 105};
  r.circleCentre[0] = {50.f, 30.f};
  r.brightSpot[0] = {46.5f, 33.25f};
  r.circleCentre[1] = {48.f, 29.f};
  r.brightSpot[1] = {51.f, 31.5f};
  QImage panel = surface::Make(160, 120);
  DrawStatusPanel(panel, r, true, 29.97, IntRect{0, 0, 320, 240},
                  ResourceBitmap(resource_id::kStatusEmblem));
  QImage blink = surface::Make(160, 120);
  r.pupilFound[0] = r.pupilFound[1] = false;
  DrawStatusPanel(blink, r, true, 15.02, IntRect{0, 0, 320, 240},
                  ResourceBitmap(resource_id::kStatusEmblem));
  QImage calib = surface::Make(160, 120);
  surface::Rectangle(calib, 0, 0, 160, 120, Qt::white, Qt::white);
  surface::BitBlt(calib, 0, 0, 28, 32, ResourceBitmap(resource_id::kCalibrationEmblem), 0, 0);
  surface::DrawCentredText(calib, QRect(0, 0, 160, 120), QStringLiteral("Accuracy test"),
                           surface::Arial(20), QColor(128, 128, 128));
  DrawMarker(calib, ResourceBitmap(resource_id::kAccuracyMarker), 60, 40, Qt::white);
  DrawMarker(calib, ResourceBitmap(resource_id::kGazeMarker), 70, 45, Qt::white);
  DrawMarker(calib, ResourceBitmap(resource_id::kTargetMarker), 146, 105, Qt::white);
  QImage panels(332, 250, QImage::Format_RGB32);
  panels.fill(QColor(240, 240, 240));
  {
    QPainter p(&panels);
    p.drawImage(0, 0, panel);
    p.drawImage(172, 0, calib);
    p.drawImage(0, 130, blink);
  }
  EXPECT_TRUE(Enlarged(panels, 3).save(dir + "/h2_panels.png"));

  // The two charts after a while of accuracy-test values with a few gaps.
  DialogCanvas canvas(480, 490);
  GazeCharts charts;
  StripChart& gx = charts.x;
  StripChart& gy = charts.y;
  gx.Create(canvas, 12, 310, 468, 390, 0, 1024, "Gaze X");
  gy.Create(canvas, 12, 395, 468, 475, 0, 710, "Gaze Y");
  gx.Show(canvas);
  gy.Show(canvas);
  for (int i = 0; i < 380; ++i) {
    const bool gap = (i / 40) % 4 == 3 && i % 40 < 6;
    gx.AddValue(canvas, 512 + 400 * std::sin(i / 30.0), gap);
    gy.AddValue(canvas, 355 + 250 * std::cos(i / 45.0), gap);
  }
  EXPECT_TRUE(Enlarged(canvas.Region(QRect(0, 300, 480, 185)), 2).save(dir + "/h2_charts.png"));

  // The bitmaps and icons, enlarged.
  QImage sheet(720, 280, QImage::Format_ARGB32);
  sheet.fill(QColor(200, 200, 200));
  {
    QPainter p(&sheet);
    int x = 4;
    for (int id : {141, 143, 150, 158, 162}) {
      const QImage big = Enlarged(ResourceBitmap(id), 6);
      p.drawImage(x, 4, big);
      x += big.width() + 8;
    }
    x = 4;
    for (int id : {128, 129, 130}) {
      p.drawImage(x, 210, Enlarged(ResourceIcon(id, 16), 2));
      p.drawImage(x + 40, 200, ResourceIcon(id, 32));
      p.drawImage(x + 80, 200, Enlarged(ResourceIcon(id, 32), 2));
      x += 160;
    }
  }
  EXPECT_TRUE(sheet.save(dir + "/h2_resources.png"));
}
