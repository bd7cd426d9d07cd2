// Recording to the capture file: an AVI written during a short run opens again with the
// expected frame count and size.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/videoio.hpp>

#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "capture_fakes.h"
#include "platform/CameraLibrary.h"
#include "platform/HeadlessPlatform.h"

using namespace pupiltrak;

namespace {

struct VideoFacts {
  bool opened = false;
  int frames = 0;
  cv::Size size;
};

VideoFacts ReadBack(const std::string& file) {
  VideoFacts facts;
  cv::VideoCapture reader(file);
  facts.opened = reader.isOpened();
  cv::Mat f;
  while (reader.read(f)) {
    facts.size = f.size();
    ++facts.frames;
  }
  return facts;
}

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Camera().RestoreDefaults();
    Camera().SetCameraCounter([] { return 1; });
    file = ::testing::TempDir() + "/pupiltrak_recording_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".avi";
    std::filesystem::remove(file);
    session.state.SetCaptureFileName(file);
    session.state.CaptureToFile = 1;
    prompts.QueueCodec(VideoCodec{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPG"});
  }
  void TearDown() override { Camera().RestoreDefaults(); }

  TrackerSession session;
  RecordingDialog dialog;
  HeadlessPlatform platform;
  HeadlessWindows& windows = platform.windows;
  ScriptedPrompts& prompts = platform.prompts;
  std::string file;
};

TEST_F(RecordingTest, TheWriterOfARunTakesEveryMosaicWrittenToIt) {
  // A camera that delivers nothing; the mosaics are written as the pipeline writes them.
  Camera().SetSourceFactory(
      [](int) { return std::make_unique<GeneratedSource>(MarkedPicture, 0, 0); });
  StartTrackingCommand(session, dialog);
  ASSERT_NE(session.state.CaptureWriter, nullptr);
  for (int i = 0; i < 15; ++i) session.state.CaptureWriter->write(MarkedPictureSized(i, 320, 240));
  StopTrackingCommand(session, dialog);

  VideoFacts facts = ReadBack(file);
  ASSERT_TRUE(facts.opened);
  EXPECT_EQ(facts.frames, 15);
  EXPECT_EQ(facts.size, cv::Size(320, 240));
}

TEST_F(RecordingTest, AShortRunThroughThePipelineRecordsOneMosaicPerFrame) {
  // Frames pass only once the start has let them into the pipeline, so every frame of the
  // run is processed and recorded.
  const int64_t frames = 12;
  Camera().SetSourceFactory([frames](int) {
    return std::make_unique<GeneratedSource>(
        [](int64_t i) { return MarkedPictureSized(i, 160, 120); }, 0, frames);
  });
  Camera().SetFrameGate([this] { return session.state.TrackingActive.load() != 0; });
  StartTrackingCommand(session, dialog);
  ASSERT_NE(session.state.CaptureWriter, nullptr);
  Camera().WaitUntilIdle();
  EXPECT_EQ(Camera().FramesDelivered(), frames);
  StopTrackingCommand(session, dialog);

  VideoFacts facts = ReadBack(file);
  ASSERT_TRUE(facts.opened);
  EXPECT_EQ(facts.frames, frames);
  EXPECT_EQ(facts.size, cv::Size(320, 240));
}

}  // namespace
