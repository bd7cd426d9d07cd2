// Files that cannot be written while tracking runs: a protocol whose disk fills up in the
// middle of a calibration, and a capture file whose path cannot be written, whose codec is
// refused or whose compressor choice is cancelled. Tracking and the calibration go on; what
// was written before stays whole; stopping never trips over the missing writer.
#include <gtest/gtest.h>

#include <QFile>
#include <opencv2/videoio.hpp>

#include "TargetFollowingUser.h"
#include "capture/TrackingCommands.h"
#include "mapping/GazeMapping.h"
#include "reliability_support.h"

using namespace pupiltrak;

namespace reliability {
namespace {

class FileFaults : public HeadlessProgram {
 protected:
  void SetUp() override {
    HeadlessProgram::SetUp();
    BothOptions();
  }
  // Waits, frame by frame, until the calibration run has ended; false when the camera
  // stopped first.
  bool WaitForRunEnd() {
    while (session.CalibrationCollecting())
      if (!Camera().WaitForFrames(Camera().FramesDelivered() + 1)) return false;
    return true;
  }
};

TEST_F(FileFaults, ADiskFillingUpMidRunKeepsTheLinesBeforeWholeAndTheRunAndFitGoOn) {
  MemoryProtocol disk;
  constexpr long kRoomFor = 100;  // sample lines that still fit
  disk.FailAfter(kRoomFor);
  session.protocol.SetOpener(disk.Opener());

  TargetFollowingUser::Options options;
  options.maxFrames = 4000;  // a run that never ends stops the camera here
  TargetFollowingUser user(
      gen::FaceFrameGenerator(TestPhoto(), gen::DefaultScene(cv::Size(640, 480))), targets,
      options);
  SetFrames([&user](int64_t i) { return user.Frame(i); });

  StartTrackingCommand(session, dialog);
  session.Calibrate(dialog);
  ASSERT_TRUE(WaitForRunEnd()) << "the run did not complete";
  StopTrackingCommand(session, dialog);

  // No line for the user: a failed write is not reported (the open worked).
  for (const std::string& line : dialog.AllLines()) EXPECT_NE(line.rfind("Bug: ", 0), 0u) << line;
  // The run and the fit went on: the mapping is no longer the identity of the run's start.
  const GazeMapping m = session.mapping.Get();
  EXPECT_NE(m.GazeRX.a, 1.0);
  EXPECT_NE(m.GazeLY.b, 1.0);

  // Exactly the lines written before the disk filled, each whole and in the run's order.
  const std::vector<std::string> streams = disk.Streams();
  ASSERT_EQ(streams.size(), 1u);
  const Lines lines = SplitLines(streams[0]);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kRoomFor));
  for (size_t k = 0; k < lines.size(); ++k) {
    EXPECT_TRUE(IsSampleLine(lines[k])) << lines[k];
    EXPECT_EQ(
        lines[k].rfind(
            "Point = " + std::to_string(k / 40) + "\tSample = " + std::to_string(k % 40) + "\t", 0),
        0u)
        << lines[k];
  }
  // Everything after was attempted and failed: the other 260 samples, the mapping report and
  // the accuracy lines at stop.
  EXPECT_EQ(disk.Failed(), 360 - kRoomFor + 2);
  EXPECT_EQ(session.protocol.FailedWrites(), 360 - kRoomFor + 2);
}

struct CaptureCase {
  const char* name;
  std::string path;
  std::optional<VideoCodec> codec;  // empty: the user cancels the compressor choice
};

TEST_F(FileFaults, ACaptureFileThatCannotBeWrittenLeavesNoWriterAndTrackingGoesOn) {
  const int mjpg = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
  const std::string dir = programDir.path().toStdString();
  const std::vector<CaptureCase> cases = {
      {"path not writable", "/proc/pupiltrak-capture.avi", VideoCodec{mjpg, "MJPG"}},
      {"no such directory", dir + "/missing/dir/capture.avi", VideoCodec{mjpg, "MJPG"}},
      {"name taken by a directory", dir, VideoCodec{mjpg, "MJPG"}},
      {"codec refused", dir + "/refused.avi",
       VideoCodec{cv::VideoWriter::fourcc('Z', 'Z', 'Z', 'Z'), "ZZZZ"}},
      {"choice cancelled", dir + "/cancelled.avi", std::nullopt},
  };
  FaceFrames faces;
  SetFrames(std::cref(faces));
  for (const CaptureCase& c : cases) {
    SCOPED_TRACE(c.name);
    session.state.SetCaptureFileName(c.path);
    session.state.CaptureToFile = 1;
    prompts.QueueCodec(c.codec);
    StartTrackingCommand(session, dialog);
    const Lines start = dialog.NewLines();
    ASSERT_GE(start.size(), 3u);
    EXPECT_EQ(start[start.size() - 3], "Creating the video writer writing to:");
    EXPECT_EQ(start[start.size() - 2], c.path);
    EXPECT_EQ(start.back(), "StartTracking was successful");
    EXPECT_EQ(session.state.CaptureWriter, nullptr);

    // Frames keep flowing through the whole pipeline without a writer.
    const int64_t shown = windows.ShowCount("Preview");
    EXPECT_TRUE(WaitForMoreFrames(10));
    EXPECT_GT(windows.ShowCount("Preview"), shown);

    StopTrackingCommand(session, dialog);
    EXPECT_TRUE(session.results.faceFound);  // read once the frame thread has ended
    EXPECT_EQ(dialog.NewLines(),
              (Lines{"Releasing camera", "Releasing video writer", "Destroying source window",
                     "Destroying preview window", "EndTracking was successful"}));
    EXPECT_EQ(session.state.CaptureWriter, nullptr);
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(dir + "/cancelled.avi")));
}

}  // namespace
}  // namespace reliability
