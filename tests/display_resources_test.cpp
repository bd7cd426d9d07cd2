// The program's own bitmaps and icons: sizes, formats and the properties the drawing relies on
// (white backgrounds of the markers, which are drawn with white as transparent).
#include <gtest/gtest.h>

#include "platform/Resources.h"

using namespace pupiltrak;

namespace {

QRgb Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0x00FFFFFFu; }
bool IsGreen(QRgb c) { return qGreen(c) > 100 && qRed(c) < 60 && qBlue(c) < 60; }

double MeanBrightness(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) sum += qGray(image.pixel(x, y));
  return sum / (image.width() * image.height());
}

}  // namespace

TEST(ResourcesTest, BitmapsHaveTheirSizesIn32Bit) {
  for (int id : {141, 143}) {
    EXPECT_EQ(ResourceBitmap(id).size(), QSize(28, 32)) << id;
    EXPECT_EQ(ResourceBitmap(id).format(), QImage::Format_RGB32) << id;
  }
  for (int id : {150, 158, 162}) {
    EXPECT_EQ(ResourceBitmap(id).size(), QSize(16, 16)) << id;
    EXPECT_EQ(ResourceBitmap(id).format(), QImage::Format_RGB32) << id;
  }
  EXPECT_TRUE(ResourceBitmap(999).isNull());
  // Drawn once: every call hands out the same picture.
  EXPECT_EQ(&ResourceBitmap(resource_id::kTargetMarker),
            &ResourceBitmap(resource_id::kTargetMarker));
}

TEST(ResourcesTest, EmblemsAreTheSamePictureDarkOnLightAndLightOnDark) {
  const QImage& light = ResourceBitmap(resource_id::kCalibrationEmblem);
  const QImage& dark = ResourceBitmap(resource_id::kStatusEmblem);
  EXPECT_EQ(Rgb(light, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(Rgb(dark, 0, 0), 0x000000u);
  EXPECT_GT(MeanBrightness(light), 170);
  EXPECT_LT(MeanBrightness(dark), 85);
  // The same shape: wherever one differs from its background, so does the other.
  int shape = 0, same = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 28; ++x) {
      const bool inLight = Rgb(light, x, y) != 0xFFFFFFu;
      const bool inDark = Rgb(dark, x, y) != 0x000000u;
      shape += inLight;
      same += inLight == inDark;
    }
  EXPECT_GT(shape, 100);
  EXPECT_GT(same, 28 * 32 * 9 / 10);
}

TEST(ResourcesTest, TargetBitmapIsAGreenDiscWithAWhitePlusOnWhite) {
  const QImage& t = ResourceBitmap(resource_id::kTargetMarker);
  for (auto [x, y] : {std::pair{0, 0}, {15, 0}, {0, 15}, {15, 15}})
    EXPECT_EQ(Rgb(t, x, y), 0xFFFFFFu);
  for (int k = 3; k <= 12; ++k) {
    EXPECT_EQ(Rgb(t, 7, k), 0xFFFFFFu) << k;
    EXPECT_EQ(Rgb(t, k, 8), 0xFFFFFFu) << k;
  }
  EXPECT_TRUE(IsGreen(Rgb(t, 4, 4)));
  EXPECT_TRUE(IsGreen(Rgb(t, 11, 11)));
  EXPECT_TRUE(IsGreen(Rgb(t, 1, 8)));  // left edge of the disc, beyond the plus
  // Symmetric in both directions.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(t.pixel(x, y), t.pixel(15 - x, y));
      EXPECT_EQ(t.pixel(x, y), t.pixel(x, 15 - y));
    }
}

TEST(ResourcesTest, AccuracyBitmapHasFourGreenArrowsAroundAWhiteCentre) {
  const QImage& a = ResourceBitmap(resource_id::kAccuracyMarker);
  for (auto [x, y] : {std::pair{0, 0}, {15, 0}, {0, 15}, {15, 15}})
    EXPECT_TRUE(IsGreen(Rgb(a, x, y))) << x << "," << y;
  for (int y = 7; y <= 8; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(Rgb(a, x, y), 0xFFFFFFu) << x << "," << y;
  int green = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      green += IsGreen(Rgb(a, x, y));
      EXPECT_EQ(a.pixel(x, y), a.pixel(15 - x, 15 - y));
    }
  EXPECT_GT(green, 4 * 12);
  EXPECT_LT(green, 128);
}

TEST(ResourcesTest, GazeBitmapIsAnEyeOnWhite) {
  const QImage& e = ResourceBitmap(resource_id::kGazeMarker);
  EXPECT_EQ(Rgb(e, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(Rgb(e, 15, 15), 0xFFFFFFu);
  EXPECT_EQ(Rgb(e, 7, 8), 0x000000u);  // the pupil near the centre
  int opaque = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) opaque += Rgb(e, x, y) != 0xFFFFFFu;
  EXPECT_GT(opaque, 60);
}

TEST(ResourcesTest, IconsAreTransparentAroundAnOpaqueMiddle) {
  for (int id : {128, 129, 130})
    for (int size : {16, 32}) {
      const QImage icon = ResourceIcon(id, size);
      ASSERT_EQ(icon.size(), QSize(size, size)) << id;
      EXPECT_TRUE(icon.hasAlphaChannel());
      EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << id;
      EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2 + size / 4)), 255) << id << " " << size;
    }
  EXPECT_EQ(qAlpha(ResourceIcon(resource_id::kCogIcon, 32).pixel(16, 16)), 0);  // the cog's hole
  EXPECT_TRUE(ResourceIcon(131, 16).isNull());
  EXPECT_TRUE(ResourceIcon(resource_id::kProgramIcon, 0).isNull());
}
