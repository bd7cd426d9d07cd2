// ProcessFrame on whole frames: the ten steps, what each option adds, the hand-off to the
// calibration run, the mosaic, the preview and the video, and frames the pipeline must survive.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

#include "VirtualUser.h"
#include "platform/DialogCanvas.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "tracking/EyeVector.h"
#include "tracking/Mosaic.h"
#include "tracking_support.h"

using namespace pupiltrak;

namespace {

using tracking_test::CountColour;
using tracking_test::LoadPhoto;
using tracking_test::Pipeline;

const cv::Vec3b kBlue(255, 0, 0);
const cv::Vec3b kRed(0, 0, 255);

// Generated 640 x 480 frames of the jesper photograph with painted eyes.
const gen::FaceFrameGenerator& Generator() {
  static const gen::FaceFrameGenerator generator(LoadPhoto("jesper_2.jpg"),
                                                 gen::DefaultScene(cv::Size(640, 480)));
  return generator;
}

cv::Mat FaceFrame(cv::Point2f offset = {0, 0}, bool blink = false) {
  gen::FrameSpec shot;
  shot.gazeOffset = {offset, offset};
  shot.blink = blink;
  return Generator().Render(shot);
}

cv::Mat Blank(int w = 640, int h = 480) {
  return cv::Mat(h, w, CV_8UC3, cv::Scalar(128, 128, 128));
}

bool IsBlack(const cv::Mat& image, const cv::Rect& r) {
  return cv::countNonZero(image(r).reshape(1)) == 0;
}

// Hooks that log their calls and paint the panel surfaces in two plain colours.
struct HookLog {
  std::vector<std::string> calls;
  std::vector<std::array<double, 4>> samples;
  int collectUntil = 0;  // collectingSamples() is true while fewer samples arrived
  std::string fitFile;
  QRgb seenByCalibrationStep = 0;

  void Install(PipelineContext& ctx) {
    ctx.hooks.drawStatusPanel = [this](QImage& s) {
      calls.push_back("status");
      s.fill(QColor(10, 200, 30));
    };
    ctx.hooks.calibrationPanelStep = [this](QImage& s) {
      calls.push_back("calibration");
      seenByCalibrationStep = s.pixel(0, 0);
      s.fill(QColor(200, 20, 40));
    };
    ctx.hooks.appendSample = [this](double a, double b, double c, double d) {
      calls.push_back("sample");
      samples.push_back({a, b, c, d});
    };
    ctx.hooks.collectingSamples = [this]() {
      calls.push_back("collecting");
      return static_cast<int>(samples.size()) < collectUntil;
    };
    ctx.hooks.fitGazeMapping = [this](const std::string& file) {
      calls.push_back("fit");
      fitFile = file;
    };
    ctx.hooks.showCharts = [this]() { calls.push_back("charts"); };
  }
  int Count(const std::string& name) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
  }
};

TEST(ProcessFrameTest, WithoutCascadeTheMosaicIsShownBlank) {
  Pipeline p(false);
  p.BothOptions();
  HeadlessWindows windows;
  windows.Create("Preview", 1);
  p.ctx.windows = &windows;
  HookLog log;
  log.Install(p.ctx);
  const cv::Mat frame = FaceFrame();
  p.Run(frame);
  EXPECT_FALSE(p.results.faceFound);
  EXPECT_EQ(windows.ShowCount("Preview"), 1);
  const cv::Mat shown = windows.Latest("Preview");
  ASSERT_EQ(shown.size(), cv::Size(320, 240));
  EXPECT_TRUE(IsBlack(shown, cv::Rect(0, 0, 320, 240)));
  EXPECT_EQ(cv::norm(p.frameCopy, frame, cv::NORM_INF), 0);  // nothing drawn
  EXPECT_TRUE(log.calls.empty());
}

TEST(ProcessFrameTest, NoFaceWritesFaceNotFoundAndFillsTheMosaicWithTheFrameCopy) {
  Pipeline p;
  p.BothOptions();
  HookLog log;
  log.Install(p.ctx);
  DialogCanvas dialog(600, 400);
  p.ctx.dialog = &dialog;
  const QImage before = dialog.Snapshot();
  p.results.faceRect[0] = 11;
  p.results.pupilFound[0] = p.results.pupilFound[1] = true;
  p.Run(Blank());

  EXPECT_FALSE(p.results.faceFound);
  EXPECT_FALSE(p.results.pupilFound[0]);
  EXPECT_FALSE(p.results.pupilFound[1]);
  EXPECT_EQ(p.results.faceRect[0], 11);  // kept
  // Red text around its origin (3, 50), in the frame copy only.
  EXPECT_GT(CountColour(p.frameCopy, cv::Rect(0, 0, 400, 60), kRed), 200);
  EXPECT_EQ(CountColour(p.cameraFrame, cv::Rect(0, 0, 640, 480), kRed), 0);
  cv::Mat whole;
  cv::resize(p.frameCopy, whole, cv::Size(320, 240), 0, 0, cv::INTER_LINEAR);
  EXPECT_EQ(cv::norm(p.lastMosaic, whole, cv::NORM_INF), 0);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(dialog.Snapshot(), before);
}

TEST(ProcessFrameTest, FaceWithOptionsOffShowsTheFrameCopyAndTheCameraQuarter) {
  Pipeline p;
  HookLog log;
  log.Install(p.ctx);
  DialogCanvas dialog(600, 400);
  p.ctx.dialog = &dialog;
  const QImage before = dialog.Snapshot();
  p.Run(FaceFrame());

  ASSERT_TRUE(p.results.faceFound);
  EXPECT_TRUE(p.results.detectionText.empty());  // not renewed without Eye Regions
  cv::Mat whole;
  cv::resize(p.frameCopy, whole, cv::Size(320, 240), 0, 0, cv::INTER_LINEAR);
  const cv::Rect rest(160, 120, 160, 120);
  EXPECT_EQ(cv::norm(p.lastMosaic(rest), whole(rest), cv::NORM_INF), 0);
  // The blue face rectangle, drawn bottom-up into the camera frame, shows upright in the
  // quarter; the frame copy has none.
  const int* f = p.results.faceRect;
  EXPECT_EQ(p.cameraFrame.at<cv::Vec3b>(480 - f[1], (f[0] + f[2]) / 2), kBlue);
  EXPECT_EQ(p.frameCopy.at<cv::Vec3b>(f[1], (f[0] + f[2]) / 2) == kBlue, false);
  EXPECT_GT(CountColour(p.lastMosaic, cv::Rect(f[0] / 4, f[1] / 4 - 1, 20, 3), kBlue), 0);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(dialog.Snapshot(), before);
}

TEST(ProcessFrameTest, EyeRegionsAloneDrawTheRegionsAndTimeTheDetection) {
  FixedMachine machine;
  machine.PinTicks(1000);
  Pipeline p;
  p.ctx.machine = &machine;  // its clock stands still
  p.state.SearchEyeRegions = 1;
  HookLog log;
  log.Install(p.ctx);
  p.Run(FaceFrame());

  ASSERT_TRUE(p.results.faceFound);
  EXPECT_EQ(p.results.detectionMs, 0.0);
  EXPECT_EQ(p.results.detectionText, "Detection Time = 0 ms");
  const int* c1 = p.regions.scaledCorners1;
  const int* c2 = p.regions.scaledCorners2;
  EXPECT_EQ(p.cameraFrame.at<cv::Vec3b>(480 - c1[1], c1[0]), kBlue);
  EXPECT_EQ(p.cameraFrame.at<cv::Vec3b>(480 - c2[3], c2[2]), kBlue);
  // No eye processing: the frame copy fills the mosaic, no panels.
  EXPECT_FALSE(p.results.pupilFound[0]);
  EXPECT_TRUE(log.calls.empty());
}

TEST(ProcessFrameTest, DetectionTextFormatsTheMilliseconds) {
  Pipeline p;
  p.state.SearchEyeRegions = 1;
  p.Run(FaceFrame());
  const std::string& text = p.results.detectionText;
  const std::string head = "Detection Time = ", tail = " ms";
  ASSERT_GT(text.size(), head.size() + tail.size()) << text;
  EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
  EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0) << text;
  const std::string number = text.substr(head.size(), text.size() - head.size() - tail.size());
  EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << text;
  EXPECT_EQ(std::stoi(number), static_cast<int>(std::nearbyint(p.results.detectionMs)));
}

TEST(ProcessFrameTest, BothOptionsTileTheMosaicAndPaintThePanels) {
  Pipeline p;
  p.BothOptions();
  HookLog log;
  log.Install(p.ctx);
  DialogCanvas dialog(600, 400);
  p.ctx.dialog = &dialog;
  p.Run(FaceFrame());

  ASSERT_TRUE(p.results.faceFound);
  EXPECT_TRUE(p.results.pupilFound[0]);
  EXPECT_TRUE(p.results.pupilFound[1]);
  EXPECT_TRUE(p.results.finder1Found[0]);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"status", "calibration"}));
  // The calibration step draws over what the status panel left.
  EXPECT_EQ(log.seenByCalibrationStep, qRgb(10, 200, 30));
  const cv::Mat& m = p.lastMosaic;
  EXPECT_EQ(m.at<cv::Vec3b>(180, 80), cv::Vec3b(30, 200, 10));   // StatusQuarter
  EXPECT_EQ(m.at<cv::Vec3b>(180, 240), cv::Vec3b(40, 20, 200));  // CalibrationQuarter
  for (TilePlace place :
       {TilePlace::EyeRegion1, TilePlace::EyeRegion2, TilePlace::PupilZoom1, TilePlace::PupilZoom2})
    EXPECT_FALSE(IsBlack(m, TilePlaceRect(320, 240, place))) << static_cast<int>(place);
  // The two snapshots in the dialog, side by side a fifth down.
  EXPECT_EQ(p.results.panelRect, (IntRect{12, 80, 172, 200}));
  EXPECT_EQ(p.results.calibrationPanelRect, (IntRect{184, 80, 344, 200}));
  EXPECT_EQ(dialog.Region(QRect(12, 80, 160, 120)).pixel(159, 119), qRgb(10, 200, 30));
  EXPECT_EQ(dialog.Region(QRect(184, 80, 160, 120)).pixel(0, 0), qRgb(200, 20, 40));
  EXPECT_NE(dialog.Snapshot().pixel(11, 79), qRgb(10, 200, 30));
}

TEST(ProcessFrameTest, WithoutADialogThePanelsStillReachTheMosaic) {
  Pipeline p;
  p.BothOptions();
  HookLog log;
  log.Install(p.ctx);
  p.Run(FaceFrame());
  EXPECT_EQ(log.calls, (std::vector<std::string>{"status", "calibration"}));
  EXPECT_EQ(p.lastMosaic.at<cv::Vec3b>(130, 10), cv::Vec3b(30, 200, 10));
}

TEST(ProcessFrameTest, WithNobodyLookingTheMosaicIsSkippedAndEveryResultStays) {
  Pipeline composed, bare;
  composed.BothOptions();
  bare.BothOptions();
  bare.ctx.composeMosaic = false;
  HookLog composedLog, bareLog;
  composedLog.Install(composed.ctx);
  bareLog.Install(bare.ctx);
  for (int i = 0; i < 12; ++i) {
    const cv::Mat frame = FaceFrame({2.0f * std::sin(i * 0.9f), 1.0f}, i == 7);
    composed.Run(frame);
    bare.Run(frame);
    const FrameResults& a = composed.results;
    const FrameResults& b = bare.results;
    ASSERT_EQ(a.faceFound, b.faceFound) << i;
    EXPECT_EQ(std::memcmp(a.faceRect, b.faceRect, sizeof a.faceRect), 0) << i;
    for (int e = 0; e < 2; ++e) {
      EXPECT_EQ(a.pupilFound[e], b.pupilFound[e]) << i;
      EXPECT_EQ(a.pupilPos[e].x, b.pupilPos[e].x) << i;
      EXPECT_EQ(a.pupilPos[e].y, b.pupilPos[e].y) << i;
    }
    EXPECT_EQ(a.dxL, b.dxL) << i;
    EXPECT_EQ(a.dyR, b.dyR) << i;
    // What the camera window shows carries the same marks.
    EXPECT_EQ(cv::norm(composed.cameraFrame, bare.cameraFrame, cv::NORM_INF), 0) << i;
  }
  EXPECT_EQ(composedLog.calls, bareLog.calls) << "the panel hooks still run in every frame";
  EXPECT_EQ(bare.mosaics, 12) << "the (black) mosaic is still handed on";
  EXPECT_TRUE(IsBlack(bare.lastMosaic, cv::Rect(0, 0, 320, 240)));
  EXPECT_FALSE(IsBlack(composed.lastMosaic, cv::Rect(0, 0, 320, 240)));
}

TEST(ProcessFrameTest, OnlyTheFoundFlagsAreClearedPerFrame) {
  Pipeline p;
  p.BothOptions();
  p.Run(FaceFrame({1.5f, -1.0f}));
  ASSERT_TRUE(p.results.pupilFound[0]);
  const FrameResults kept = p.results;
  p.Run(Blank());
  EXPECT_FALSE(p.results.faceFound);
  EXPECT_FALSE(p.results.pupilFound[0]);
  EXPECT_FALSE(p.results.pupilFound[1]);
  EXPECT_EQ(p.results.pupilPos[0].x, kept.pupilPos[0].x);
  EXPECT_EQ(p.results.dxL, kept.dxL);
  EXPECT_EQ(p.results.dyR, kept.dyR);
  EXPECT_EQ(p.results.faceRect[2], kept.faceRect[2]);
  EXPECT_EQ(p.results.detectionText, kept.detectionText);
}

TEST(ProcessFrameTest, CalibrationTakesSamplesUntilTheRunEndsThenFitsOnce) {
  Pipeline p;
  p.BothOptions();
  p.state.SetCaptureFileName("capture.avi");
  p.state.CalibrationActive = 1;
  HookLog log;
  log.collectUntil = 3;
  log.Install(p.ctx);
  for (int i = 0; i < 4; ++i) p.Run(FaceFrame({0.5f * i, 0}));

  ASSERT_EQ(log.samples.size(), 3u);
  EXPECT_EQ(p.state.CalibrationActive.load(), 0);
  EXPECT_EQ(log.Count("fit"), 1);
  EXPECT_EQ(log.fitFile, "capture.avi");
  // In the frame that ends the run the fit comes right after the hand-off, then both charts,
  // then the panels; later frames hand over nothing.
  const std::vector<std::string> frame = {"sample", "collecting", "status", "calibration"};
  std::vector<std::string> expected;
  for (int i = 0; i < 2; ++i) expected.insert(expected.end(), frame.begin(), frame.end());
  for (const char* c :
       {"sample", "collecting", "fit", "charts", "status", "calibration", "status", "calibration"})
    expected.push_back(c);
  EXPECT_EQ(log.calls, expected);
}

TEST(ProcessFrameTest, SamplesAreTheFramesEyeVectors) {
  Pipeline p;
  p.BothOptions();
  p.state.CalibrationActive = 1;
  HookLog log;
  log.collectUntil = 100;
  log.Install(p.ctx);
  p.Run(FaceFrame({1.0f, 0.5f}));
  ASSERT_EQ(log.samples.size(), 1u);
  EXPECT_EQ(log.samples[0][0], p.results.dxL);
  EXPECT_EQ(log.samples[0][1], p.results.dyL);
  EXPECT_EQ(log.samples[0][2], p.results.dxR);
  EXPECT_EQ(log.samples[0][3], p.results.dyR);
  EXPECT_EQ(p.state.CalibrationActive.load(), 1);
}

TEST(ProcessFrameTest, ABlinkIsABlinkAndGivesNoSample) {
  Pipeline p;
  p.BothOptions();
  // With the default 30, finder 2 finds "pupils" in the hair over this face's brows once the
  // eyes are shut; 50 still finds the open pupils here.
  p.state.Finder2Param2 = 50;
  p.state.CalibrationActive = 1;
  HookLog log;
  log.collectUntil = 100;
  log.Install(p.ctx);
  p.Run(FaceFrame({}, true));
  ASSERT_TRUE(p.results.faceFound);
  EXPECT_TRUE(IsBlink(p.results, true, true));
  EXPECT_TRUE(log.samples.empty());
  EXPECT_EQ(log.Count("collecting"), 0);
  EXPECT_EQ(p.state.CalibrationActive.load(), 1);
  // The panels still run in a blink frame.
  EXPECT_EQ(log.Count("status"), 1);
}

TEST(ProcessFrameTest, FinderThresholdsOfZeroFindNothingAndKeepGoing) {
  Pipeline p;
  p.BothOptions();
  p.state.Finder1Param1 = p.state.Finder1Param2 = 0;
  p.state.Finder2Param1 = p.state.Finder2Param2 = 0;
  p.Run(FaceFrame());
  ASSERT_TRUE(p.results.faceFound);
  EXPECT_FALSE(p.results.finder1Found[0]);
  EXPECT_FALSE(p.results.pupilFound[0]);
  EXPECT_FALSE(p.results.pupilFound[1]);
  // The eye-region tiles are placed without a circle; the pupil zooms are not.
  EXPECT_FALSE(IsBlack(p.lastMosaic, TilePlaceRect(320, 240, TilePlace::EyeRegion1)));
  EXPECT_TRUE(IsBlack(p.lastMosaic, TilePlaceRect(320, 240, TilePlace::PupilZoom1)));
  // Finder 2 alone at 0: finder 1 still finds its circle.
  p.state.Finder1Param1 = 200;
  p.state.Finder1Param2 = 1;
  p.Run(FaceFrame());
  EXPECT_TRUE(p.results.finder1Found[0]);
  EXPECT_FALSE(p.results.pupilFound[0]);
  EXPECT_FALSE(IsBlack(p.lastMosaic, TilePlaceRect(320, 240, TilePlace::PupilZoom1)));
}

TEST(ProcessFrameTest, EveryFrameGoesToTheVideoAndThePreview) {
  const std::string path = std::string(PUPILTRAK_BINARY_DIR) + "/tracking_test_mosaic.avi";
  std::remove(path.c_str());
  Pipeline p;
  HeadlessWindows windows;
  windows.Create("Preview", 1);
  p.ctx.windows = &windows;
  {
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30,
                           cv::Size(320, 240));
    ASSERT_TRUE(writer.isOpened());
    p.Run(FaceFrame(), &writer);
    p.Run(Blank(), &writer);
    p.Run(FaceFrame(), &writer);
  }
  EXPECT_EQ(p.mosaics, 3);
  EXPECT_EQ(windows.ShowCount("Preview"), 3);
  cv::VideoCapture video(path);
  ASSERT_TRUE(video.isOpened());
  int frames = 0;
  cv::Mat frame;
  while (video.read(frame)) {
    EXPECT_EQ(frame.size(), cv::Size(320, 240));
    ++frames;
  }
  EXPECT_EQ(frames, 3);
  std::remove(path.c_str());
  // A writer that is not open is left alone.
  cv::VideoWriter closed;
  p.Run(FaceFrame(), &closed);
  EXPECT_EQ(p.mosaics, 4);
}

// The stages are laps of one clock: each that does real work took some time, and together they
// never exceed the whole frame. How much of it they cover is the machine's business.
TEST(ProcessFrameTest, EveryStageThatRanIsTimedWithinTheWholeFrame) {
  Pipeline p;
  p.BothOptions();
  StageTimings t;
  p.ctx.timings = &t;
  p.Run(FaceFrame());
  for (double stage : {t.convert, t.face, t.finder1, t.finder2}) EXPECT_GT(stage, 0.0);
  for (double stage : {t.tiles, t.panels, t.output}) EXPECT_GE(stage, 0.0);
  const double sum = t.convert + t.face + t.finder1 + t.finder2 + t.tiles + t.panels + t.output;
  EXPECT_LE(sum, t.total + 1e-6);
}

TEST(ProcessFrameTest, OddTinyAndEmptyFramesAreSurvived) {
  Pipeline p;
  p.BothOptions();
  int expected = 0;
  for (cv::Size s : {cv::Size(1, 1), cv::Size(2, 3), cv::Size(17, 13), cv::Size(41, 29),
                     cv::Size(333, 251), cv::Size(641, 479)}) {
    p.Run(Blank(s.width, s.height));
    EXPECT_EQ(p.mosaics, ++expected);
    EXPECT_FALSE(p.results.faceFound);
  }
  // An odd-sized frame with a face.
  gen::Scene scene = gen::DefaultScene(cv::Size(641, 479));
  const gen::FaceFrameGenerator odd(LoadPhoto("jesper_2.jpg"), scene);
  p.Run(odd.Render(gen::FrameSpec{}));
  EXPECT_TRUE(p.results.faceFound);
  EXPECT_TRUE(p.results.pupilFound[0]);
  // An empty frame gives a blank mosaic.
  p.Run(cv::Mat());
  EXPECT_TRUE(IsBlack(p.lastMosaic, cv::Rect(0, 0, 320, 240)));
}

TEST(ProcessFrameTest, EyesAtTheFramesEdgeAreSkippedNotReadOutside) {
  // The face half out of the frame on the left: whatever is found, no region or window may
  // reach past the border (this runs under the address sanitizer in the sanitizer build).
  gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
  for (float x : {60.f, 90.f, 120.f, 540.f, 580.f}) {
    scene.eyesMidpoint = cv::Point2f(x, 200);
    const gen::FaceFrameGenerator edge(LoadPhoto("jesper_2.jpg"), scene);
    Pipeline p;
    p.BothOptions();
    p.Run(edge.Render(gen::FrameSpec{}));
    for (int e = 0; e < 2; ++e)
      if (p.results.pupilFound[e]) {
        EXPECT_GE(p.results.pupilPos[e].x, 0);
        EXPECT_LT(p.results.pupilPos[e].x, 640);
      }
  }
}

// Finder chain on a hand-made frame: a dark disc near the left edge.
TEST(FinderChainTest, RegionOrWindowPastTheBorderSkipsTheEye) {
  cv::Mat frame(60, 100, CV_8UC3, cv::Scalar(180, 180, 180));
  cv::circle(frame, cv::Point(9, 30), 7, cv::Scalar(20, 20, 20), cv::FILLED, cv::LINE_AA);
  PupilSettings settings;
  settings.finder1Param1 = 100;
  PupilBuffers buffers;
  PupilResult r;
  PointHistory history;

  RunFinder1(frame, cv::Rect(-2, 10, 40, 40), history, settings, buffers, &r);
  EXPECT_FALSE(r.regionValid);
  EXPECT_FALSE(r.finder1Found);
  EXPECT_EQ(history.count, 0);  // left alone
  RunFinder1(frame, cv::Rect(70, 30, 31, 10), history, settings, buffers, &r);
  EXPECT_FALSE(r.regionValid);

  RunFinder1(frame, cv::Rect(0, 10, 40, 40), history, settings, buffers, &r);
  ASSERT_TRUE(r.regionValid);
  ASSERT_TRUE(r.finder1Found);
  EXPECT_EQ(history.count, 1);
  RunFinder2(frame, cv::Rect(0, 10, 40, 40), settings, buffers, &r);
  EXPECT_LT(r.window.x, 0);
  EXPECT_FALSE(r.windowValid);
  EXPECT_FALSE(r.finder2Found);
}

TEST(FinderChainTest, AWholeChainFindsThePupil) {
  // An iris around a pupil, as the finders see an eye.
  cv::Mat frame(80, 120, CV_8UC3, cv::Scalar(190, 190, 190));
  cv::circle(frame, cv::Point(60, 40), 11, cv::Scalar(110, 110, 110), cv::FILLED, cv::LINE_AA);
  cv::circle(frame, cv::Point(60, 40), 6, cv::Scalar(20, 20, 20), cv::FILLED, cv::LINE_AA);
  PupilSettings settings;
  PupilBuffers buffers;
  PupilResult r;
  PointHistory history;
  const cv::Rect region(30, 20, 60, 40);
  RunFinder1(frame, region, history, settings, buffers, &r);
  ASSERT_TRUE(r.finder1Found);
  EXPECT_NEAR(r.sx + region.x, 60, 2);
  EXPECT_NEAR(r.sy + region.y, 40, 2);
  RunFinder2(frame, region, settings, buffers, &r);
  ASSERT_TRUE(r.finder2Found);
  EXPECT_EQ(buffers.pupilZoom.size(), cv::Size(100, 60));
  EXPECT_NEAR(r.pupilX, 60, 1);
  EXPECT_NEAR(r.pupilY, 40, 1);
  // The pupil's ring (12 zoom pixels), not the iris's (22).
  EXPECT_GT(r.circle2[2], 9);
  EXPECT_LT(r.circle2[2], 17);
}

}  // namespace
