// Start Tracking, Stop Tracking and the property-page command: log lines in order, the
// failure paths, the dialog's button states and the tracker state they leave.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "capture_fakes.h"
#include "platform/CameraLibrary.h"
#include "platform/HeadlessPlatform.h"
#include "tracking/PupilFinder.h"

using namespace pupiltrak;

namespace {

using Lines = std::vector<std::string>;

const Lines kNormalStart = {"1 cameras found",        "Source window created",
                            "Preview window created", "cvcamInit() ok",
                            "cvcamStart() ok",        "StartTracking was successful"};

class TrackingCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Camera().RestoreDefaults();
    UseCameras(1);
    UseSource(-1);
  }
  void TearDown() override { Camera().RestoreDefaults(); }

  void UseCameras(int n) {
    Camera().SetCameraCounter([n] { return n; });
  }
  // Camera 0 delivers count generated frames (-1: endless), as fast as the callback returns.
  void UseSource(int64_t count) {
    Camera().SetSourceFactory(
        [count](int) { return std::make_unique<GeneratedSource>(MarkedPicture, 0, count); });
  }
  void Record(const std::string& file) {
    session.state.SetCaptureFileName(file);
    session.state.CaptureToFile = 1;
  }
  // The controls the commands switch, as 0/1 in the order 1000, 1001, 1017, 1.
  std::vector<int> Buttons() const {
    return {dialog.Enabled(control_id::kStartTracking), dialog.Enabled(control_id::kStopTracking),
            dialog.Enabled(control_id::kCaptureToFile), dialog.Enabled(control_id::kExit)};
  }

  TrackerSession session;
  RecordingDialog dialog;
  HeadlessPlatform platform;
  HeadlessWindows& windows = platform.windows;
  ScriptedPrompts& prompts = platform.prompts;
};

TEST_F(TrackingCommandsTest, ANormalStartLogsEveryStepInOrderAndEntersTracking) {
  session.state.CalibratedSinceStart = 1;
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(), kNormalStart);
  EXPECT_EQ(Buttons(), (std::vector<int>{0, 1, 0, 0}));
  EXPECT_EQ(session.state.TrackingActive.load(), 1);
  EXPECT_EQ(session.state.CalibratedSinceStart.load(), 0);
  EXPECT_TRUE(windows.Exists("Source"));
  EXPECT_TRUE(windows.Exists("Preview"));
  EXPECT_TRUE(Camera().Delivering());
  EXPECT_EQ(session.state.CaptureWriter, nullptr);
  EXPECT_EQ(prompts.CodecChooserCalls(), 0) << "no recording, no chooser";

  const OverlayFont& font = session.state.Font;
  EXPECT_EQ(font.face, cv::FONT_HERSHEY_PLAIN);
  EXPECT_DOUBLE_EQ(font.hscale, 4.0);
  EXPECT_DOUBLE_EQ(font.vscale, 4.0);
  EXPECT_DOUBLE_EQ(font.shear, 0.0);
  EXPECT_EQ(font.thickness, 4);
  EXPECT_EQ(font.lineType, 8);
  StopTrackingCommand(session, dialog);
}

TEST_F(TrackingCommandsTest, FramesFlowIntoTheSourceWindowAndTheFrameRate) {
  UseSource(6);
  StartTrackingCommand(session, dialog);
  Camera().WaitUntilIdle();
  EXPECT_EQ(Camera().FramesDelivered(), 6);
  EXPECT_EQ(windows.ShowCount("Source"), 6) << "the layer renders every frame";
  cv::Mat shown = windows.Latest("Source");
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.at<cv::Vec3b>(0, 3), cv::Vec3b(0, 0, 255)) << "upright: red row on top";
  EXPECT_GT(session.state.FrameRate.load(), 0.0);
  // The source ended on its own: Stop still works and logs as usual.
  dialog.ClearLines();
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(), (Lines{"Releasing camera", "Destroying source window",
                                   "Destroying preview window", "EndTracking was successful"}));
}

TEST_F(TrackingCommandsTest, TheSourceClientRectangleIsTakenFromTheSourceWindow) {
  UseSource(0);  // no frame of the camera resizes the window meanwhile
  // An image already shown sizes the headless window; the rectangle is taken at the end.
  windows.Create("Source", 1);
  windows.Show("Source", cv::Mat(30, 40, CV_8UC3));
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(session.state.SourceClientRect().width(), 40);
  EXPECT_EQ(session.state.SourceClientRect().height(), 30);
  StopTrackingCommand(session, dialog);
}

TEST_F(TrackingCommandsTest, RecordingAddsItsTwoLinesAfterTheCameraStarted) {
  std::string file = ::testing::TempDir() + "/pupiltrak_commands_rec.avi";
  Record(file);
  prompts.QueueCodec(VideoCodec{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPG"});
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(),
            (Lines{"1 cameras found", "Source window created", "Preview window created",
                   "cvcamInit() ok", "cvcamStart() ok",
                   "Creating the video writer writing to:", file, "StartTracking was successful"}));
  ASSERT_NE(session.state.CaptureWriter, nullptr);
  EXPECT_TRUE(session.state.CaptureWriter->isOpened());

  dialog.ClearLines();
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(),
            (Lines{"Releasing camera", "Releasing video writer", "Destroying source window",
                   "Destroying preview window", "EndTracking was successful"}));
  EXPECT_EQ(session.state.CaptureWriter, nullptr);
}

TEST_F(TrackingCommandsTest, ACancelledCodecChoiceLeavesNoWriterAndStopStillWorks) {
  Record(::testing::TempDir() + "/pupiltrak_commands_cancel.avi");
  StartTrackingCommand(session, dialog);  // the scripted chooser cancels
  EXPECT_EQ(prompts.CodecChooserCalls(), 1);
  EXPECT_EQ(session.state.CaptureWriter, nullptr);
  EXPECT_EQ(dialog.Lines().size(), kNormalStart.size() + 2) << "no line about the failure";
  EXPECT_EQ(session.state.TrackingActive.load(), 1);
  dialog.ClearLines();
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines()[1], "Releasing video writer");
  EXPECT_EQ(session.state.CaptureWriter, nullptr);
}

TEST_F(TrackingCommandsTest, WithoutACameraEveryFailureIsLoggedAndTrackingStillStarts) {
  UseCameras(0);
  Camera().SetSourceFactory([](int) { return nullptr; });
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(), (Lines{"Bug: No cameras found", "Source window created",
                                   "Preview window created", "Bug: cvcamInit() failed",
                                   "Bug: cvcamStart() failed", "StartTracking was successful"}));
  EXPECT_EQ(Buttons(), (std::vector<int>{0, 1, 0, 0}));
  EXPECT_EQ(session.state.TrackingActive.load(), 1);
  EXPECT_FALSE(Camera().Delivering());

  dialog.ClearLines();
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(), (Lines{"Releasing camera", "Destroying source window",
                                   "Destroying preview window", "EndTracking was successful"}));
  EXPECT_EQ(Buttons(), (std::vector<int>{1, 0, 1, 1}));
  EXPECT_EQ(session.state.TrackingActive.load(), 0);
}

TEST_F(TrackingCommandsTest, ACameraThatWillNotOpenFailsOnlyTheStart) {
  struct Closed : GeneratedSource {
    Closed() : GeneratedSource(MarkedPicture) {}
    bool Open() override { return false; }
  };
  Camera().SetSourceFactory([](int) { return std::make_unique<Closed>(); });
  StartTrackingCommand(session, dialog);
  Lines expected = kNormalStart;
  expected[4] = "Bug: cvcamStart() failed";
  EXPECT_EQ(dialog.Lines(), expected);
  StopTrackingCommand(session, dialog);
}

TEST_F(TrackingCommandsTest, FailedWindowsAreReportedAndTheRectangleKeepsItsValue) {
  windows.FailCreate("Source");
  windows.FailCreate("Preview");
  session.state.SetSourceClientRect(IntRect{1, 2, 3, 4});
  StartTrackingCommand(session, dialog);
  Lines expected = kNormalStart;
  expected[1] = "Bug: Creation of source window failed";
  expected[2] = "Bug: Creation of preview window failed";
  EXPECT_EQ(dialog.Lines(), expected);
  EXPECT_EQ(session.state.SourceClientRect(), (IntRect{1, 2, 3, 4}));
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines().back(), "EndTracking was successful");
}

TEST_F(TrackingCommandsTest, StartStopStartRunsTheCameraAgain) {
  StartTrackingCommand(session, dialog);
  StopTrackingCommand(session, dialog);
  EXPECT_FALSE(Camera().Delivering());
  EXPECT_FALSE(windows.Exists("Source"));
  EXPECT_FALSE(windows.Exists("Preview"));
  dialog.ClearLines();
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(), kNormalStart);
  EXPECT_TRUE(Camera().Delivering());
  StopTrackingCommand(session, dialog);
}

TEST_F(TrackingCommandsTest, StartEmptiesThePointHistories) {
  session.histories[0].count = 7;
  session.histories[1].count = 3;
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(session.histories[0].count, 0);
  EXPECT_EQ(session.histories[1].count, 0);
  StopTrackingCommand(session, dialog);
}

TEST_F(TrackingCommandsTest, StartsAndStopsHammeredWithRecordingNeverCrash) {
  Record(::testing::TempDir() + "/pupiltrak_commands_hammer.avi");
  for (int run = 0; run < 40; ++run) {
    if (run % 2 == 0)
      prompts.QueueCodec(VideoCodec{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPG"});
    StartTrackingCommand(session, dialog);
    EXPECT_EQ(session.state.CaptureWriter != nullptr, run % 2 == 0);
    StopTrackingCommand(session, dialog);
    ASSERT_EQ(session.state.CaptureWriter, nullptr);
    ASSERT_FALSE(Camera().Delivering());
  }
  EXPECT_EQ(dialog.Lines().back(), "EndTracking was successful");
}

class PropertyPageCommandTest : public TrackingCommandsTest {};

TEST_F(PropertyPageCommandTest, ShowsThePageAfterInitialisingTheCamera) {
  PropertyPageCommand(dialog, "camera_pp");
  PropertyPageCommand(dialog, "video_pp");
  EXPECT_EQ(dialog.Lines(),
            (Lines{"1 cameras found", "cvcamInit() ok", "1 cameras found", "cvcamInit() ok"}));
  auto shown = Camera().PropertyPagesShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].page, "camera_pp");
  EXPECT_EQ(shown[1].page, "video_pp");
  EXPECT_TRUE(Camera().Initialised()) << "left initialised for the next start to exit";

  // The next start exits it first and runs normally.
  dialog.ClearLines();
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.Lines(), kNormalStart);
  StopTrackingCommand(session, dialog);
}

TEST_F(PropertyPageCommandTest, ReportsAMissingCameraOrAFailedInitialise) {
  UseCameras(0);
  PropertyPageCommand(dialog, "camera_pp");
  EXPECT_EQ(dialog.Lines(), (Lines{"Bug: No cameras found"}));

  UseCameras(2);
  Camera().SetSourceFactory([](int) { return nullptr; });
  dialog.ClearLines();
  PropertyPageCommand(dialog, "video_pp");
  EXPECT_EQ(dialog.Lines(), (Lines{"2 cameras found", "Bug: cvcamInit() failed"}));
  EXPECT_TRUE(Camera().PropertyPagesShown().empty());
}

TEST_F(PropertyPageCommandTest, WhileTrackingThePageOpensOverTheRunningCamera) {
  StartTrackingCommand(session, dialog);
  dialog.ClearLines();
  PropertyPageCommand(dialog, "camera_pp");
  EXPECT_EQ(dialog.Lines(), (Lines{"1 cameras found", "cvcamInit() ok"}));
  EXPECT_TRUE(Camera().Delivering()) << "the camera keeps running";
  StopTrackingCommand(session, dialog);
}

}  // namespace
