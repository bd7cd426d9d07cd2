// The gaze strip charts on a dialog canvas: rows, clamping, gap lines, the scroll, the shared
// last row, repaints and the two threads that use a chart.
#include <gtest/gtest.h>

#include <QRect>
#include <atomic>
#include <cmath>
#include <thread>

#include "display/StripChart.h"
#include "platform/DialogCanvas.h"

using namespace pupiltrak;

namespace {

// The charts of the dialog, for a full-screen client area of 1024 x 710.
constexpr int kLeft = 12, kTop = 310, kRight = 468, kBottom = 390;
constexpr int kYTop = 395, kYBottom = 475;
constexpr int kNewest = kRight - 2;

const QRgb kBlack = 0x000000u, kWhite = 0xFFFFFFu, kGrey = 0xC0C0C0u;

QRgb At(const DialogCanvas& canvas, int x, int y) {
  return canvas.Region(QRect(x, y, 1, 1)).pixel(0, 0) & 0x00FFFFFFu;
}

// Black pixels of one row between two columns (inclusive).
int BlackInRow(const QImage& image, int y, int x0, int x1) {
  int n = 0;
  for (int x = x0; x <= x1; ++x)
    if ((image.pixel(x, y) & 0xFFFFFFu) == kBlack) ++n;
  return n;
}

QRect InkOf(const QImage& image, const QRect& area) {
  QRect r;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFFu) == kBlack) r |= QRect(x, y, 1, 1);
  return r;
}

class StripChartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    x_.Create(canvas_, kLeft, kTop, kRight, kBottom, 0, 1024, "Gaze X");
    y_.Create(canvas_, kLeft, kYTop, kRight, kYBottom, 0, 710, "Gaze Y");
    x_.Show(canvas_);
    y_.Show(canvas_);
  }

  DialogCanvas canvas_{640, 520};
  // Side by side like the dialog's, sharing the row of the last point.
  GazeCharts charts_;
  StripChart& x_ = charts_.x;
  StripChart& y_ = charts_.y;
};

}  // namespace

TEST_F(StripChartTest, ShownChartIsAWhiteBoxWithABlackOutline) {
  EXPECT_EQ(At(canvas_, kLeft, kTop), kBlack);
  EXPECT_EQ(At(canvas_, kRight - 1, kBottom - 1), kBlack);
  EXPECT_EQ(At(canvas_, kRight - 2, kTop + 1), kWhite);
  EXPECT_EQ(At(canvas_, 300, 350), kWhite);
  // The dialog around it is untouched.
  EXPECT_NE(At(canvas_, kRight, kTop), kBlack);
  EXPECT_NE(At(canvas_, kLeft, kBottom), kBlack);
}

TEST_F(StripChartTest, RangeEndsPlotAtTheInnerEdgesAndOutsideValuesAreClamped) {
  x_.AddValue(canvas_, 0, false);
  EXPECT_EQ(At(canvas_, kNewest, kTop + 1), kBlack);
  EXPECT_EQ(At(canvas_, kNewest - 1, kTop + 1), kBlack);  // already scrolled one column

  x_.AddValue(canvas_, 1024, false);
  EXPECT_EQ(At(canvas_, kNewest, kBottom - 2), kBlack);
  EXPECT_EQ(At(canvas_, kNewest, kTop + 1), kWhite);  // the previous point left this column

  x_.AddValue(canvas_, 512, false);  // 310 + trunc(80 / 1024 * 512)
  EXPECT_EQ(At(canvas_, kNewest, 350), kBlack);
  x_.AddValue(canvas_, 12.9, false);  // trunc(1.0078...) = 1
  EXPECT_EQ(At(canvas_, kNewest, 311), kBlack);
  x_.AddValue(canvas_, 25.5, false);  // trunc(1.99...) = 1, not rounded up
  EXPECT_EQ(At(canvas_, kNewest, 311), kBlack);
  EXPECT_EQ(At(canvas_, kNewest, 312), kWhite);

  x_.AddValue(canvas_, 5000, false);
  EXPECT_EQ(At(canvas_, kNewest, kBottom - 2), kBlack);
  x_.AddValue(canvas_, -300, false);
  EXPECT_EQ(At(canvas_, kNewest, kTop + 1), kBlack);
  // The outline is never drawn over.
  EXPECT_EQ(At(canvas_, kNewest, kTop), kBlack);
  EXPECT_EQ(At(canvas_, kNewest, kBottom - 1), kBlack);
}

TEST_F(StripChartTest, GapLeavesAGreyLineThatTheNextValueWhitensFirst) {
  x_.AddValue(canvas_, 999.999, true);
  for (int y = kTop + 2; y < kBottom - 3; ++y) {
    ASSERT_EQ(At(canvas_, kNewest, y), kGrey) << y;
    ASSERT_EQ(At(canvas_, kNewest - 1, y), kGrey) << y;
  }
  EXPECT_EQ(At(canvas_, kNewest, kTop + 1), kWhite);
  EXPECT_EQ(At(canvas_, kNewest, kBottom - 3), kWhite);
  // 999.999 as a gap is not plotted: nothing black inside the plotting column.
  for (int y = kTop + 1; y <= kBottom - 2; ++y) ASSERT_NE(At(canvas_, kNewest, y), kBlack);

  x_.AddValue(canvas_, 512, false);
  for (int y = kTop + 2; y < kBottom - 3; ++y) {
    ASSERT_EQ(At(canvas_, kNewest, y), y == 350 ? kBlack : kWhite) << y;
    ASSERT_EQ(At(canvas_, kNewest - 2, y), kGrey) << y;  // the gap, carried to the left
  }
}

TEST_F(StripChartTest, ARunOfGapsBuildsAGreyBand) {
  for (int i = 0; i < 5; ++i) x_.AddValue(canvas_, 999.999, true);
  for (int x = kNewest - 5; x <= kNewest; ++x) EXPECT_EQ(At(canvas_, x, 340), kGrey) << x;
  EXPECT_EQ(At(canvas_, kNewest - 6, 340), kWhite);
}

TEST_F(StripChartTest, PointLeavesThePlottingAreaAfter425ValuesAndLabelsNeverMove) {
  const QRect labels(kLeft, kTop, 29, kBottom - kTop);
  const QRect outline(kRight - 1, kTop, 1, kBottom - kTop);
  const QImage labelsBefore = canvas_.Region(labels);
  const QImage outlineBefore = canvas_.Region(outline);

  x_.AddValue(canvas_, 512, false);  // row 350
  for (int i = 1; i <= 425; ++i) {
    x_.AddValue(canvas_, 0, false);
    if (i == 424) {
      const QImage chart = canvas_.Region(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
      EXPECT_EQ(BlackInRow(chart, 350 - kTop, 29, 29), 1);  // column 41: the area's left end
      EXPECT_EQ(BlackInRow(chart, 350 - kTop, 30, kRight - kLeft - 2), 0);
    }
  }
  const QImage chart = canvas_.Region(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
  EXPECT_EQ(BlackInRow(chart, 350 - kTop, 29, kRight - kLeft - 2), 0);
  // The trace of zeros fills the whole plotting area's top row.
  EXPECT_EQ(BlackInRow(chart, 1, 29, kRight - kLeft - 2), 426);
  EXPECT_EQ(canvas_.Region(labels), labelsBefore);
  EXPECT_EQ(canvas_.Region(outline), outlineBefore);
}

TEST_F(StripChartTest, LastRowIsSharedSoEachChartClearsTheOtherChartsNewestPoint) {
  x_.AddValue(canvas_, 512, false);  // Gaze X at row 350
  EXPECT_EQ(At(canvas_, kNewest, 350), kBlack);
  y_.AddValue(canvas_, 0, false);  // Gaze Y at row 396; whitens (466, 350) in Gaze X
  EXPECT_EQ(At(canvas_, kNewest, 350), kWhite);
  EXPECT_EQ(At(canvas_, kNewest - 1, 350), kBlack);  // Gaze X's scrolled copy stays
  EXPECT_EQ(At(canvas_, kNewest, kYTop + 1), kBlack);

  x_.AddValue(canvas_, 0, false);  // whitens Gaze Y's newest point at row 396
  EXPECT_EQ(At(canvas_, kNewest, kYTop + 1), kWhite);
  EXPECT_EQ(At(canvas_, kNewest - 1, kYTop + 1), kBlack);
}

TEST_F(StripChartTest, FirstPointEverWhitensTheTopRowOfItsOwnChart) {
  // No point plotted yet: the last row starts at the chart's top + 1. On Gaze Y that is a row
  // of Gaze Y itself, so nothing of Gaze X is touched.
  const QImage xBefore = canvas_.Region(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
  y_.AddValue(canvas_, 360, false);  // 395 + trunc(80 / 710 * 360) = 435
  EXPECT_EQ(At(canvas_, kNewest, 435), kBlack);
  EXPECT_EQ(At(canvas_, kNewest, kYTop + 1), kWhite);
  EXPECT_EQ(canvas_.Region(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop)), xBefore);
}

TEST_F(StripChartTest, RangeLabelsShowMinAtTheTopAndMaxAtTheBottom) {
  const QImage gx = canvas_.Region(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
  const QImage gy = canvas_.Region(QRect(kLeft, kYTop, kRight - kLeft, kYBottom - kYTop));
  for (const QImage* chart : {&gx, &gy}) {
    const QRect minInk = InkOf(*chart, QRect(1, 1, 28, 11));
    const QRect maxInk = InkOf(*chart, QRect(1, 69, 28, 10));
    ASSERT_FALSE(minInk.isNull());
    ASSERT_FALSE(maxInk.isNull());
    EXPECT_GE(minInk.left(), 5);
    EXPECT_GE(maxInk.left(), 5);
    EXPECT_GE(maxInk.top(), 70);
    // "0" is one digit; the maximum has three or four.
    EXPECT_GT(maxInk.width(), 2 * minInk.width());
  }
  // "1024" is wider than "710".
  EXPECT_GT(InkOf(gx, QRect(1, 69, 28, 10)).width(), InkOf(gy, QRect(1, 69, 28, 10)).width());

  // The rotated label stands left of the plotting area, above its corner (3, 60).
  const QRect label = InkOf(gx, QRect(1, 13, 28, 55));
  ASSERT_FALSE(label.isNull());
  EXPECT_GE(label.left(), 3);
  EXPECT_LE(label.right(), 28);
  EXPECT_LE(label.bottom(), 60);
  EXPECT_GT(label.height(), 2 * label.width());
}

TEST_F(StripChartTest, RepaintTouchingTheChartRestartsItBlank) {
  x_.AddValue(canvas_, 512, false);
  // Just beyond the right edge: not touching.
  x_.Paint(canvas_, IntRect{kRight + 1, kTop, 600, kBottom});
  EXPECT_EQ(At(canvas_, kNewest, 350), kBlack);
  // Well above the chart.
  x_.Paint(canvas_, IntRect{0, 0, 640, kTop - 1});
  EXPECT_EQ(At(canvas_, kNewest, 350), kBlack);
  // Sharing only the edge counts as touching.
  x_.Paint(canvas_, IntRect{kRight, kBottom, 600, 500});
  EXPECT_EQ(At(canvas_, kNewest, 350), kWhite);
  EXPECT_EQ(At(canvas_, kNewest - 1, 350), kWhite);

  // Gaze Y is below the update rectangle's bottom: it keeps its trace.
  y_.AddValue(canvas_, 0, false);
  y_.Paint(canvas_, IntRect{0, 0, 640, kYTop - 1});
  EXPECT_EQ(At(canvas_, kNewest, kYTop + 1), kBlack);
}

TEST_F(StripChartTest, ShowBlanksAndTheGapStateCarriesOn) {
  x_.AddValue(canvas_, 999.999, true);
  x_.Show(canvas_);
  EXPECT_EQ(At(canvas_, kNewest, 340), kWhite);
  EXPECT_EQ(At(canvas_, kNewest - 1, 340), kWhite);
  x_.AddValue(canvas_, 0, false);
  EXPECT_EQ(At(canvas_, kNewest, 340), kWhite);
}

TEST_F(StripChartTest, EveryChangeIsReportedWithTheChartsRectangle) {
  std::vector<QRect> changes;
  canvas_.SetChangedCallback([&](const QRect& r) { changes.push_back(r); });
  x_.AddValue(canvas_, 100, false);
  x_.Show(canvas_);
  canvas_.SetChangedCallback(nullptr);
  ASSERT_EQ(changes.size(), 2u);
  for (const QRect& r : changes) EXPECT_EQ(r, QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop));
}

TEST(StripChartLifecycleTest, ChartNeverCreatedDrawsNothing) {
  DialogCanvas canvas(100, 100);
  const QImage before = canvas.Snapshot();
  StripChart chart;
  EXPECT_FALSE(chart.Created());
  chart.AddValue(canvas, 10, false);
  chart.AddValue(canvas, 10, true);
  chart.Show(canvas);
  chart.Paint(canvas, IntRect{0, 0, 100, 100});
  EXPECT_EQ(canvas.Snapshot(), before);
}

TEST(StripChartLifecycleTest, EmptyRangeAndNoNumberPlotAtTheTop) {
  DialogCanvas canvas(100, 60);
  StripChart chart;
  chart.Create(canvas, 0, 0, 80, 50, 0, 0, "flat");
  chart.Show(canvas);
  chart.AddValue(canvas, 0, false);  // 0 / 0
  EXPECT_EQ(At(canvas, 78, 1), kBlack);
  chart.AddValue(canvas, 5, false);  // +infinity: clamped to the bottom
  EXPECT_EQ(At(canvas, 78, 48), kBlack);
  chart.AddValue(canvas, std::nan(""), false);
  EXPECT_EQ(At(canvas, 78, 1), kBlack);
}

TEST(StripChartLifecycleTest, LabelIsCutTo63Characters) {
  DialogCanvas canvas(100, 100);
  StripChart chart;
  chart.Create(canvas, 0, 0, 80, 80, 0, 10, std::string(100, 'x'));
  EXPECT_EQ(chart.Label(), std::string(63, 'x'));
  EXPECT_EQ(chart.Rect(), (IntRect{0, 0, 80, 80}));
  EXPECT_TRUE(chart.Created());
  chart.Reset();
  EXPECT_FALSE(chart.Created());
}

TEST(StripChartLifecycleTest, GazeChartsAreShownOnTheMainWindowGazeXFirst) {
  GazeCharts charts;
  charts.Show(nullptr);  // no dialog: nothing happens
  DialogCanvas canvas(480, 480);
  charts.x.Create(canvas, kLeft, kTop, kRight, kBottom, 0, 1024, "Gaze X");
  charts.y.Create(canvas, kLeft, kYTop, kRight, kYBottom, 0, 710, "Gaze Y");
  std::vector<QRect> shown;
  canvas.SetChangedCallback([&](const QRect& r) { shown.push_back(r); });
  charts.Show(&canvas);
  canvas.SetChangedCallback(nullptr);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].top(), kTop);
  EXPECT_EQ(shown[1].top(), kYTop);
  EXPECT_EQ(At(canvas, kLeft, kYTop), kBlack);
}

// Paint (GUI thread) and AddValue (frame thread) on the same charts at once. Run under the
// thread sanitizer as well; here it checks that the chart stays whole.
TEST_F(StripChartTest, RepaintsWhileValuesArriveFromAnotherThread) {
  const QImage labelsBefore = canvas_.Region(QRect(kLeft, kTop, 29, kBottom - kTop));
  std::atomic<bool> stop{false};
  std::thread frames([&] {
    int i = 0;
    while (!stop.load()) {
      x_.AddValue(canvas_, (i * 37) % 1100, i % 7 == 0);
      y_.AddValue(canvas_, (i * 53) % 800, i % 11 == 0);
      if (i % 50 == 0) x_.Show(canvas_);
      ++i;
    }
  });
  for (int k = 0; k < 300; ++k) {
    x_.Paint(canvas_, IntRect{0, 0, 640, 520});
    y_.Paint(canvas_, IntRect{0, kYTop, 640, 520});
  }
  stop = true;
  frames.join();

  EXPECT_EQ(canvas_.Region(QRect(kLeft, kTop, 29, kBottom - kTop)), labelsBefore);
  for (int x = kLeft; x < kRight; ++x) {
    ASSERT_EQ(At(canvas_, x, kTop), kBlack) << x;
    ASSERT_EQ(At(canvas_, x, kYBottom - 1), kBlack) << x;
  }
  // After a final repaint both charts are blank again.
  x_.Paint(canvas_, IntRect{0, 0, 640, 520});
  for (int x = kLeft + 29; x < kRight - 1; ++x) ASSERT_EQ(At(canvas_, x, 350), kWhite) << x;
}
