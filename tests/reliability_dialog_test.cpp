// The real main dialog with the program's own commands and a camera whose face frames flow
// through the whole pipeline: a broken cascade file leaves the dialog usable (tracking starts,
// options change, Calibrate, Stop Tracking logs as usual), and a dialog that goes away while
// tracking, with options and sliders changing under the frame thread, stops tracking first.
#include <QAbstractButton>
#include <QSlider>

#include "app/DialogTemplate.h"
#include "dialog_support.h"
#include "reliability_support.h"

using namespace pupiltrak;

namespace reliability {
namespace {

using dialog_test::Cascade;
using dialog_test::ScratchDirectory;

const std::string kLoading = "Loading haarcascade_frontalface_default.xml";
const std::string kNotLoaded =
    "Bug: Could not load classifier cascade haarcascade_frontalface_default.xml";
const Lines kNormalStart = {"1 cameras found",        "Source window created",
                            "Preview window created", "cvcamInit() ok",
                            "cvcamStart() ok",        "StartTracking was successful"};
const Lines kNormalStop = {"Releasing camera", "Destroying source window",
                           "Destroying preview window", "EndTracking was successful"};

class DialogFaults : public dialog_test::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    session.protocol.SetOpener(protocol.Opener());
    Camera().RestoreDefaults();
    Camera().SetCameraCounter([] { return 1; });
    Camera().SetSourceFactory(
        [this](int) { return std::make_unique<GeneratedSource>(std::cref(faces)); });
  }
  void TearDown() override {
    dialog.reset();
    Camera().RestoreDefaults();
    session.state.CaptureWriter.reset();
    session.targetWindows.DestroyAll();
    DialogTest::TearDown();
  }

  void Open() {
    dialog = std::make_unique<TrackerDialog>(session);
    dialog_test::ShowAndSettle(*dialog);
  }
  void Click(int id) {
    auto* b = qobject_cast<QAbstractButton*>(dialog->Control(id));
    ASSERT_NE(b, nullptr) << id;
    ASSERT_TRUE(b->isEnabled()) << id;
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
  }
  void MoveSlider(int id, int value) {
    auto* s = qobject_cast<QSlider*>(dialog->Control(id));
    ASSERT_NE(s, nullptr) << id;
    s->setValue(value);
    s->repaint();  // its drawing hands the position on
  }
  // Lets the GUI thread work, frame by frame, until the camera has delivered n more frames (or
  // stopped). A frame never waits for the GUI thread, so the wait for it cannot hold it up.
  void FramesFlow(int64_t n) {
    const int64_t target = Camera().FramesDelivered() + n;
    while (Camera().FramesDelivered() < target &&
           Camera().WaitForFrames(Camera().FramesDelivered() + 1))
      QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_GE(Camera().FramesDelivered(), target);
  }
  Lines NewLines() {
    Lines lines = dialog_test::LinesFrom(*dialog, mark);
    mark = dialog->Log().Lines().size();
    return lines;
  }

  FaceFrames faces;
  MemoryProtocol protocol;
  std::unique_ptr<TrackerDialog> dialog;
  size_t mark = 0;
};

TEST_F(DialogFaults, ABrokenCascadeIsReportedAndTheDialogStillTracks) {
  for (Cascade broken : {Cascade::Missing, Cascade::Empty, Cascade::Garbage, Cascade::Truncated}) {
    SCOPED_TRACE(static_cast<int>(broken));
    ScratchDirectory cwd(broken);
    mark = 0;
    Open();
    const Lines start = NewLines();
    ASSERT_GE(start.size(), 2u);
    EXPECT_EQ(start[0], kLoading);
    EXPECT_EQ(start[1], kNotLoaded);
    EXPECT_FALSE(session.state.FaceCascade);
    // The finder parameters are 0, as the sliders' first drawing left them.
    EXPECT_EQ(session.state.Finder1Param1.load(), 0);
    EXPECT_EQ(session.state.Finder2Param2.load(), 0);

    Click(control_id::kStartTracking);
    EXPECT_EQ(NewLines(), kNormalStart);
    FramesFlow(5);
    Click(control_id::kGazeDirection);  // brings Eye Regions along
    Click(control_id::kEqualizeHist1);
    FramesFlow(5);
    Click(control_id::kCalibrate);  // a run starts but never advances: no face is ever found
    FramesFlow(5);
    EXPECT_TRUE(session.CalibrationCollecting());
    EXPECT_TRUE(prompts.Messages().empty());
    // Frames are shown in the Preview window, black: nothing is detected or drawn.
    EXPECT_GT(windows.ShowCount("Preview"), 0);
    EXPECT_EQ(cv::countNonZero(windows.Latest("Preview").reshape(1)), 0);

    Click(control_id::kStopTracking);
    const Lines stop = NewLines();
    ASSERT_GE(stop.size(), kNormalStop.size());
    EXPECT_EQ(Lines(stop.end() - static_cast<long>(kNormalStop.size()), stop.end()), kNormalStop);
    EXPECT_FALSE(Camera().Delivering());
    EXPECT_FALSE(session.results.faceFound);  // read once the frame thread has ended
    EXPECT_TRUE(dialog->Control(control_id::kStartTracking)->isEnabled());
    dialog.reset();
    session.state.Reset();
  }
}

// Escape, the window's close button, or the dialog simply destroyed: each while frames flow
// and the user keeps changing options and sliders.
TEST_F(DialogFaults, ADialogThatGoesAwayWhileTrackingStopsTrackingFirst) {
  ScratchDirectory cwd(Cascade::Present);
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    mark = 0;
    Open();
    Click(control_id::kStartTracking);
    Click(control_id::kGazeDirection);
    Click(control_id::kCalibrate);
    for (int round = 0; round < 10; ++round) {
      FramesFlow(1);
      MoveSlider(control_id::kFinder2Param1, 40 + 5 * round);
      MoveSlider(control_id::kFinder1Param2, 1 + round);
      Click(control_id::kEqualizeHist2);
      if (round % 3 == 0) Click(control_id::kEyeRegions);
      if (round % 3 == 1) Click(control_id::kGazeDirection);
    }
    EXPECT_TRUE(Camera().Delivering());
    if (way == 0) {
      QTest::keyClick(dialog.get(), Qt::Key_Escape);
    } else if (way == 1) {
      EXPECT_TRUE(dialog->close());
    }
    if (way < 2) {
      EXPECT_FALSE(dialog->isVisible());
      EXPECT_FALSE(Camera().Delivering());
      EXPECT_EQ(NewLines().back(), "EndTracking was successful");
    }
    dialog.reset();
    EXPECT_FALSE(Camera().Delivering());
    EXPECT_EQ(session.state.TrackingActive.load(), 0);
    EXPECT_EQ(session.state.MainWindow.load(), nullptr);
    // The protocol the Calibrate opened was closed by the stop, with the accuracy lines.
    EXPECT_FALSE(session.protocol.IsOpen());
    session.state.Reset();
  }
  EXPECT_EQ(protocol.Streams().size(), 3u);
}

}  // namespace
}  // namespace reliability
