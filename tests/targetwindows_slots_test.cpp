// The target-window slots over a recording host: at most one calibration window, the accuracy
// window replaced, titles, geometry, failures, and the transparent marker drawing.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <atomic>
#include <thread>

#include "calibration/TargetWindows.h"
#include "platform/HeadlessPlatform.h"
#include "platform/Resources.h"
#include "platform/Surface.h"

using namespace pupiltrak;

namespace {

class TargetWindowSlotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTargetWindowClass(host_, ResourceBitmap(resource_id::kTargetMarker));
  }
  void TearDown() override { slots_.DestroyAll(); }

  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const auto& w : host_.Existing()) titles.push_back(w.title);
    std::sort(titles.begin(), titles.end());
    return titles;
  }
  QRect GeometryOf(const std::string& title) const {
    for (const auto& w : host_.Existing())
      if (w.title == title) return w.geometry;
    return QRect();
  }

  HeadlessPlatform platform_{HeadlessPlatform::Reach::kOwn};
  HeadlessTargetWindows& host_ = platform_.targets;
  ScriptedPrompts& prompts_ = platform_.prompts;
  TargetWindowSlots slots_{&host_, &prompts_};
};

}  // namespace

TEST_F(TargetWindowSlotsTest, FirstTargetWindowIsCentredOnItsTargetPartlyOffScreen) {
  slots_.CreateCalibration(0, 88, 88);
  ASSERT_EQ(Titles(), std::vector<std::string>{"1"});
  EXPECT_EQ(GeometryOf("1"), QRect(-12, -12, 200, 200));
}

TEST_F(TargetWindowSlotsTest, PositionsAreTruncatedTowardZero) {
  slots_.CreateCalibration(4, 512.99, 355.5);
  EXPECT_EQ(GeometryOf("5"), QRect(412, 255, 200, 200));
  slots_.CreateCalibration(4, -0.9, -10.7);
  EXPECT_EQ(GeometryOf("5"), QRect(-100, -110, 200, 200));
}

TEST_F(TargetWindowSlotsTest, AtMostOneCalibrationWindowTitledWithTheTargetNumber) {
  for (int i = 0; i < 9; ++i) {
    slots_.CreateCalibration(i, 100 + i, 200);
    ASSERT_EQ(Titles(), std::vector<std::string>{std::to_string(i + 1)});
  }
  EXPECT_EQ(host_.Created(), 9);
  // The same index again replaces the window too.
  slots_.CreateCalibration(8, 100, 200);
  EXPECT_EQ(host_.Existing().size(), 1u);
  EXPECT_EQ(host_.Created(), 10);
}

TEST_F(TargetWindowSlotsTest, IndexOutsideTheTargetsOnlyDestroys) {
  slots_.CreateCalibration(3, 100, 100);
  slots_.CreateCalibration(9, 100, 100);
  EXPECT_TRUE(host_.Existing().empty());
  slots_.CreateCalibration(3, 100, 100);
  slots_.CreateCalibration(-1, 100, 100);
  EXPECT_TRUE(host_.Existing().empty());
  EXPECT_EQ(host_.Created(), 2);
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(TargetWindowSlotsTest, AccuracyWindowIsReplacedAndLeftAloneByCalibrationWindows) {
  slots_.CreateAccuracy(500, 300);
  EXPECT_EQ(GeometryOf("TitleIsIrrelevant"), QRect(400, 200, 200, 200));
  slots_.CreateAccuracy(50, 60);
  ASSERT_EQ(Titles(), std::vector<std::string>{"TitleIsIrrelevant"});
  EXPECT_EQ(GeometryOf("TitleIsIrrelevant"), QRect(-50, -40, 200, 200));

  slots_.CreateCalibration(2, 936, 88);
  EXPECT_EQ(Titles(), (std::vector<std::string>{"3", "TitleIsIrrelevant"}));
  slots_.DestroyCalibration();
  EXPECT_EQ(Titles(), std::vector<std::string>{"TitleIsIrrelevant"});
  slots_.DestroyAll();
  EXPECT_TRUE(host_.Existing().empty());
}

TEST_F(TargetWindowSlotsTest, CreationWithoutTheClassReportsTheErrorCode) {
  host_.Clear();  // as after a failed cascade load: the class was never registered
  slots_.CreateCalibration(0, 88, 88);
  slots_.CreateAccuracy(10, 10);
  EXPECT_EQ(prompts_.Messages(), (std::vector<std::string>{"Error 1407", "Error 1407"}));
  EXPECT_TRUE(host_.Existing().empty());
  // The empty slots are harmless afterwards; the accuracy window is tried again.
  slots_.DestroyCalibration();
  RegisterTargetWindowClass(host_, ResourceBitmap(resource_id::kTargetMarker));
  slots_.CreateAccuracy(10, 10);
  EXPECT_EQ(Titles(), std::vector<std::string>{"TitleIsIrrelevant"});
  EXPECT_EQ(prompts_.Messages().size(), 2u);
}

TEST_F(TargetWindowSlotsTest, FrameThreadAndDialogNeverLeaveTwoCalibrationWindows) {
  std::atomic<bool> stop{false};
  std::thread frames([&] {
    for (int n = 0; !stop.load(); ++n) slots_.CreateCalibration(n % 9, 88, 88);
  });
  for (int k = 0; k < 2000; ++k) {
    slots_.DestroyCalibration();
    ASSERT_LE(host_.Existing().size(), 1u);
  }
  stop = true;
  frames.join();
  EXPECT_LE(host_.Existing().size(), 1u);
}

// Slots given no host use the process's windows and prompts; a session's slots keep to its own.
TEST(TargetWindowSlotsPlatformTest, SlotsUseTheirSessionsHostAndPromptsOrElseTheProcesss) {
  HeadlessPlatform process;  // the process's stand-ins
  HeadlessPlatform own(HeadlessPlatform::Reach::kOwn);
  const QImage& bitmap = ResourceBitmap(resource_id::kTargetMarker);
  RegisterTargetWindowClass(process.targets, bitmap);
  RegisterTargetWindowClass(own.targets, bitmap);
  TargetWindowSlots processSlots, ownSlots(&own.targets, &own.prompts);
  processSlots.CreateCalibration(0, 88, 88);
  ownSlots.CreateCalibration(4, 500, 300);
  ASSERT_EQ(process.targets.Existing().size(), 1u);
  EXPECT_EQ(process.targets.Existing()[0].title, "1");
  ASSERT_EQ(own.targets.Existing().size(), 1u);
  EXPECT_EQ(own.targets.Existing()[0].title, "5");

  own.targets.Clear();  // its class is gone: the failure shows on its own prompts
  ownSlots.CreateAccuracy(10, 10);
  EXPECT_EQ(own.prompts.Messages(), std::vector<std::string>{"Error 1407"});
  EXPECT_TRUE(process.prompts.Messages().empty());
  processSlots.DestroyAll();
  ownSlots.DestroyAll();
  EXPECT_TRUE(process.targets.Existing().empty());
}

TEST(DrawMarkerTest, WhitePixelsLeaveTheDestinationAsItWas) {
  const QImage& target = ResourceBitmap(resource_id::kTargetMarker);
  QImage panel = surface::Make(160, 120);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) panel.setPixel(x, y, qRgb(x, y, (x * y) & 255));
  const QImage before = panel.copy();

  DrawMarker(panel, target, 146, 105, QColor(255, 255, 255));
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const int bx = x - 138, by = y - 97;  // top-left corner at (146 - 8, 105 - 8)
      const bool inside = bx >= 0 && by >= 0 && bx < 16 && by < 16;
      const QRgb b = inside ? target.pixel(bx, by) & 0xFFFFFFu : 0xFFFFFFu;
      const QRgb expected = b == 0xFFFFFFu ? before.pixel(x, y) : target.pixel(bx, by);
      ASSERT_EQ(panel.pixel(x, y) & 0xFFFFFFu, expected & 0xFFFFFFu) << x << "," << y;
    }
  // The plus of the target shows the destination: on a black window it is black.
  QImage window = surface::Make(200, 200);
  DrawMarker(window, target, 100, 100, QColor(255, 255, 255));
  EXPECT_EQ(window.pixel(99, 100) & 0xFFFFFFu, 0u);
  EXPECT_EQ(window.pixel(96, 96), target.pixel(4, 4));
  EXPECT_EQ(window.pixel(92, 92) & 0xFFFFFFu, 0u);
}

TEST(DrawMarkerTest, MarkerReachingPastTheEdgeIsClipped) {
  QImage panel = surface::Make(20, 20);
  panel.fill(qRgb(255, 255, 255));
  const QImage& arrows = ResourceBitmap(resource_id::kAccuracyMarker);
  DrawMarker(panel, arrows, 2, 2, QColor(255, 255, 255));  // top-left corner at (-6, -6)
  EXPECT_EQ(panel.pixel(0, 0), arrows.pixel(6, 6));        // the tip of the top-left arrow
  EXPECT_EQ(panel.pixel(9, 9), arrows.pixel(15, 15));      // the tail of the bottom-right arrow
  EXPECT_EQ(panel.pixel(10, 10) & 0xFFFFFFu, 0xFFFFFFu);
}
