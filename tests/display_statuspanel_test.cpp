// The status panel: emblem, texts, pupil discs and their scaling, drawn into a 160 x 120 surface.
#include <gtest/gtest.h>

#include <QRect>

#include "capture/TrackerSession.h"
#include "display/StatusPanel.h"
#include "platform/Resources.h"
#include "platform/Surface.h"
#include "tracking/FrameResults.h"

using namespace pupiltrak;

namespace {

const QRgb kGreen = 0x00FF00u, kRed = 0xFF0000u, kWhite = 0xFFFFFFu;
const IntRect kSource{0, 0, 320, 240};  // scale 0.5 on both axes

QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0x00FFFFFFu; }

int Count(const QImage& image, QRgb colour, const QRect& area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (Rgb(image, x, y) == colour) ++n;
  return n;
}

QRect BoundsOf(const QImage& image, QRgb colour) {
  QRect r;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Rgb(image, x, y) == colour) r |= QRect(x, y, 1, 1);
  return r;
}

// What one line of panel text looks like on its own.
QImage TextAlone(int x, int y, const char* text) {
  QImage image = surface::Make(160, 120);
  surface::TextOut(image, x, y, QString::fromLatin1(text), surface::SystemFont(),
                   QColor(255, 255, 255));
  return image;
}

// A face with the detection text; pupils are added by each test.
FrameResults Face() {
  FrameResults r;
  r.faceFound = true;
  r.detectionText = "Detection Time = 12 ms";
  return r;
}

void SetPupil(FrameResults& r, int e, int px, int py, FloatPoint circle, FloatPoint bright) {
  r.pupilFound[e] = true;
  r.pupilPos[e] = IntPoint{px, py};
  r.circleCentre[e] = circle;
  r.brightSpot[e] = bright;
}

QImage Panel(const FrameResults& r, bool eyeRegions = true, double rate = 29.97,
             IntRect source = kSource) {
  QImage surface = surface::Make(160, 120);
  DrawStatusPanel(surface, r, eyeRegions, rate, source, ResourceBitmap(resource_id::kStatusEmblem));
  return surface;
}

}  // namespace

TEST(StatusPanelTest, NoPupilShowsBlinkAndNothingOnTheTopLine) {
  const QImage panel = Panel(Face());
  EXPECT_EQ(panel.copy(0, 0, 28, 32), ResourceBitmap(resource_id::kStatusEmblem));
  EXPECT_EQ(Count(panel, kWhite, QRect(35, 0, 125, 10)), 0);
  EXPECT_EQ(panel.copy(35, 10, 125, 15), TextAlone(35, 10, "Blink").copy(35, 10, 125, 15));
  EXPECT_EQ(panel.copy(0, 90, 160, 15),
            TextAlone(0, 90, "Detection Time = 12 ms").copy(0, 90, 160, 15));
  EXPECT_EQ(panel.copy(0, 105, 160, 15),
            TextAlone(0, 105, "Frame rate = 29.97 fps").copy(0, 105, 160, 15));
  EXPECT_TRUE(BoundsOf(panel, kGreen).isNull());
  EXPECT_TRUE(BoundsOf(panel, kRed).isNull());
}

TEST(StatusPanelTest, TwoPupilsShowBothLinesAndFourDiscs) {
  FrameResults r = Face();
  // Eye region 1 at (100, 150): dx = 50 - 46 = 4, dy = 35 - 30 = 5.
  SetPupil(r, 0, 100, 150, {50.f, 30.f}, {46.f, 35.f});
  // Eye region 2 at (230, 140): dx = -1.5, dy = -2.25.
  SetPupil(r, 1, 230, 140, {40.f, 20.f}, {41.5f, 17.75f});
  const QImage panel = Panel(r);

  // Both lines, exactly, and no "Blink" among them.
  const QImage lines = [] {
    QImage image = TextAlone(35, 0, "dR = 4.00, 5.00");
    surface::TextOut(image, 35, 15, QStringLiteral("dL = -1.50, -2.25"), surface::SystemFont(),
                     QColor(255, 255, 255));
    return image;
  }();
  EXPECT_EQ(panel.copy(35, 0, 125, 32), lines.copy(35, 0, 125, 32));

  // Eye region 1: green over (40, 65)-(60, 85); red around X = 104, Y = 155:
  // (47, 72.5)-(57, 82.5), halves to even: rows 72 to 81.
  const QImage left = panel.copy(0, 40, 80, 50);
  EXPECT_EQ(BoundsOf(left, kRed), QRect(QPoint(47, 32), QPoint(56, 41)));
  QRect disc1 = BoundsOf(left, kGreen) | BoundsOf(left, kRed);
  EXPECT_EQ(disc1, QRect(QPoint(40, 25), QPoint(59, 44)));

  // Eye region 2: green over (105, 60)-(125, 80); red around (228.5, 137.75):
  // (109.25, 63.875)-(119.25, 73.875) -> (109, 64)-(119, 74).
  const QImage right = panel.copy(80, 40, 80, 50);
  EXPECT_EQ(BoundsOf(right, kRed), QRect(QPoint(29, 24), QPoint(38, 33)));
  EXPECT_EQ(BoundsOf(right, kGreen) | BoundsOf(right, kRed), QRect(QPoint(25, 20), QPoint(44, 39)));
}

TEST(StatusPanelTest, OnlyEyeRegion2ShowsItsLineAtY15AndNothingAtY0) {
  FrameResults r = Face();
  SetPupil(r, 1, 160, 140, {40.f, 20.f}, {38.f, 21.f});  // dx = 2, dy = 1
  const QImage panel = Panel(r);
  EXPECT_EQ(Count(panel, kWhite, QRect(35, 0, 125, 15)), 0);
  EXPECT_EQ(panel.copy(35, 15, 125, 15),
            TextAlone(35, 15, "dL = 2.00, 1.00").copy(35, 15, 125, 15));
  EXPECT_EQ(panel.copy(0, 0, 28, 32), ResourceBitmap(resource_id::kStatusEmblem));
  // One pair of discs: green over (70, 60)-(90, 80), red over (76, 65.5)-(86, 75.5).
  EXPECT_EQ(BoundsOf(panel, kGreen) | BoundsOf(panel, kRed), QRect(QPoint(70, 60), QPoint(89, 79)));
  EXPECT_EQ(BoundsOf(panel, kRed), QRect(QPoint(76, 66), QPoint(85, 75)));
}

TEST(StatusPanelTest, WithoutEyeRegionsOnlyTheTimesAreWritten) {
  FrameResults r = Face();
  SetPupil(r, 0, 100, 150, {50.f, 30.f}, {46.f, 35.f});
  const QImage panel = Panel(r, false);
  EXPECT_EQ(Count(panel, kWhite, QRect(35, 0, 125, 32)), 0);
  EXPECT_TRUE(BoundsOf(panel, kGreen).isNull());
  EXPECT_GT(Count(panel, kWhite, QRect(0, 90, 160, 30)), 0);
}

TEST(StatusPanelTest, WithoutAFaceTheDetectionTimeIsLeftOut) {
  FrameResults r;
  r.detectionText = "Detection Time = 99 ms";
  const QImage panel = Panel(r, true, 0.0);
  EXPECT_EQ(Count(panel, kWhite, QRect(0, 90, 160, 15)), 0);
  EXPECT_EQ(panel.copy(0, 105, 160, 15),
            TextAlone(0, 105, "Frame rate = 0.00 fps").copy(0, 105, 160, 15));
}

TEST(StatusPanelTest, EmptySourceRectangleLeavesTheDiscsOut) {
  FrameResults r = Face();
  SetPupil(r, 0, 100, 150, {50.f, 30.f}, {46.f, 35.f});
  for (IntRect source : {IntRect{}, IntRect{0, 0, 320, 0}, IntRect{10, 0, 5, 240}}) {
    const QImage panel = Panel(r, true, 30, source);
    EXPECT_TRUE(BoundsOf(panel, kGreen).isNull());
    EXPECT_TRUE(BoundsOf(panel, kRed).isNull());
    EXPECT_EQ(panel.copy(35, 0, 125, 15), TextAlone(35, 0, "dR = 4.00, 5.00").copy(35, 0, 125, 15));
  }
}

TEST(StatusPanelTest, TheSessionsPanelReadsTheSessionsRecords) {
  TrackerSession session;
  FrameResults& results = session.results;
  results = Face();
  SetPupil(results, 0, 100, 150, {50.f, 30.f}, {46.f, 35.f});
  session.state.SearchEyeRegions = 1;
  session.state.FrameRate = 15.5;
  session.state.SetSourceClientRect(kSource);

  QImage panel = surface::Make(160, 120);
  session.DrawStatusPanel(panel);
  EXPECT_EQ(panel, Panel(results, true, 15.5));
}
