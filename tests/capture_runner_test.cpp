// Sessions on platforms of their own: two run side by side in one process, each in its own
// thread with its own camera layer, and each gets the records it gets when it runs alone.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/SessionRunner.h"
#include "capture/TrackerSession.h"
#include "capture_fakes.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/HeadlessPlatform.h"
#include "tracking_support.h"

namespace {

constexpr int kFrames = 8;

// The face looking a little further to one side in every frame; the two sessions look to
// opposite sides, so records that crossed over would show.
std::vector<cv::Mat> LookingAround(float side) {
  const gen::FaceFrameGenerator generator(tracking_test::LoadPhoto("jesper_2.jpg"),
                                          gen::DefaultScene(cv::Size(640, 480)));
  std::vector<cv::Mat> frames;
  for (int i = 0; i < kFrames; ++i) {
    gen::FrameSpec shot;
    const cv::Point2f gaze(side * 0.4f * static_cast<float>(i), 0.3f * static_cast<float>(i % 3));
    shot.gazeOffset = {gaze, gaze};
    shot.noiseSigma = 1.0;
    shot.noiseSeed = static_cast<uint64_t>(i + 1);
    frames.push_back(generator.Render(shot));
  }
  return frames;
}

// FNV-1a over the picture's bytes.
uint64_t Hash(const cv::Mat& picture) {
  uint64_t h = 1469598103934665603ull;
  const cv::Mat bytes = picture.isContinuous() ? picture : picture.clone();
  for (size_t i = 0; i < bytes.total() * bytes.elemSize(); ++i)
    h = (h ^ bytes.data[i]) * 1099511628211ull;
  return h;
}

std::string Describe(const FrameRecord& record) {
  const FrameResults& r = *record.results;
  std::ostringstream out;
  out << record.frame << " face " << r.faceFound << ' ' << r.faceRect[0] << ' ' << r.faceRect[1]
      << ' ' << r.faceRect[2] << ' ' << r.faceRect[3] << " pupils " << r.pupilFound[0]
      << r.pupilFound[1] << ' ' << r.pupilPos[0].x << ' ' << r.pupilPos[0].y << ' '
      << r.pupilPos[1].x << ' ' << r.pupilPos[1].y << " eyes " << r.dxL << ' ' << r.dyL << ' '
      << r.dxR << ' ' << r.dyR << " mosaic " << Hash(*record.mosaic);
  return out.str();
}

// What one session left: a line per frame, its protocol, the target windows on its host.
struct OwnRun {
  std::vector<std::string> records;
  std::string protocol;
  std::vector<std::string> windows;
};

// One session on a headless platform of its own, through the runner, on these frames, in a
// calibration run whose protocol goes to the platform's own program folder.
OwnRun RunOnOwnPlatform(const std::vector<cv::Mat>& frames) {
  HeadlessPlatform platform(HeadlessPlatform::Reach::kOwn);
  // The detection time and the frame rate in the mosaic come from this platform's clock.
  platform.machine.PinTicks(1000);
  QTemporaryDir programDir;
  platform.machine.SetProgramDirectory(programDir.path().toStdString());
  TrackerSession session(platform.Parts());
  SetUpSession(session, std::make_shared<cv::CascadeClassifier>(PUPILTRAK_CASCADE), nullptr,
               QSize(1024, 710));
  session.state.SearchEyeRegions = 1;
  session.state.EstimateGazeDirection = 1;
  OwnRun run;
  std::vector<std::string>& records = run.records;
  SessionRunner runner(session, [&frames] {
    return std::make_unique<GeneratedSource>(
        [&frames](int64_t i) { return frames[static_cast<size_t>(i)].clone(); }, 0,
        static_cast<int64_t>(frames.size()));
  });
  runner.AddListener(
      [&records](const FrameRecord& record) { records.push_back(Describe(record)); });
  runner.HoldFrames();  // the run starts before the first frame
  EXPECT_TRUE(runner.Start());
  RecordingDialog log;
  session.Calibrate(log);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{}) << "the protocol opened";
  runner.ReleaseFrames();
  runner.Wait();
  runner.Finish();
  session.CloseProtocol();
  EXPECT_EQ(&runner.Camera(), &platform.Camera());
  EXPECT_EQ(CalibrationProtocolPath(platform.machine),
            programDir.path().toStdString() + "/CalibrationProtocol.txt");
  std::ifstream protocol(CalibrationProtocolPath(platform.machine), std::ios::binary);
  run.protocol.assign(std::istreambuf_iterator<char>(protocol), {});
  for (const auto& window : platform.targets.Existing()) run.windows.push_back(window.title);
  return run;
}

TEST(SessionRunnerTest, TwoSessionsSideBySideOnTheirOwnPlatformsGetWhatEachGetsAlone) {
  const std::vector<cv::Mat> left = LookingAround(-1.0f), right = LookingAround(1.0f);
  const OwnRun leftAlone = RunOnOwnPlatform(left);
  const OwnRun rightAlone = RunOnOwnPlatform(right);
  ASSERT_EQ(leftAlone.records.size(), static_cast<size_t>(kFrames));
  ASSERT_EQ(rightAlone.records.size(), static_cast<size_t>(kFrames));
  ASSERT_NE(leftAlone.records, rightAlone.records)
      << "the two sessions' records must tell them apart";
  // Each calibration shows its first target on its own host and samples into its own file.
  EXPECT_EQ(leftAlone.windows, std::vector<std::string>{"1"});
  EXPECT_EQ(leftAlone.protocol.rfind("Point = 0\tSample = ", 0), 0u) << leftAlone.protocol;
  ASSERT_NE(leftAlone.protocol, rightAlone.protocol);

  OwnRun leftBeside, rightBeside;
  std::thread leftThread([&] { leftBeside = RunOnOwnPlatform(left); });
  std::thread rightThread([&] { rightBeside = RunOnOwnPlatform(right); });
  leftThread.join();
  rightThread.join();
  EXPECT_EQ(leftBeside.records, leftAlone.records);
  EXPECT_EQ(rightBeside.records, rightAlone.records);
  EXPECT_EQ(leftBeside.protocol, leftAlone.protocol);
  EXPECT_EQ(rightBeside.protocol, rightAlone.protocol);
  EXPECT_EQ(leftBeside.windows, leftAlone.windows);
  EXPECT_EQ(rightBeside.windows, rightAlone.windows);
  EXPECT_FALSE(Camera().Initialised()) << "the process's camera layer was never used";
}

}  // namespace
