// Target windows as real Qt windows: requests from another thread return at once and are
// carried out on the GUI thread; the window's look and its flags.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <QWidget>
#include <thread>

#include "platform/Resources.h"
#include "platform/qt/QtTargetWindows.h"

using namespace pupiltrak;

namespace {

void RunQueued() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

uintptr_t CreateFromAnotherThread(QtTargetWindows& host, const std::string& title, int x, int y,
                                  unsigned long* error) {
  uintptr_t handle = 0;
  std::thread frame([&] { handle = host.Create(title, x, y, 200, 200, error); });
  frame.join();
  return handle;
}

}  // namespace

TEST(QtTargetWindowsTest, WindowFromTheFrameThreadAppearsOnTheGuiThread) {
  QtTargetWindows host;
  host.RegisterClass(ResourceBitmap(resource_id::kTargetMarker));
  unsigned long error = 0;
  const uintptr_t handle = CreateFromAnotherThread(host, "1", -12, -12, &error);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(host.WindowOf(handle), nullptr);  // not yet: the GUI thread has not run

  RunQueued();
  QWidget* w = host.WindowOf(handle);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isWindow());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("1"));
  EXPECT_EQ(w->geometry(), QRect(-12, -12, 200, 200));
  const Qt::WindowFlags flags = w->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);

  std::thread frame([&] { host.Destroy(handle); });
  frame.join();
  RunQueued();
  EXPECT_EQ(host.WindowOf(handle), nullptr);
  EXPECT_EQ(host.WindowCount(), 0);
}

TEST(QtTargetWindowsTest, WindowIsBlackWithTheMarkerInTheCentre) {
  QtTargetWindows host;
  const QImage& target = ResourceBitmap(resource_id::kTargetMarker);
  host.RegisterClass(target);
  unsigned long error = 0;
  const uintptr_t handle = host.Create("5", 412, 255, 200, 200, &error);
  RunQueued();
  QWidget* w = host.WindowOf(handle);
  ASSERT_NE(w, nullptr);
  const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), QSize(200, 200));
  EXPECT_EQ(shot.pixel(0, 0) & 0xFFFFFFu, 0u);
  EXPECT_EQ(shot.pixel(199, 199) & 0xFFFFFFu, 0u);
  // Marker's top-left corner at (92, 92): its white corners and plus show the black window.
  EXPECT_EQ(shot.pixel(92, 92) & 0xFFFFFFu, 0u);
  EXPECT_EQ(shot.pixel(99, 100) & 0xFFFFFFu, 0u);
  EXPECT_EQ(shot.pixel(96, 96), target.pixel(4, 4));
  EXPECT_EQ(shot.pixel(103, 103), target.pixel(11, 11));
}

TEST(QtTargetWindowsTest, DestroyAfterCreateInTheSameBatchLeavesNoWindow) {
  QtTargetWindows host;
  host.RegisterClass(ResourceBitmap(resource_id::kTargetMarker));
  unsigned long error = 0;
  const uintptr_t a = host.Create("1", 0, 0, 200, 200, &error);
  host.Destroy(a);
  const uintptr_t b = host.Create("2", 10, 0, 200, 200, &error);
  EXPECT_NE(a, b);
  RunQueued();
  EXPECT_EQ(host.WindowCount(), 1);
  ASSERT_NE(host.WindowOf(b), nullptr);
  EXPECT_EQ(host.WindowOf(b)->windowTitle(), QStringLiteral("2"));
}

TEST(QtTargetWindowsTest, CreationFailsUntilTheClassIsRegistered) {
  QtTargetWindows host;
  unsigned long error = 0;
  EXPECT_EQ(CreateFromAnotherThread(host, "1", 0, 0, &error), 0u);
  EXPECT_EQ(error, kErrorClassNotRegistered);
  RunQueued();
  EXPECT_EQ(host.WindowCount(), 0);
}

TEST(QtTargetWindowsTest, TheUserCannotCloseATargetWindow) {
  QtTargetWindows host;
  host.RegisterClass(ResourceBitmap(resource_id::kTargetMarker));
  unsigned long error = 0;
  const uintptr_t handle = host.Create("1", 0, 0, 200, 200, &error);
  RunQueued();
  QWidget* w = host.WindowOf(handle);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(w->close());
  EXPECT_EQ(host.WindowOf(handle), w);
}

TEST(QtTargetWindowsTest, WindowsStillOpenGoWithTheHost) {
  QPointer<QWidget> window;
  {
    QtTargetWindows host;
    host.RegisterClass(ResourceBitmap(resource_id::kTargetMarker));
    unsigned long error = 0;
    const uintptr_t handle = host.Create("1", 0, 0, 200, 200, &error);
    RunQueued();
    window = host.WindowOf(handle);
    ASSERT_FALSE(window.isNull());
  }
  EXPECT_TRUE(window.isNull());
}
