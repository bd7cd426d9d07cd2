// The frame callback: frame rate from the tick counter, the TrackingActive gate, the upright
// private copy and what is handed to the pipeline.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <opencv2/videoio.hpp>

#include "capture/FrameCallback.h"
#include "capture/TrackerSession.h"
#include "capture_fakes.h"
#include "platform/Machine.h"

using namespace pupiltrak;

namespace {

struct Seen {
  int calls = 0;
  cv::Mat copy;
  const uchar* copyData = nullptr;
  const uchar* frameData = nullptr;
  const OverlayFont* font = nullptr;
  cv::VideoWriter* writer = nullptr;
};

class FrameCallbackTest : public ::testing::Test {
 protected:
  FrameProcessor Recorder() {
    return [this](cv::Mat& copy, cv::Mat& frame, const OverlayFont& font, cv::VideoWriter* w) {
      ++seen.calls;
      seen.copy = copy.clone();
      seen.copyData = copy.data;
      seen.frameData = frame.data;
      seen.font = &font;
      seen.writer = w;
    };
  }
  // A frame as the camera layer hands it over: the picture stored bottom-up.
  CameraFrame BottomUp(const cv::Mat& picture) {
    CameraFrame f;
    cv::flip(picture, f.image, 0);
    f.origin = 1;
    return f;
  }
  void FrameAt(int64_t ticks, CameraFrame& frame) {
    clock.PinTicks(ticks);
    HandleCameraFrame(frame, own, tracker, clock, Recorder());
  }

  TrackerState tracker;
  FrameCallbackState own;
  FixedMachine clock;  // pinned: one million ticks per second
  Seen seen;
};

TEST_F(FrameCallbackTest, ThirtyThreeMillisecondsApartIsAboutThirtyFramesPerSecond) {
  CameraFrame f = BottomUp(MarkedPicture(0));
  FrameAt(5'000'000, f);
  FrameAt(5'033'000, f);
  EXPECT_NEAR(tracker.FrameRate.load(), 30.303, 0.001);
  FrameAt(5'073'000, f);
  EXPECT_NEAR(tracker.FrameRate.load(), 25.0, 1e-9) << "the rate of the latest interval alone";
  EXPECT_DOUBLE_EQ(own.PreviousFrameTicks, 5'073'000.0);
}

TEST_F(FrameCallbackTest, TheRateComesOutInFramesPerSecondWhateverTheTickFrequency) {
  // The unpinned clock counts nanoseconds: two frames 20 ms apart must still give 50.
  struct NanoClock : FixedMachine {
    int64_t now = 0;
    int64_t TickCount() override { return now; }
    double TickFrequency() override { return 1e9; }
  } nano;
  CameraFrame f = BottomUp(MarkedPicture(0));
  nano.now = 7'000'000'000;
  HandleCameraFrame(f, own, tracker, nano, Recorder());
  nano.now += 20'000'000;
  HandleCameraFrame(f, own, tracker, nano, Recorder());
  EXPECT_NEAR(tracker.FrameRate.load(), 50.0, 1e-9);
}

TEST_F(FrameCallbackTest, TheFirstFrameMeasuresFromTheStartAndTheClockIsNeverReset) {
  CameraFrame f = BottomUp(MarkedPicture(0));
  FrameAt(4'000'000, f);  // four seconds after the counter's zero
  EXPECT_NEAR(tracker.FrameRate.load(), 0.25, 1e-12);
  // A pause of ten seconds between runs shows as the first rate of the next run.
  FrameAt(14'000'000, f);
  EXPECT_NEAR(tracker.FrameRate.load(), 0.1, 1e-12);
  // The same tick twice: an infinite rate, nothing else happens.
  FrameAt(14'000'000, f);
  EXPECT_TRUE(std::isinf(tracker.FrameRate.load()));
}

TEST_F(FrameCallbackTest, BeforeTrackingIsActiveOnlyTheRateChanges) {
  tracker.TrackingActive = 0;
  cv::Mat picture = MarkedPicture(9);
  CameraFrame f = BottomUp(picture);
  cv::Mat before = f.image.clone();
  FrameAt(1'000'000, f);
  FrameAt(1'050'000, f);
  EXPECT_EQ(seen.calls, 0);
  EXPECT_NEAR(tracker.FrameRate.load(), 20.0, 1e-9);
  EXPECT_EQ(cv::norm(before, f.image, cv::NORM_INF), 0) << "the frame is left untouched";
}

TEST_F(FrameCallbackTest, AnOriginFlaggedFrameReachesThePipelineUpright) {
  tracker.TrackingActive = 1;
  cv::Mat picture = MarkedPicture(5);
  CameraFrame f = BottomUp(picture);
  FrameAt(2'000'000, f);
  ASSERT_EQ(seen.calls, 1);
  EXPECT_EQ(cv::norm(seen.copy, picture, cv::NORM_INF), 0) << "upright copy of the picture";
  EXPECT_EQ(seen.frameData, f.image.data) << "the camera's own buffer is passed on";
  EXPECT_NE(seen.copyData, f.image.data) << "the copy is a private image";
  EXPECT_EQ(seen.font, &tracker.Font);
  EXPECT_EQ(seen.writer, nullptr);
}

TEST_F(FrameCallbackTest, AFrameWithOriginZeroIsCopiedUnchanged) {
  tracker.TrackingActive = 1;
  CameraFrame f;
  f.image = MarkedPicture(6);
  f.origin = 0;
  FrameAt(2'000'000, f);
  ASSERT_EQ(seen.calls, 1);
  EXPECT_EQ(cv::norm(seen.copy, f.image, cv::NORM_INF), 0);
  EXPECT_NE(seen.copyData, f.image.data);
}

TEST_F(FrameCallbackTest, TheWriterAndFontOfTheTrackerArePassedOn) {
  tracker.TrackingActive = 1;
  tracker.CaptureWriter = std::make_unique<cv::VideoWriter>();
  tracker.Font.hscale = 4.0;
  CameraFrame f = BottomUp(MarkedPicture(0));
  FrameAt(1, f);
  EXPECT_EQ(seen.writer, tracker.CaptureWriter.get());
  EXPECT_DOUBLE_EQ(seen.font->hscale, 4.0);
  // Grey frames keep their channel count in the copy.
  cv::Mat grey(48, 64, CV_8UC1, cv::Scalar(3));
  CameraFrame g;
  g.image = grey;
  FrameAt(2, g);
  EXPECT_EQ(seen.copy.type(), CV_8UC1);
}

TEST(SessionFrameCallbackTest, UsesTheMachineClockAndTheSessionsState) {
  FixedMachine clock;
  TrackerSession session(Platform{nullptr, &clock});
  CameraFrame f;
  f.image = MarkedPicture(0);
  clock.PinTicks(3'000'000);
  session.OnCameraFrame(f);
  clock.PinTicks(3'040'000);
  session.OnCameraFrame(f);
  EXPECT_NEAR(session.state.FrameRate.load(), 25.0, 1e-9);
  EXPECT_DOUBLE_EQ(session.callback.PreviousFrameTicks, 3'040'000.0);
}

}  // namespace
