// libFuzzer target: one camera frame through the program's own frame callback and pipeline,
// as the camera layer delivers it (converted to 8-bit B, G, R and stored bottom-up), with the
// real face cascade, the options and sliders taken from the input, and a whole tracker
// session (panels, calibration run, accuracy test, charts on a dialog canvas) behind it.
// Frames, sizes and settings come from a FrameRecipe, so a finding replays in the tests.

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include "FaceFrameGenerator.h"
#include "FrameRecipe.h"
#include "capture/TrackerSession.h"
#include "platform/CameraFrame.h"
#include "platform/DialogCanvas.h"
#include "platform/NamedWindows.h"
#include "tracking/FaceCascade.h"

namespace pupiltrak {

namespace {

std::vector<gen::FacePhoto>& Photos() {
  static std::vector<gen::FacePhoto> photos;
  return photos;
}

// The fuzz target's one session: every input is one more frame of the same run.
TrackerSession& Session() {
  static TrackerSession session;
  return session;
}

HeadlessWindows& PreviewWindows() {
  static HeadlessWindows windows;
  return windows;
}

void Fail(const char* what) {
  std::fprintf(stderr, "ProcessFrameFuzzer: %s\n", what);
  std::abort();
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Qt keeps its own argument list: libFuzzer's flags are none of its business.
  static int qtArgc = 1;
  static char qtName[] = "pupiltrak_fuzz_process_frame";
  static char* qtArgv[] = {qtName, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QGuiApplication app(qtArgc, qtArgv);  // the panels draw text

  auto cascade = LoadFaceCascade(PUPILTRAK_CASCADE);
  if (!cascade) Fail("cannot load the cascade");
  Photos() = fuzzing::LoadTestPhotos(PUPILTRAK_FACES_DIR);
  if (Photos().empty()) Fail("no face photograph loaded");

  // What Start Tracking prepares before it lets frames through.
  SetWindows(&PreviewWindows());
  PreviewWindows().Create("Preview", 1);
  // What the dialog sets up: its canvas with the two charts, the target window class.
  static DialogCanvas canvas(480, 869);
  TrackerSession& session = Session();
  SetUpSession(session, std::move(cascade), &canvas, QSize(1024, 710));
  TrackerState& t = session.state;
  t.SetSourceClientRect(IntRect{0, 0, 640, 480});
  session.ResetForNewRun();
  t.TrackingActive = 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzzing::FrameRecipe recipe = fuzzing::DecodeRecipe(data, size);
  // A calibration run as the Calibrate command starts it; the protocol stays closed, so its
  // lines are dropped and nothing reaches the disk.
  fuzzing::ApplySettings(recipe, Session().state, Session().samples);

  // The camera layer's conversion: any depth and channel count to 8-bit B, G, R, bottom-up.
  CameraFrame frame;
  if (!fuzzing::ToCameraFrame(fuzzing::RenderRecipe(recipe, Photos()), &frame))
    Fail("a rendered frame was refused by the conversion");
  const cv::Size delivered = frame.image.size();
  const int shownBefore = PreviewWindows().ShowCount("Preview");

  Session().OnCameraFrame(frame);

  // The camera's buffer keeps its size and layout, and every frame shows one 320 x 240 mosaic.
  if (frame.image.size() != delivered || frame.image.type() != CV_8UC3)
    Fail("the pipeline changed the camera's buffer");
  if (PreviewWindows().ShowCount("Preview") != shownBefore + 1) Fail("no mosaic was shown");
  const cv::Mat mosaic = PreviewWindows().Latest("Preview");
  if (mosaic.cols != 320 || mosaic.rows != 240 || mosaic.type() != CV_8UC3)
    Fail("the mosaic is not 320 x 240 B, G, R");
  return 0;
}
