// Start-up of the main dialog: initial control states, the cascade lines, the first drawing
// of the sliders, and the path taken when the cascade does not load.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <opencv2/objdetect.hpp>

#include "app/DialogTemplate.h"
#include "app/TrackerApp.h"
#include "dialog_support.h"
#include "tracking/FaceCascade.h"
#include "tracking/FrameResults.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

const std::string kLoading = "Loading haarcascade_frontalface_default.xml";
const std::string kLoaded = "Classifier cascade haarcascade_frontalface_default.xml loaded";
const std::string kNotLoaded =
    "Bug: Could not load classifier cascade haarcascade_frontalface_default.xml";
// The program directory is the scratch directory, which may be written.
const std::string kProtocolHere = "Calibrations are recorded in ./CalibrationProtocol.txt";

class DialogStart : public DialogTest {};

int Checked(TrackerDialog& d, int id) { return d.CheckState(id); }

QSlider* Slider(TrackerDialog& d, int id) { return qobject_cast<QSlider*>(d.Control(id)); }

TEST_F(DialogStart, FreshStartShowsTheInitialStates) {
  ScratchDirectory cwd(Cascade::Present);
  TrackerDialog dialog(session);
  EXPECT_TRUE(dialog.InitResult());
  EXPECT_EQ(qobject_cast<QLabel*>(dialog.Control(control_id::kCaptureFileStatic))->text(),
            "No capture file selected");
  EXPECT_TRUE(dialog.Control(control_id::kStartTracking)->isEnabled());
  EXPECT_FALSE(dialog.Control(control_id::kStopTracking)->isEnabled());
  for (int id :
       {control_id::kExit, control_id::kHelp, control_id::kSetCaptureFile,
        control_id::kCaptureToFile, control_id::kCameraPropertyPage,
        control_id::kVideoFormatProperties, control_id::kCalibrate, control_id::kEyeRegions,
        control_id::kGazeDirection, control_id::kEqualizeHist1, control_id::kEqualizeHist2})
    EXPECT_TRUE(dialog.Control(id)->isEnabled()) << id;
  EXPECT_EQ(Checked(dialog, control_id::kEyeRegions), 0);
  EXPECT_EQ(Checked(dialog, control_id::kGazeDirection), 0);
  EXPECT_EQ(Checked(dialog, control_id::kCaptureToFile), 0);
  EXPECT_EQ(Checked(dialog, control_id::kEqualizeHist1), 0);
  EXPECT_EQ(Checked(dialog, control_id::kEqualizeHist2), 1);
  const int ids[] = {control_id::kFinder1Param1, control_id::kFinder1Param2,
                     control_id::kFinder2Param1, control_id::kFinder2Param2};
  const int values[] = {1, 1, 60, 30};
  for (int i = 0; i < 4; ++i) {
    QSlider* s = Slider(dialog, ids[i]);
    EXPECT_EQ(s->minimum(), 1);
    EXPECT_EQ(s->maximum(), 200);
    EXPECT_EQ(s->value(), values[i]) << ids[i];
  }
  EXPECT_EQ(dialog.Log().Lines(), (std::vector<std::string>{kLoading, kLoaded, kProtocolHere}));
  EXPECT_EQ(dialog.Log().ImageIndex(0), EventLog::kCogImage);
  EXPECT_EQ(dialog.Log().ImageIndex(1), EventLog::kCogImage);
  EXPECT_TRUE(dialog.ChartsCreated());
  ASSERT_TRUE(session.state.FaceCascade);
  EXPECT_FALSE(session.state.FaceCascade->empty());
  EXPECT_EQ(session.state.MainWindow.load(), &dialog.Canvas());
  EXPECT_EQ(dialog.Canvas().ClientRect(), QRect(0, 0, 480, 869));
}

TEST_F(DialogStart, FirstDrawingOfTheSlidersLogsOneLinePerSliderInScreenOrder) {
  ScratchDirectory cwd(Cascade::Present);
  TrackerDialog dialog(session);
  ShowAndSettle(dialog);
  EXPECT_EQ(
      dialog.Log().Lines(),
      (std::vector<std::string>{kLoading, kLoaded, kProtocolHere, "Finder1Param1 = 1",
                                "Finder1Param2 = 1", "Finder2Param1 = 60", "Finder2Param2 = 30"}));
  EXPECT_EQ(session.state.Finder2Param1.load(), 60);
}

TEST_F(DialogStart, InitialisationClearsTheRunFlagsAndKeepsTheDetectionSettings) {
  ScratchDirectory cwd(Cascade::Present);
  auto& t = session.state;
  t.SearchEyeRegions = 1;
  t.EstimateGazeDirection = 1;
  t.CaptureToFile = 1;
  t.CalibrationActive = 1;
  t.EqualizeHist1 = 1;
  t.Finder1Param1 = 17;
  t.Finder2Param2 = 200;
  session.results.detectionText = "Detection Time = 12 ms";
  {
    TrackerDialog dialog(session);
    EXPECT_EQ(t.SearchEyeRegions.load(), 0);
    EXPECT_EQ(t.EstimateGazeDirection.load(), 0);
    EXPECT_EQ(t.CaptureToFile.load(), 0);
    EXPECT_EQ(t.TrackingActive.load(), 0);
    EXPECT_EQ(t.CalibrationActive.load(), 0);
    EXPECT_FALSE(t.CaptureWriter);
    EXPECT_TRUE(session.results.detectionText.empty());
    // The detection settings are not part of the reset: the sliders take them up.
    EXPECT_EQ(t.EqualizeHist1.load(), 1);
    EXPECT_EQ(Slider(dialog, control_id::kFinder1Param1)->value(), 17);
    EXPECT_EQ(Slider(dialog, control_id::kFinder2Param2)->value(), 200);
  }
  // The canvas goes with the dialog.
  EXPECT_EQ(t.MainWindow.load(), nullptr);
}

TEST_F(DialogStart, MissingCascadeStopsTheInitialisationEarly) {
  ScratchDirectory cwd(Cascade::Missing);
  RecordedCommands recorded;
  TrackerDialog dialog(session, recorded.Hooks());
  EXPECT_FALSE(dialog.InitResult());
  EXPECT_EQ(dialog.Log().Lines(), (std::vector<std::string>{kLoading, kNotLoaded, kProtocolHere}));
  EXPECT_EQ(dialog.Log().ImageIndex(1), EventLog::kBugImage);
  EXPECT_FALSE(session.state.FaceCascade);
  EXPECT_FALSE(dialog.ChartsCreated());
  // The sliders keep a fresh trackbar's own range and position.
  for (int id : {control_id::kFinder1Param1, control_id::kFinder1Param2, control_id::kFinder2Param1,
                 control_id::kFinder2Param2}) {
    EXPECT_EQ(Slider(dialog, id)->minimum(), 0);
    EXPECT_EQ(Slider(dialog, id)->maximum(), 100);
    EXPECT_EQ(Slider(dialog, id)->value(), 0);
  }
  // Box 1023 stays unchecked although EqualizeHist2 is 1.
  EXPECT_EQ(dialog.CheckState(control_id::kEqualizeHist2), 0);
  EXPECT_EQ(session.state.EqualizeHist2.load(), 1);
  // The dialog still opens; the first drawing sets every finder parameter to 0.
  ShowAndSettle(dialog);
  EXPECT_EQ(LinesFrom(dialog, 3),
            (std::vector<std::string>{"Finder1Param1 = 0", "Finder1Param2 = 0", "Finder2Param1 = 0",
                                      "Finder2Param2 = 0"}));
  EXPECT_EQ(session.state.Finder1Param1.load(), 0);
  EXPECT_EQ(session.state.Finder1Param2.load(), 0);
  EXPECT_EQ(session.state.Finder2Param1.load(), 0);
  EXPECT_EQ(session.state.Finder2Param2.load(), 0);
  // No charts: an expose repairs nothing.
  dialog.repaint();
  EXPECT_TRUE(recorded.chartPaints.empty());
  EXPECT_TRUE(dialog.Control(control_id::kStartTracking)->isEnabled());
}

TEST_F(DialogStart, DamagedCascadeFilesAreReportedLikeAMissingOne) {
  for (Cascade damage : {Cascade::Empty, Cascade::Garbage, Cascade::Truncated}) {
    ScratchDirectory cwd(damage);
    TrackerDialog dialog(session);
    EXPECT_FALSE(dialog.InitResult());
    EXPECT_EQ(dialog.Log().Lines(),
              (std::vector<std::string>{kLoading, kNotLoaded, kProtocolHere}));
    EXPECT_FALSE(session.state.FaceCascade);
  }
}

TEST(FaceCascadeLoading, LoadsTheRealCascadeAndRejectsOthers) {
  auto cascade = LoadFaceCascade(PUPILTRAK_CASCADE);
  ASSERT_TRUE(cascade);
  EXPECT_FALSE(cascade->empty());
  EXPECT_FALSE(LoadFaceCascade("/nonexistent/haarcascade_frontalface_default.xml"));
  EXPECT_FALSE(LoadFaceCascade(""));
}

TEST_F(DialogStart, WithoutACascadeInTheCurrentDirectoryTheOneBesideTheProgramIsLoaded) {
  ScratchDirectory cwd(Cascade::Missing);
  machine.SetProgramDirectory(PUPILTRAK_BINARY_DIR);
  TrackerDialog dialog(session);
  EXPECT_TRUE(dialog.InitResult());
  const std::string path = machine.ProgramDirectory() + "haarcascade_frontalface_default.xml";
  ASSERT_GE(dialog.Log().Lines().size(), 2u);
  EXPECT_EQ(dialog.Log().Lines()[0], "Loading " + path);
  EXPECT_EQ(dialog.Log().Lines()[1], "Classifier cascade " + path + " loaded");
  EXPECT_TRUE(session.state.FaceCascade);
}

TEST_F(DialogStart, EnterOnTheIdleDialogEndsItThroughExit) {
  ScratchDirectory cwd(Cascade::Present);
  RecordedCommands recorded;
  TrackerDialog dialog(session, recorded.Hooks());
  ShowAndSettle(dialog);
  QWidget* focus = dialog.focusWidget();
  ASSERT_NE(focus, nullptr);
  EXPECT_EQ(focus, dialog.Control(control_id::kExit));
  QTest::keyClick(focus, Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(DialogStart, ApplicationRunsTheDialogModallyAndEndsWithIt) {
  ScratchDirectory cwd(Cascade::Present);
  // Ends the modal dialog as soon as it runs, with the Enter key on its default button.
  bool sawDialog = false;
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!d) return;
    sawDialog = d->windowTitle() == "PUPILTRAK_08";
    QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Return);
  });
  TrackerApp app;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_TRUE(sawDialog);
  // The dialog's canvas went with it: the program's session no longer draws into it.
  EXPECT_EQ(app.Session().state.MainWindow.load(), nullptr);
}

}  // namespace
