#include "reliability_support.h"

#include <regex>

#include "calibration/AccuracyTest.h"

using namespace pupiltrak;

namespace reliability {

bool IsSampleLine(const std::string& line) {
  static const std::regex pattern(
      "Point = [0-8]\tSample = ([0-9]|[1-3][0-9])\tdxL = -?[0-9]+\\.[0-9]{2}\tdyL = "
      "-?[0-9]+\\.[0-9]{2}\tdxR = -?[0-9]+\\.[0-9]{2}\tdyR = -?[0-9]+\\.[0-9]{2}");
  return std::regex_match(line, pattern);
}

gen::FacePhoto TestPhoto(const std::string& name) {
  gen::FacePhoto photo;
  std::string error;
  EXPECT_TRUE(
      gen::LoadFacePhoto(std::string(PUPILTRAK_TEST_DATA) + "/faces/" + name, &photo, &error))
      << error;
  return photo;
}

FaceFrames::FaceFrames(int variants) {
  const gen::FaceFrameGenerator generator(TestPhoto(), gen::DefaultScene(cv::Size(640, 480)));
  for (int i = 0; i < variants; ++i) {
    gen::FrameSpec shot;
    // Gaze offsets of up to two pixels in every direction, as a user looking around gives.
    const float dx = static_cast<float>((i % 3) - 1) * 1.5f;
    const float dy = static_cast<float>(((i / 3) % 3) - 1) * 1.0f;
    shot.gazeOffset = {cv::Point2f(dx, dy), cv::Point2f(dx, dy)};
    shot.noiseSigma = 1.0;
    shot.noiseSeed = static_cast<uint64_t>(i + 1);
    frames_.push_back(generator.Render(shot));
  }
}

cv::Mat FaceFrames::operator()(int64_t index) const {
  return frames_[static_cast<size_t>(index % static_cast<int64_t>(frames_.size()))].clone();
}

void HeadlessProgram::SetUp() {
  ASSERT_TRUE(programDir.isValid());
  machine.SetProgramDirectory(programDir.path().toStdString() + "/");
  machine.SetFullScreenSize(QSize(1024, 710));
  machine.SetScreenSize(QSize(1024, 768));
  Camera().RestoreDefaults();

  auto cascade = std::make_shared<cv::CascadeClassifier>();
  ASSERT_TRUE(cascade->load(PUPILTRAK_CASCADE));
  canvas = std::make_unique<DialogCanvas>(480, 869);
  SetUpSession(session, std::move(cascade), canvas.get(), QSize(1024, 710));
  Camera().SetCameraCounter([] { return 1; });
}

void HeadlessProgram::TearDown() {
  // Whatever a test left running stops before the session it uses goes away.
  Camera().RestoreDefaults();
  session.state.CaptureWriter.reset();
  session.state.MainWindow = nullptr;
  session.targetWindows.DestroyAll();
  canvas.reset();
}

void HeadlessProgram::SetFrames(GeneratedSource::Generator generator, int64_t count) {
  Camera().SetSourceFactory(
      [generator, count](int) { return std::make_unique<GeneratedSource>(generator, 0, count); });
}

bool HeadlessProgram::WaitForMoreFrames(int64_t n) {
  return Camera().WaitForFrames(Camera().FramesDelivered() + n);
}

void HeadlessProgram::BothOptions() {
  session.state.SearchEyeRegions = 1;
  session.state.EstimateGazeDirection = 1;
}

}  // namespace reliability
