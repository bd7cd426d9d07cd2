// The calibration panel step: its three modes, the marker, the target windows it keeps.
#include "calibration/AccuracyTest.h"
#include "calibration/TargetWindows.h"
#include "calibration_fixture.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/GazeMapping.h"
#include "platform/Resources.h"
#include "platform/Surface.h"
#include "platform/TargetWindowHost.h"
#include "tracking/FrameResults.h"

using namespace pupiltrak;

namespace {

RunView GridRun() {
  CalibrationData d;
  StartRun(d, 1024, 710);
  RunView v;
  v.collecting = true;
  v.W = d.W;
  v.H = d.H;
  for (int i = 0; i < 9; ++i) {
    v.x[i] = d.targets[i].x;
    v.y[i] = d.targets[i].y;
  }
  return v;
}

int CountPixels(const QImage& img, QRect box, QColor colour) {
  int n = 0;
  box = box.intersected(img.rect());
  for (int y = box.top(); y <= box.bottom(); ++y) {
    for (int x = box.left(); x <= box.right(); ++x) {
      if (QColor(img.pixel(x, y)).rgb() == colour.rgb()) ++n;
    }
  }
  return n;
}

QRect MarkerBox(int x, int y) { return QRect(x - 8, y - 8, 16, 16); }

}  // namespace

TEST(CalibrationPanelTest, TargetEightOf1024x710LiesAt146x105) {
  const RunView run = GridRun();
  EXPECT_EQ(PanelTargetPosition(QSize(160, 120), run.W, run.H, run.x[8], run.y[8]),
            QPoint(146, 105));
  EXPECT_EQ(PanelTargetPosition(QSize(160, 120), run.W, run.H, run.x[0], run.y[0]),
            QPoint(13, 14));  // 13.75 and 14.87 truncated
  EXPECT_EQ(PanelTargetPosition(QSize(160, 120), run.W, run.H, run.x[4], run.y[4]), QPoint(80, 60));
}

TEST(CalibrationPanelTest, NotCalibratedShowsOnlyTheGreyCaption) {
  QImage surface = surface::Make(160, 120);
  PanelMemory memory;
  RecordingEffects effects;
  int accuracySteps = 0;
  CalibrationPanelStep(surface, false, 0, RunView(), false, memory, effects,
                       [&](QImage&) { ++accuracySteps; });
  EXPECT_EQ(accuracySteps, 0);
  EXPECT_TRUE(effects.events.empty());
  EXPECT_EQ(QColor(surface.pixel(159, 119)), QColor(Qt::white));
  EXPECT_EQ(QColor(surface.pixel(159, 0)), QColor(Qt::white));
  EXPECT_EQ(QColor(surface.pixel(40, 110)), QColor(Qt::white));
  // The caption is grey and sits around the centre row only.
  EXPECT_GT(CountPixels(surface, QRect(0, 45, 160, 30), QColor(128, 128, 128)), 20);
  EXPECT_EQ(CountPixels(surface, QRect(0, 90, 160, 30), QColor(128, 128, 128)), 0);
  EXPECT_EQ(memory.LastShownTarget, -1);
  EXPECT_FALSE(memory.WasCollecting);
}

TEST(CalibrationPanelTest, EachTargetGetsItsWindowOnceAndTheLastGoesWhenTheRunEnds) {
  QImage surface = surface::Make(160, 120);
  PanelMemory memory;
  RecordingEffects effects;
  int accuracySteps = 0;
  auto accuracy = [&](QImage&) { ++accuracySteps; };
  RunView run = GridRun();

  CalibrationPanelStep(surface, true, 0, run, true, memory, effects, accuracy);
  CalibrationPanelStep(surface, true, 0, run, true, memory, effects, accuracy);
  CalibrationPanelStep(surface, true, 1, run, true, memory, effects, accuracy);
  CalibrationPanelStep(surface, true, 8, run, true, memory, effects, accuracy);
  EXPECT_EQ(effects.events, (std::vector<std::string>{"create 0 at 88,88", "create 1 at 512,88",
                                                      "create 8 at 936,622"}));
  EXPECT_EQ(accuracySteps, 0);

  // The run ended: the first step without collecting takes the window down.
  effects.events.clear();
  CalibrationPanelStep(surface, false, 8, run, true, memory, effects, accuracy);
  CalibrationPanelStep(surface, false, 8, run, true, memory, effects, accuracy);
  EXPECT_EQ(effects.events, std::vector<std::string>{"destroy"});
  EXPECT_EQ(accuracySteps, 2);
  EXPECT_EQ(memory.LastShownTarget, 8);

  // A new run shows target 0 again.
  effects.events.clear();
  CalibrationPanelStep(surface, true, 0, run, true, memory, effects, accuracy);
  EXPECT_EQ(effects.events, std::vector<std::string>{"create 0 at 88,88"});
}

TEST(CalibrationPanelTest, ARestartWhileTargetZeroIsShownKeepsItsWindow) {
  QImage surface = surface::Make(160, 120);
  PanelMemory memory;
  RecordingEffects effects;
  const RunView run = GridRun();
  CalibrationPanelStep(surface, true, 0, run, true, memory, effects, nullptr);
  // Calibrate again: the run restarts at target 0, which is already shown.
  CalibrationPanelStep(surface, true, 0, run, true, memory, effects, nullptr);
  EXPECT_EQ(effects.events, std::vector<std::string>{"create 0 at 88,88"});
}

TEST(CalibrationPanelTest, StoppedTrackingShowsPleaseCalibrateAndStillTakesTheWindowDown) {
  QImage surface = surface::Make(160, 120);
  PanelMemory memory;
  RecordingEffects effects;
  int accuracySteps = 0;
  const RunView run = GridRun();
  CalibrationPanelStep(surface, true, 3, run, true, memory, effects, nullptr);
  // The run completed after a restart of tracking, which cleared CalibratedSinceStart.
  CalibrationPanelStep(surface, false, 8, run, false, memory, effects,
                       [&](QImage&) { ++accuracySteps; });
  EXPECT_EQ(effects.events, (std::vector<std::string>{"create 3 at 88,355", "destroy"}));
  EXPECT_EQ(accuracySteps, 0);
}

TEST(CalibrationPanelTest, TheTargetMarkerIsDrawnAtItsPanelPosition) {
  if (ResourceBitmap(resource_id::kTargetMarker).isNull())
    GTEST_SKIP() << "marker bitmaps not available";
  QImage surface = surface::Make(160, 120);
  PanelMemory memory;
  RecordingEffects effects;
  const RunView run = GridRun();
  CalibrationPanelStep(surface, true, 8, run, true, memory, effects, nullptr);
  const QImage withTarget8 = surface;
  CalibrationPanelStep(surface, true, 0, run, true, memory, effects, nullptr);
  const int marked = 256 - CountPixels(withTarget8, MarkerBox(146, 105), Qt::white);
  EXPECT_GT(marked, 20);
  // Nothing outside the marker's 16 x 16 box around (146, 105) in that corner.
  EXPECT_EQ(CountPixels(withTarget8, QRect(130, 90, 30, 30), Qt::white), 900 - marked);
  // Target 0's panel has no marker there.
  EXPECT_EQ(CountPixels(surface, MarkerBox(146, 105), Qt::white), 256);
}

// The whole run through the session's hooks, with headless target windows: the window of each
// target, then the accuracy window once the run has completed.
class SessionPanelTest : public CalibrationFixture {
 protected:
  void SetUp() override {
    CalibrationFixture::SetUp();
    windows.RegisterClass(QImage(16, 16, QImage::Format_RGB32));
  }
  void TearDown() override { session.targetWindows.DestroyCalibration(); }
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const auto& w : windows.Existing()) titles.push_back(w.title);
    return titles;
  }
  HeadlessTargetWindows& windows = platform.targets;
};

TEST_F(SessionPanelTest, TheRunShowsEachTargetThenTheAccuracyTestRuns) {
  QImage panel = surface::Make(160, 120);
  session.CalibrationPanelStep(panel);
  EXPECT_TRUE(Titles().empty());  // "Please calibrate!"

  session.state.TrackingActive = 1;
  session.ResetForNewRun();
  session.Calibrate(dialog);
  session.CalibrationPanelStep(panel);
  ASSERT_EQ(Titles(), std::vector<std::string>{"1"});
  EXPECT_EQ(windows.Existing()[0].geometry, QRect(-12, -12, 200, 200));
  FeedFrames(session, 40, &panel);  // the 40th sample's frame already shows target 1
  EXPECT_EQ(Titles(), std::vector<std::string>{"2"});
  FeedFrames(session, 319, &panel);
  EXPECT_EQ(Titles(), std::vector<std::string>{"9"});
  EXPECT_EQ(session.accuracy.Sums().count, 0);

  // The last sample: fit, and in the same frame the window goes and the accuracy test starts.
  FrameResults& r = session.results;
  r.pupilFound[0] = r.pupilFound[1] = true;
  const Sample s = ModelSample(512, 355, 0);
  r.dxL = s.dxL;
  r.dyL = s.dyL;
  r.dxR = s.dxR;
  r.dyR = s.dyR;
  FeedFrames(session, 1, &panel);
  EXPECT_FALSE(session.CalibrationCollecting());
  EXPECT_EQ(Titles(), std::vector<std::string>{"TitleIsIrrelevant"});
  EXPECT_EQ(session.accuracy.Sums().count, 1);
  // Looking at the screen centre the estimate is near it, whatever the stretch.
  EXPECT_EQ(QColor(panel.pixel(159, 119)), QColor(Qt::white));

  // One eye: nothing accumulated; both again: one more.
  r.pupilFound[1] = false;
  session.CalibrationPanelStep(panel);
  EXPECT_EQ(session.accuracy.Sums().count, 1);
  r.pupilFound[1] = true;
  session.CalibrationPanelStep(panel);
  EXPECT_EQ(session.accuracy.Sums().count, 2);

  // A tracking restart clears CalibratedSinceStart: back to "Please calibrate!".
  session.state.CalibratedSinceStart = 0;
  session.CalibrationPanelStep(panel);
  EXPECT_EQ(session.accuracy.Sums().count, 2);
}

TEST_F(SessionPanelTest, ARunRestartedWhileTheFrameThreadLostTheActiveFlagIsFedAgain) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  // The pipeline stored a stale "not collecting" into the flag just after Calibrate set it.
  session.state.CalibrationActive = 0;
  QImage panel = surface::Make(160, 120);
  session.CalibrationPanelStep(panel);
  EXPECT_EQ(session.state.CalibrationActive.load(), 1);
  FeedFrames(session, 360, &panel);
  EXPECT_FALSE(session.CalibrationCollecting());
}
