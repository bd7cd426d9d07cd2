// A camera that is missing, busy or goes away in the middle of a run: tracking starts as far
// as it can, reports what failed, and Stop Tracking works and logs as usual; a camera that
// comes back works with the next start.
#include <gtest/gtest.h>

#include <stdexcept>

#include "capture/TrackingCommands.h"
#include "reliability_support.h"

using namespace pupiltrak;

namespace reliability {
namespace {

const Lines kNormalStart = {"1 cameras found",        "Source window created",
                            "Preview window created", "cvcamInit() ok",
                            "cvcamStart() ok",        "StartTracking was successful"};
const Lines kNormalStop = {"Releasing camera", "Destroying source window",
                           "Destroying preview window", "EndTracking was successful"};

class CameraFaults : public HeadlessProgram {
 protected:
  void SetUp() override {
    HeadlessProgram::SetUp();
    BothOptions();
  }
  // The dialog's four controls that the commands switch: Start, Stop, Capture to file, Exit.
  std::vector<bool> Buttons() const {
    return {dialog.Enabled(control_id::kStartTracking), dialog.Enabled(control_id::kStopTracking),
            dialog.Enabled(control_id::kCaptureToFile), dialog.Enabled(control_id::kExit)};
  }
  const std::vector<bool> idle = {true, false, true, true};
  const std::vector<bool> tracking = {false, true, false, false};
  FaceFrames faces;
};

// How a camera can go away: the driver hands out nothing, the read fails with an error, or
// the frames stop being pictures at all.
enum class Loss { NoFrame, ReadThrows, UnusableFrame };

// A camera that delivers `good` face frames and is then lost in the given way.
class VanishingCamera : public FrameSource {
 public:
  VanishingCamera(const FaceFrames& faces, int good, Loss loss)
      : faces_(faces), good_(good), loss_(loss) {}
  bool Open() override {
    next_ = 0;
    return true;
  }
  bool Read(cv::Mat& frame) override {
    if (next_ < good_) {
      frame = faces_(next_++);
      return true;
    }
    switch (loss_) {
      case Loss::NoFrame:
        return false;
      case Loss::ReadThrows:
        throw std::runtime_error("VIDIOC_DQBUF: No such device");
      case Loss::UnusableFrame:
        frame = cv::Mat(480, 640, CV_8UC2, cv::Scalar::all(7));
        return true;
    }
    return false;
  }
  void Close() override {}
  std::string Describe() const override { return "a camera that goes away"; }

 private:
  const FaceFrames& faces_;
  int good_;
  Loss loss_;
  int next_ = 0;
};

TEST_F(CameraFaults, ACameraLostMidRunEndsDeliveryAndStopLogsAsUsual) {
  // No frame is read before Start Tracking lets frames in: on a busy machine all twelve could
  // otherwise pass while the start is still preparing, and none would be tracked.
  Camera().SetFrameGate([this] { return session.state.TrackingActive.load() != 0; });
  for (Loss loss : {Loss::NoFrame, Loss::ReadThrows, Loss::UnusableFrame}) {
    SCOPED_TRACE(static_cast<int>(loss));
    Camera().SetSourceFactory(
        [this, loss](int) { return std::make_unique<VanishingCamera>(faces, 12, loss); });
    StartTrackingCommand(session, dialog);
    EXPECT_EQ(dialog.NewLines(), kNormalStart);
    Camera().WaitUntilIdle();
    EXPECT_EQ(Camera().FramesDelivered(), 12);
    EXPECT_TRUE(Camera().SourceEnded());
    EXPECT_TRUE(session.results.faceFound) << "the frames before the loss were tracked";
    // The dialog stays in its tracking state until the user stops.
    EXPECT_EQ(Buttons(), tracking);
    EXPECT_EQ(session.state.TrackingActive.load(), 1);

    StopTrackingCommand(session, dialog);
    EXPECT_EQ(dialog.NewLines(), kNormalStop);
    EXPECT_EQ(Buttons(), idle);
    EXPECT_EQ(session.state.TrackingActive.load(), 0);
  }
}

TEST_F(CameraFaults, ACameraThatComesBackWorksWithTheNextStart) {
  bool plugged = false;
  Camera().SetSourceFactory([this, &plugged](int) -> std::unique_ptr<FrameSource> {
    if (plugged) return std::make_unique<GeneratedSource>(std::cref(faces));
    return std::make_unique<VanishingCamera>(faces, 3, Loss::ReadThrows);
  });
  StartTrackingCommand(session, dialog);
  Camera().WaitUntilIdle();
  StopTrackingCommand(session, dialog);
  dialog.NewLines();

  plugged = true;
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.NewLines(), kNormalStart);
  EXPECT_TRUE(WaitForMoreFrames(5));
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.NewLines(), kNormalStop);
  EXPECT_FALSE(Camera().Delivering());
}

// Held by another program: the device exists but will not open.
TEST_F(CameraFaults, ABusyCameraFailsOnlyItsStartAndStopLogsAsUsual) {
  struct Busy : GeneratedSource {
    explicit Busy(const FaceFrames& f) : GeneratedSource(std::cref(f)) {}
    bool Open() override { return false; }
  };
  Camera().SetSourceFactory([this](int) { return std::make_unique<Busy>(faces); });
  StartTrackingCommand(session, dialog);
  Lines expected = kNormalStart;
  expected[4] = "Bug: cvcamStart() failed";
  EXPECT_EQ(dialog.NewLines(), expected);
  EXPECT_FALSE(Camera().Delivering());
  EXPECT_EQ(Buttons(), tracking);

  // Calibrate still starts its run; it simply gets no frames.
  session.Calibrate(dialog);
  EXPECT_TRUE(session.CalibrationCollecting());
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.NewLines(), kNormalStop);
  EXPECT_EQ(Buttons(), idle);
}

TEST_F(CameraFaults, WithoutACameraStopStillLogsAsUsual) {
  Camera().SetCameraCounter([] { return 0; });
  Camera().SetSourceFactory([](int) { return nullptr; });
  StartTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.NewLines(), (Lines{"Bug: No cameras found", "Source window created",
                                      "Preview window created", "Bug: cvcamInit() failed",
                                      "Bug: cvcamStart() failed", "StartTracking was successful"}));
  session.Calibrate(dialog);
  StopTrackingCommand(session, dialog);
  EXPECT_EQ(dialog.NewLines(), kNormalStop);
  EXPECT_EQ(Buttons(), idle);
}

}  // namespace
}  // namespace reliability
