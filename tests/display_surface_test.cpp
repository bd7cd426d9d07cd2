// Drawing surfaces: block copies with raster operations, shapes, text and the transparent
// marker copy, checked pixel by pixel.
#include <gtest/gtest.h>

#include <QRect>

#include "platform/Surface.h"

using namespace pupiltrak;

namespace {

QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0x00FFFFFFu; }

// The smallest rectangle holding every pixel of the colour (null when there is none).
QRect BoundsOf(const QImage& image, QRgb colour) {
  QRect r;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Rgb(image, x, y) == (colour & 0x00FFFFFFu)) r |= QRect(x, y, 1, 1);
  return r;
}

int CountOf(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Rgb(image, x, y) == (colour & 0x00FFFFFFu)) ++n;
  return n;
}

QImage Filled(int w, int h, QRgb colour) {
  QImage image = surface::Make(w, h);
  image.fill(colour);
  return image;
}

}  // namespace

TEST(SurfaceTest, FreshSurfaceIsBlack32Bit) {
  QImage s = surface::Make(7, 5);
  EXPECT_EQ(s.format(), QImage::Format_RGB32);
  EXPECT_EQ(s.size(), QSize(7, 5));
  EXPECT_EQ(CountOf(s, qRgb(0, 0, 0)), 35);
}

TEST(SurfaceTest, BitBltCombinesByRasterOperationAndKeepsTheSurfaceOpaque) {
  QImage src = Filled(2, 1, qRgb(0x0F, 0xF0, 0x55));
  QImage dst = Filled(2, 1, qRgb(0xFF, 0x0F, 0x50));

  QImage copy = dst;
  surface::BitBlt(copy, 0, 0, 2, 1, src, 0, 0, surface::Rop::SrcCopy);
  EXPECT_EQ(Rgb(copy, 0, 0), qRgb(0x0F, 0xF0, 0x55) & 0xFFFFFFu);

  QImage inverted = dst;
  surface::BitBlt(inverted, 0, 0, 2, 1, src, 0, 0, surface::Rop::SrcInvert);
  EXPECT_EQ(Rgb(inverted, 1, 0), qRgb(0xF0, 0xFF, 0x05) & 0xFFFFFFu);
  EXPECT_EQ(qAlpha(inverted.pixel(1, 0)), 255);

  QImage anded = dst;
  surface::BitBlt(anded, 0, 0, 2, 1, src, 0, 0, surface::Rop::SrcAnd);
  EXPECT_EQ(Rgb(anded, 0, 0), qRgb(0x0F, 0x00, 0x50) & 0xFFFFFFu);
  EXPECT_EQ(qAlpha(anded.pixel(0, 0)), 255);
}

TEST(SurfaceTest, BitBltIsClippedToBothSurfaces) {
  QImage src = surface::Make(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.setPixel(x, y, qRgb(10 * x, 10 * y, 1));
  QImage dst = Filled(5, 5, qRgb(200, 200, 200));

  // Partly left of and above the destination, and reaching past the source's edge.
  surface::BitBlt(dst, -1, -2, 10, 10, src, 0, 0);
  EXPECT_EQ(Rgb(dst, 0, 0), qRgb(10, 20, 1) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(dst, 2, 1), qRgb(30, 30, 1) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(dst, 3, 0), qRgb(200, 200, 200) & 0xFFFFFFu);  // beyond the source's width
  EXPECT_EQ(Rgb(dst, 0, 2), qRgb(200, 200, 200) & 0xFFFFFFu);  // beyond the source's height

  // A source origin outside the source only copies the part that exists.
  QImage dst2 = Filled(5, 5, qRgb(200, 200, 200));
  surface::BitBlt(dst2, 0, 0, 3, 3, src, -1, 2);
  EXPECT_EQ(Rgb(dst2, 0, 0), qRgb(200, 200, 200) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(dst2, 1, 0), qRgb(0, 20, 1) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(dst2, 1, 2), qRgb(200, 200, 200) & 0xFFFFFFu);

  // Entirely outside: nothing changes, nothing breaks.
  QImage dst3 = Filled(5, 5, qRgb(1, 2, 3));
  surface::BitBlt(dst3, 100, 100, 4, 4, src, 0, 0);
  surface::BitBlt(dst3, 0, 0, 4, 4, src, 50, 0);
  surface::BitBlt(dst3, 0, 0, -4, 4, src, 0, 0);
  EXPECT_EQ(CountOf(dst3, qRgb(1, 2, 3)), 25);
}

TEST(SurfaceTest, BitBltWithinOneSurfaceMovesOverlappingBlocksWhole) {
  QImage s = surface::Make(10, 1);
  for (int x = 0; x < 10; ++x) s.setPixel(x, 0, qRgb(x, 0, 0));
  // One column to the left, as the chart scroll does.
  surface::BitBlt(s, 1, 0, 8, 1, s, 2, 0);
  EXPECT_EQ(qRed(s.pixel(0, 0)), 0);
  for (int x = 1; x <= 8; ++x) EXPECT_EQ(qRed(s.pixel(x, 0)), x + 1) << x;
  EXPECT_EQ(qRed(s.pixel(9, 0)), 9);
  // And to the right, where a naive forward copy would smear the first pixel.
  surface::BitBlt(s, 2, 0, 7, 1, s, 1, 0);
  EXPECT_EQ(qRed(s.pixel(2, 0)), 2);
  EXPECT_EQ(qRed(s.pixel(8, 0)), 8);
}

TEST(SurfaceTest, RectangleOutlinesAndFillsWithRightAndBottomExclusive) {
  QImage s = Filled(10, 10, qRgb(9, 9, 9));
  surface::Rectangle(s, 2, 3, 7, 8, QColor(0, 0, 0), QColor(255, 255, 255));
  EXPECT_EQ(BoundsOf(s, qRgb(0, 0, 0)), QRect(QPoint(2, 3), QPoint(6, 7)));
  EXPECT_EQ(BoundsOf(s, qRgb(255, 255, 255)), QRect(QPoint(3, 4), QPoint(5, 6)));
  EXPECT_EQ(CountOf(s, qRgb(0, 0, 0)), 5 * 2 + 3 * 2);
  EXPECT_EQ(Rgb(s, 7, 5), qRgb(9, 9, 9) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(s, 4, 8), qRgb(9, 9, 9) & 0xFFFFFFu);

  // Corners given the other way round describe the same rectangle.
  QImage t = Filled(10, 10, qRgb(9, 9, 9));
  surface::Rectangle(t, 7, 8, 2, 3, QColor(0, 0, 0), QColor(255, 255, 255));
  EXPECT_EQ(t, s);
}

TEST(SurfaceTest, FillEllipseFillsExactlyItsBoundingRectangle) {
  for (QRect box : {QRect(QPoint(10, 12), QPoint(29, 31)), QRect(QPoint(5, 5), QPoint(5, 5)),
                    QRect(QPoint(3, 20), QPoint(36, 27)), QRect(QPoint(8, 8), QPoint(9, 9))}) {
    QImage s = surface::Make(40, 40);
    surface::FillEllipse(s, box.left(), box.top(), box.right() + 1, box.bottom() + 1,
                         QColor(0, 255, 0));
    EXPECT_EQ(BoundsOf(s, qRgb(0, 255, 0)), box);
    // Solid and symmetric about both centre lines.
    const int cx = box.left() + box.right(), cy = box.top() + box.bottom();
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x) {
        EXPECT_EQ(s.pixel(x, y), s.pixel(cx - x, y));
        EXPECT_EQ(s.pixel(x, y), s.pixel(x, cy - y));
      }
    EXPECT_EQ(Rgb(s, cx / 2, cy / 2), qRgb(0, 255, 0) & 0xFFFFFFu);
  }
  // A 20 x 20 disc leaves its bounding box's corners alone.
  QImage s = surface::Make(40, 40);
  surface::FillEllipse(s, 10, 10, 30, 30, QColor(255, 0, 0));
  EXPECT_EQ(Rgb(s, 10, 10), 0u);
  EXPECT_EQ(Rgb(s, 29, 29), 0u);
  EXPECT_EQ(Rgb(s, 10, 19), qRgb(255, 0, 0) & 0xFFFFFFu);
}

TEST(SurfaceTest, FillEllipseReachingPastTheEdgesIsClipped) {
  QImage s = surface::Make(20, 20);
  surface::FillEllipse(s, -30, -10, 10, 50, QColor(0, 0, 255));
  EXPECT_EQ(Rgb(s, 0, 10), qRgb(0, 0, 255) & 0xFFFFFFu);
  EXPECT_EQ(BoundsOf(s, qRgb(0, 0, 255)).right(), 9);
  surface::FillEllipse(s, 1000000, 1000000, 2000000, 2000000, QColor(255, 0, 0));
  EXPECT_EQ(CountOf(s, qRgb(255, 0, 0)), 0);
}

TEST(SurfaceTest, LineLeavesOutItsEndPoint) {
  QImage s = surface::Make(10, 20);
  surface::Line(s, 4, 2, 4, 17, QColor(192, 192, 192));
  EXPECT_EQ(BoundsOf(s, qRgb(192, 192, 192)), QRect(QPoint(4, 2), QPoint(4, 16)));

  QImage d = surface::Make(10, 10);
  surface::Line(d, 0, 0, 5, 5, QColor(255, 255, 255));
  EXPECT_EQ(CountOf(d, qRgb(255, 255, 255)), 5);
  EXPECT_EQ(Rgb(d, 4, 4), 0xFFFFFFu);
  EXPECT_EQ(Rgb(d, 5, 5), 0u);

  QImage e = surface::Make(10, 10);
  surface::Line(e, 3, 3, 3, 3, QColor(255, 255, 255));
  EXPECT_EQ(CountOf(e, qRgb(255, 255, 255)), 0);
}

TEST(SurfaceTest, TextIsDrawnInOneColourOnATransparentBackgroundBelowItsCorner) {
  QImage s = Filled(120, 40, qRgb(255, 0, 0));
  const QFont font = surface::SystemFont();
  surface::TextOut(s, 10, 12, QStringLiteral("Frame 29"), font, QColor(255, 255, 255));
  // Only the two colours: no smoothing, and the background shows through.
  EXPECT_EQ(CountOf(s, qRgb(255, 0, 0)) + CountOf(s, qRgb(255, 255, 255)), 120 * 40);
  const QRect ink = BoundsOf(s, qRgb(255, 255, 255));
  ASSERT_FALSE(ink.isNull());
  EXPECT_GE(ink.left(), 10);
  EXPECT_GE(ink.top(), 12);
  EXPECT_LE(ink.top(), 12 + 5);  // capitals start near the top of the cell
  EXPECT_LE(ink.bottom(), 12 + 16);
  EXPECT_GT(ink.width(), 30);
}

TEST(SurfaceTest, RotatedTextRunsUpwardsFromItsCorner) {
  QImage s = Filled(30, 80, qRgb(255, 255, 255));
  surface::TextOutRotated(s, 3, 60, QStringLiteral("Gaze X"), surface::Arial(12), QColor(0, 0, 0),
                          900);
  const QRect ink = BoundsOf(s, qRgb(0, 0, 0));
  ASSERT_FALSE(ink.isNull());
  EXPECT_GE(ink.left(), 3);
  EXPECT_LE(ink.right(), 3 + 14);
  EXPECT_LE(ink.bottom(), 60);
  EXPECT_GT(ink.height(), 2 * ink.width());  // it runs along the y axis
  EXPECT_EQ(CountOf(s, qRgb(0, 0, 0)) + CountOf(s, qRgb(255, 255, 255)), 30 * 80);
}

TEST(SurfaceTest, CentredTextSitsInTheMiddleOfItsRectangle) {
  QImage s = surface::Make(160, 120);
  surface::DrawCentredText(s, QRect(0, 0, 160, 120), QStringLiteral("Calibration"),
                           surface::Arial(20), QColor(128, 128, 128));
  const QRect ink = BoundsOf(s, qRgb(128, 128, 128));
  ASSERT_FALSE(ink.isNull());
  EXPECT_NEAR(ink.center().x(), 80, 3);
  EXPECT_NEAR(ink.center().y(), 60, 4);
}

TEST(SurfaceTest, TransparentCopyKeepsTheDestinationUnderTheTransparentColour) {
  QImage bitmap = Filled(4, 4, qRgb(255, 255, 255));
  bitmap.setPixel(0, 0, qRgb(0, 0, 0));  // black is a colour like any other
  bitmap.setPixel(1, 1, qRgb(0, 200, 0));
  bitmap.setPixel(2, 2, qRgb(254, 255, 255));  // almost white is not white
  QImage dst = surface::Make(6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) dst.setPixel(x, y, qRgb(17 * x, 30 * y, 99));
  const QImage before = dst.copy();

  surface::DrawTransparent(dst, 1, 1, bitmap, QColor(255, 255, 255));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const int bx = x - 1, by = y - 1;
      const bool inside = bx >= 0 && by >= 0 && bx < 4 && by < 4;
      const QRgb b = inside ? Rgb(bitmap, bx, by) : 0xFFFFFFu;
      EXPECT_EQ(Rgb(dst, x, y), b == 0xFFFFFFu ? Rgb(before, x, y) : b) << x << "," << y;
    }
}
