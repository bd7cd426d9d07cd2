// The camera layer: initialise / start / stop / exit, frame delivery on its worker thread, the
// frame buffer it hands out and renders, and the guarantees Stop gives.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "capture_fakes.h"
#include "platform/CameraLibrary.h"
#include "platform/NamedWindows.h"

using namespace pupiltrak;

namespace {

class CameraLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera.SetRenderWindows(&windows);
    camera.SetCameraCounter([] { return 1; });
  }
  void TearDown() override { camera.Exit(); }

  // Camera 0 enabled and initialised with a generated source of count frames (-1: endless).
  void Prepare(GeneratedSource::Generator generator, int64_t count = -1, double fps = 0) {
    camera.SetSourceFactory([generator, count, fps](int index) -> std::unique_ptr<FrameSource> {
      if (index != 0) return nullptr;
      return std::make_unique<GeneratedSource>(generator, fps, count);
    });
    ASSERT_TRUE(camera.SetEnable(0, true));
    ASSERT_NE(camera.Init(), 0);
  }

  HeadlessWindows windows;
  CameraLibrary camera;
};

// A source that fails its Open, or its Read after some frames.
class FailingSource : public FrameSource {
 public:
  FailingSource(bool opens, int framesBeforeFailure)
      : opens_(opens), framesBeforeFailure_(framesBeforeFailure) {}
  bool Open() override { return opens_; }
  bool Read(cv::Mat& frame) override {
    if (reads_++ >= framesBeforeFailure_) return false;
    frame = MarkedPicture(reads_);
    return true;
  }
  void Close() override {}
  std::string Describe() const override { return "failing"; }

 private:
  bool opens_;
  int framesBeforeFailure_;
  int reads_ = 0;
};

TEST_F(CameraLayerTest, InitialiseNeedsAnEnabledCameraWithASource) {
  camera.SetSourceFactory([](int) { return std::make_unique<GeneratedSource>(MarkedPicture); });
  EXPECT_EQ(camera.Init(), 0) << "camera 0 was never enabled";
  EXPECT_NE(camera.Start(), 0) << "start before a successful initialise";

  camera.SetSourceFactory([](int) { return nullptr; });
  camera.SetEnable(0, true);
  EXPECT_EQ(camera.Init(), 0) << "no source for camera 0";

  camera.SetSourceFactory([](int) { return std::make_unique<GeneratedSource>(MarkedPicture); });
  EXPECT_NE(camera.Init(), 0);
  EXPECT_TRUE(camera.Initialised());
  EXPECT_NE(camera.Init(), 0) << "initialising again keeps the layer initialised";
}

TEST_F(CameraLayerTest, StartFailsWhenTheSourceDoesNotOpen) {
  camera.SetSourceFactory([](int) { return std::make_unique<FailingSource>(false, 0); });
  camera.SetEnable(0, true);
  ASSERT_NE(camera.Init(), 0);
  EXPECT_NE(camera.Start(), 0);
  EXPECT_FALSE(camera.Delivering());
  camera.Stop();  // harmless
}

TEST_F(CameraLayerTest, ExitReturnsToTheUninitialisedState) {
  std::atomic<int> calls{0};
  Prepare(MarkedPicture, 3);
  camera.SetCallback(0, [&](CameraFrame&) { ++calls; });
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  camera.Exit();
  EXPECT_FALSE(camera.Initialised());
  EXPECT_EQ(camera.Init(), 0) << "exit clears the enable property";
  // The callback went too: a new run without setting it delivers to nobody.
  camera.SetEnable(0, true);
  ASSERT_NE(camera.Init(), 0);
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(calls.load(), 3);
  EXPECT_EQ(camera.FramesDelivered(), 3);
}

TEST_F(CameraLayerTest, HandsOutItsOwnBottomUpBgrBuffer) {
  // Grey and BGRA inputs become 8-bit B, G, R too.
  auto generator = [](int64_t i) -> cv::Mat {
    cv::Mat bgr = MarkedPicture(i), out;
    if (i == 1)
      cv::cvtColor(bgr, out, cv::COLOR_BGR2GRAY);
    else if (i == 2)
      cv::cvtColor(bgr, out, cv::COLOR_BGR2BGRA);
    else
      out = bgr;
    return out;
  };
  Prepare(generator, 3);
  std::vector<CameraFrame> seen;
  const uchar* buffer = nullptr;
  bool sameBuffer = true;
  camera.SetCallback(0, [&](CameraFrame& f) {
    if (buffer && f.image.data != buffer) sameBuffer = false;
    buffer = f.image.data;
    seen.push_back(CameraFrame{f.image.clone(), f.origin});
  });
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(sameBuffer) << "the layer reuses its one buffer";
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].origin, 1);
    ASSERT_EQ(seen[i].image.type(), CV_8UC3);
    cv::Mat upright;
    cv::flip(seen[i].image, upright, 0);
    cv::Mat picture = generator(static_cast<int64_t>(i)), expected;
    if (picture.channels() == 1)
      cv::cvtColor(picture, expected, cv::COLOR_GRAY2BGR);
    else if (picture.channels() == 4)
      cv::cvtColor(picture, expected, cv::COLOR_BGRA2BGR);
    else
      expected = picture;
    EXPECT_EQ(cv::norm(upright, expected, cv::NORM_INF), 0) << "frame " << i;
  }
  // The first row of the buffer is the bottom (blue) row of the picture.
  EXPECT_EQ(seen[0].image.at<cv::Vec3b>(0, 5), cv::Vec3b(255, 0, 0));
}

TEST_F(CameraLayerTest, RendersTheFrameUprightWithWhatTheCallbackDrew) {
  Prepare(MarkedPicture, 2);
  windows.Create("Source", 1);
  uintptr_t handle = windows.NativeHandle("Source");
  camera.SetWindow(0, handle);
  camera.SetRender(0, true);
  // Draws green into the buffer's first row: the bottom of the picture.
  camera.SetCallback(0, [](CameraFrame& f) { f.image.row(0).setTo(cv::Scalar(0, 255, 0)); });
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  cv::Mat shown = windows.Latest("Source");
  ASSERT_EQ(shown.size(), cv::Size(64, 48));
  EXPECT_EQ(windows.ShowCount("Source"), 2);
  EXPECT_EQ(shown.at<cv::Vec3b>(47, 10), cv::Vec3b(0, 255, 0)) << "drawn mark at the bottom";
  EXPECT_EQ(shown.at<cv::Vec3b>(0, 10), cv::Vec3b(0, 0, 255)) << "red top row stays on top";
}

TEST_F(CameraLayerTest, RendersNothingWithoutRenderOrWindow) {
  Prepare(MarkedPicture, 2);
  windows.Create("Source", 1);
  camera.SetWindow(0, windows.NativeHandle("Source"));
  ASSERT_EQ(camera.Start(), 0);  // render is off
  camera.WaitUntilIdle();
  EXPECT_EQ(windows.ShowCount("Source"), 0);
  camera.Stop();
  camera.SetRender(0, true);
  camera.SetWindow(0, 0);
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(windows.ShowCount("Source"), 0);
}

TEST_F(CameraLayerTest, ASourceThatEndsStopsDeliveryAndCanStartAgain) {
  std::vector<int64_t> indices;
  Prepare([](int64_t i) { return MarkedPicture(i); }, 5);
  camera.SetCallback(0,
                     [&](CameraFrame& f) { indices.push_back(f.image.at<cv::Vec3b>(46, 0)[0]); });
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_TRUE(camera.SourceEnded());
  EXPECT_FALSE(camera.Delivering());
  EXPECT_EQ(camera.FramesDelivered(), 5);
  camera.Stop();
  ASSERT_EQ(camera.Start(), 0) << "a stopped layer starts again and reopens its source";
  camera.WaitUntilIdle();
  EXPECT_EQ(indices, (std::vector<int64_t>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4}));
}

// A waiter for frames wakes when they have been delivered, or when the run ends without them.
TEST_F(CameraLayerTest, AWaitForFramesEndsWithThemOrWithTheRun) {
  Prepare(MarkedPicture, 5);
  std::atomic<int> calls{0};
  camera.SetCallback(0, [&](CameraFrame&) { ++calls; });
  ASSERT_EQ(camera.Start(), 0);
  EXPECT_TRUE(camera.WaitForFrames(3));
  EXPECT_GE(calls.load(), 3) << "a delivered frame has been through the callback";
  EXPECT_FALSE(camera.WaitForFrames(6)) << "the source has only five";
  EXPECT_EQ(camera.FramesDelivered(), 5);
  EXPECT_FALSE(camera.Delivering());
}

TEST_F(CameraLayerTest, AFailingSourceOrUnusableFrameEndsDeliveryWithoutHarm) {
  camera.SetSourceFactory([](int) { return std::make_unique<FailingSource>(true, 3); });
  camera.SetEnable(0, true);
  ASSERT_NE(camera.Init(), 0);
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(camera.FramesDelivered(), 3);
  EXPECT_TRUE(camera.SourceEnded());
  camera.Stop();

  // Two channels is no picture format the layer knows: delivery ends before that frame.
  camera.Exit();
  Prepare(
      [](int64_t i) {
        return i < 2 ? MarkedPicture(i) : cv::Mat(48, 64, CV_8UC2, cv::Scalar(1, 2));
      },
      10);
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(camera.FramesDelivered(), 2);
  EXPECT_TRUE(camera.SourceEnded());
}

TEST_F(CameraLayerTest, ASourceThatThrowsEndsTheRun) {
  Prepare(
      [](int64_t i) {
        if (i == 2) throw std::runtime_error("device gone");
        return MarkedPicture(i);
      },
      10);
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(camera.FramesDelivered(), 2);
  EXPECT_TRUE(camera.SourceEnded());
  EXPECT_EQ(camera.LastCallbackError(), "device gone");
}

TEST_F(CameraLayerTest, ACallbackThatThrowsLosesOnlyItsFrame) {
  Prepare(MarkedPicture, 4);
  std::atomic<int> calls{0};
  camera.SetCallback(0, [&](CameraFrame&) {
    if (++calls == 2) throw std::runtime_error("bad frame");
  });
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(calls.load(), 4);
  EXPECT_EQ(camera.FailedCallbacks(), 1);
  EXPECT_EQ(camera.LastCallbackError(), "bad frame");
}

TEST_F(CameraLayerTest, NoCallbackOverlapsAnotherOrStartsAfterStopReturns) {
  Prepare(MarkedPicture);  // endless, as fast as possible
  std::atomic<int> inside{0}, overlaps{0}, afterStop{0};
  std::atomic<bool> stopped{false};
  std::atomic<int64_t> total{0};
  camera.SetCallback(0, [&](CameraFrame&) {
    if (stopped.load()) ++afterStop;
    if (inside.fetch_add(1) != 0) ++overlaps;
    ++total;
    inside.fetch_sub(1);
  });
  for (int run = 0; run < 300; ++run) {
    stopped = false;
    ASSERT_EQ(camera.Start(), 0);
    // Some runs stop at once, some after a yield, some only once a frame is in: without the
    // last, a busy machine could stop every run before its first frame and test nothing.
    if (run % 3 == 0) std::this_thread::yield();
    if (run % 3 == 1) {
      EXPECT_TRUE(camera.WaitForFrames(1));
    }
    camera.Stop();
    stopped = true;
  }
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(afterStop.load(), 0);
  EXPECT_FALSE(camera.Delivering());
  EXPECT_GT(total.load(), 0);
}

TEST_F(CameraLayerTest, StopWaitsForACallbackInsideThePipelineWithoutDeadlock) {
  Prepare(MarkedPicture);
  std::promise<void> entered;
  std::atomic<bool> enteredOnce{false};
  std::atomic<int> calls{0};
  camera.SetCallback(0, [&](CameraFrame&) {
    ++calls;
    if (!enteredOnce.exchange(true)) entered.set_value();
    // The pipeline at work until the GUI thread is inside Stop; it may ask the layer about
    // its state meanwhile.
    while (!camera.StopRequested()) {
      (void)camera.Delivering();
      (void)camera.FramesDelivered();
      std::this_thread::yield();
    }
  });
  ASSERT_EQ(camera.Start(), 0);
  entered.get_future().wait();
  camera.Stop();
  EXPECT_EQ(calls.load(), 1) << "no frame after the one that was inside";
  EXPECT_FALSE(camera.Delivering());
  EXPECT_FALSE(camera.StopRequested());
}

TEST_F(CameraLayerTest, StopFromInsideTheCallbackEndsDeliveryAfterThatFrame) {
  Prepare(MarkedPicture);
  std::atomic<int> calls{0};
  camera.SetCallback(0, [&](CameraFrame&) {
    if (++calls == 3) camera.Stop();
  });
  ASSERT_EQ(camera.Start(), 0);
  camera.WaitUntilIdle();
  EXPECT_EQ(calls.load(), 3);
  EXPECT_FALSE(camera.SourceEnded());
  camera.Stop();
  EXPECT_EQ(calls.load(), 3);
}

TEST_F(CameraLayerTest, StopInterruptsAPacedWait) {
  // One frame every 100 seconds: Stop must not wait for the next one.
  Prepare(MarkedPicture, -1, 0.01);
  std::promise<void> first;
  std::atomic<bool> once{false};
  camera.SetCallback(0, [&](CameraFrame&) {
    if (!once.exchange(true)) first.set_value();
  });
  ASSERT_EQ(camera.Start(), 0);
  first.get_future().wait();
  camera.Stop();
  EXPECT_EQ(camera.FramesDelivered(), 1);
}

TEST_F(CameraLayerTest, AClosedGateHoldsFramesBackWithoutHoldingUpStop) {
  std::atomic<bool> open{false};
  camera.SetFrameGate([&] { return open.load(); });
  Prepare(MarkedPicture, 3);
  std::atomic<int> calls{0};
  camera.SetCallback(0, [&](CameraFrame&) { ++calls; });
  ASSERT_EQ(camera.Start(), 0);
  camera.Stop();  // returns although the gate never opened
  EXPECT_EQ(calls.load(), 0);

  camera.Exit();  // the gate is no property: it outlives exit
  Prepare(MarkedPicture, 3);
  camera.SetCallback(0, [&](CameraFrame&) { ++calls; });
  ASSERT_EQ(camera.Start(), 0);
  open = true;
  camera.WaitUntilIdle();
  EXPECT_EQ(calls.load(), 3);
}

TEST_F(CameraLayerTest, StartingTwiceKeepsOneRun) {
  Prepare(MarkedPicture);
  std::atomic<int> inside{0}, overlaps{0};
  camera.SetCallback(0, [&](CameraFrame&) {
    if (inside.fetch_add(1) != 0) ++overlaps;
    inside.fetch_sub(1);
  });
  ASSERT_EQ(camera.Start(), 0);
  EXPECT_EQ(camera.Start(), 0);
  camera.Stop();
  EXPECT_EQ(overlaps.load(), 0);
}

TEST_F(CameraLayerTest, PropertyPagesAreShownOnlyWhenInitialised) {
  std::vector<std::string> handled;
  camera.SetPropertyPageHandler(
      [&](CameraLibrary&, const PropertyPageRequest& r) { handled.push_back(r.page); });
  camera.SetSourceFactory([](int) { return std::make_unique<GeneratedSource>(MarkedPicture); });
  EXPECT_FALSE(camera.ShowPropertyPage(0, "camera_pp"));
  camera.SetEnable(0, true);
  ASSERT_NE(camera.Init(), 0);
  EXPECT_FALSE(camera.ShowPropertyPage(0, "other_pp"));
  EXPECT_TRUE(camera.ShowPropertyPage(0, "camera_pp"));
  EXPECT_TRUE(camera.ShowPropertyPage(0, "video_pp"));
  EXPECT_EQ(handled, (std::vector<std::string>{"camera_pp", "video_pp"}));
  auto shown = camera.PropertyPagesShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].page, "video_pp");
  EXPECT_EQ(shown[1].devicePath, "") << "no V4L2 camera behind a generated source";
}

TEST_F(CameraLayerTest, TheDefaultsLookForV4L2CapturesInTheDeviceDirectory) {
  camera.RestoreDefaults();
  camera.SetDeviceDirectory(::testing::TempDir() + "/no-such-dev-directory");
  EXPECT_EQ(camera.CameraCount(), 0);
  EXPECT_EQ(camera.DevicePath(0), "");
  camera.SetEnable(0, true);
  EXPECT_EQ(camera.Init(), 0) << "no capture device, no source";
  camera.SetVideoFormat(0, VideoFormat{0x47504a4d, 640, 480, 30});
  EXPECT_EQ(camera.ChosenVideoFormat(0).width, 640);
  camera.RestoreDefaults();
  EXPECT_EQ(camera.ChosenVideoFormat(0), VideoFormat{});
}

}  // namespace
