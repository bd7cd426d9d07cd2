// The option check boxes with their coupling, and the sliders that report every drawing.
#include <QCheckBox>
#include <QSlider>

#include "app/DialogTemplate.h"
#include "app/OptionCommands.h"
#include "dialog_support.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

class Options : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    cwd = std::make_unique<ScratchDirectory>(Cascade::Present);
    dialog = std::make_unique<TrackerDialog>(session, recorded.Hooks());
    ShowAndSettle(*dialog);
    mark = dialog->Log().Lines().size();
  }
  void TearDown() override {
    dialog.reset();
    cwd.reset();
    DialogTest::TearDown();
  }
  // A real mouse click on the box, as the user gives it.
  void Click(int id) {
    auto* box = qobject_cast<QCheckBox*>(dialog->Control(id));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }
  std::vector<std::string> NewLines() {
    auto lines = LinesFrom(*dialog, mark);
    mark = dialog->Log().Lines().size();
    return lines;
  }
  QSlider* Slider(int id) { return qobject_cast<QSlider*>(dialog->Control(id)); }

  RecordedCommands recorded;
  std::unique_ptr<ScratchDirectory> cwd;
  std::unique_ptr<TrackerDialog> dialog;
  size_t mark = 0;
};

using Lines = std::vector<std::string>;

TEST_F(Options, EyeRegionsSwitchTheSearchOnAndOff) {
  Click(control_id::kEyeRegions);
  EXPECT_EQ(NewLines(), Lines{"Search for eye regions is on"});
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 1);
  EXPECT_EQ(session.state.EstimateGazeDirection.load(), 0);
  Click(control_id::kEyeRegions);
  EXPECT_EQ(NewLines(), Lines{"Search for eye regions is off"});
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 0);
}

TEST_F(Options, GazeDirectionBringsTheEyeRegionsAlongWithOneLine) {
  Click(control_id::kGazeDirection);
  EXPECT_EQ(NewLines(), Lines{"Estimation of gaze direction and its prerequisites are on"});
  EXPECT_EQ(dialog->CheckState(control_id::kEyeRegions), 1);
  EXPECT_EQ(dialog->CheckState(control_id::kGazeDirection), 1);
  EXPECT_EQ(session.state.EstimateGazeDirection.load(), 1);
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 1);
}

TEST_F(Options, EyeRegionsOffTakesTheGazeAlongWithOneLine) {
  Click(control_id::kGazeDirection);
  NewLines();
  Click(control_id::kEyeRegions);
  EXPECT_EQ(NewLines(), Lines{"Search for eye regions is off"});
  EXPECT_EQ(dialog->CheckState(control_id::kEyeRegions), 0);
  EXPECT_EQ(dialog->CheckState(control_id::kGazeDirection), 0);
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 0);
  EXPECT_EQ(session.state.EstimateGazeDirection.load(), 0);
}

TEST_F(Options, GazeOffLeavesTheEyeRegionsOn) {
  Click(control_id::kGazeDirection);
  NewLines();
  Click(control_id::kGazeDirection);
  EXPECT_EQ(NewLines(), Lines{"Estimation of gaze direction is off"});
  EXPECT_EQ(dialog->CheckState(control_id::kEyeRegions), 1);
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 1);
  EXPECT_EQ(session.state.EstimateGazeDirection.load(), 0);
}

TEST_F(Options, EqualisationBoxesSetTheirFlags) {
  Click(control_id::kEqualizeHist2);  // checked at start: this unchecks it
  EXPECT_EQ(NewLines(), Lines{"EqualizeHist2 is off"});
  EXPECT_EQ(session.state.EqualizeHist2.load(), 0);
  Click(control_id::kEqualizeHist1);
  EXPECT_EQ(NewLines(), Lines{"EqualizeHist1 is on"});
  EXPECT_EQ(session.state.EqualizeHist1.load(), 1);
  Click(control_id::kEqualizeHist1);
  Click(control_id::kEqualizeHist2);
  EXPECT_EQ(NewLines(), (Lines{"EqualizeHist1 is off", "EqualizeHist2 is on"}));
  EXPECT_EQ(session.state.EqualizeHist1.load(), 0);
  EXPECT_EQ(session.state.EqualizeHist2.load(), 1);
}

TEST_F(Options, SettingABoxByProgramRaisesNoHandler) {
  dialog->SetCheckState(control_id::kEyeRegions, 1);
  dialog->SetCheckState(control_id::kEqualizeHist2, 0);
  EXPECT_TRUE(NewLines().empty());
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 0);
  EXPECT_EQ(session.state.EqualizeHist2.load(), 1);
}

TEST_F(Options, AnIndeterminateStateDoesNothing) {
  auto* box = qobject_cast<QCheckBox*>(dialog->Control(control_id::kEyeRegions));
  box->setTristate(true);
  box->setCheckState(Qt::PartiallyChecked);
  OptionClicked(*dialog, session.state, control_id::kEyeRegions);
  EXPECT_TRUE(NewLines().empty());
  EXPECT_EQ(session.state.SearchEyeRegions.load(), 0);
}

TEST_F(Options, EveryRepaintOfASliderLogsItsValueAgain) {
  Slider(control_id::kFinder1Param2)->repaint();
  EXPECT_EQ(NewLines(), Lines{"Finder1Param2 = 1"});
  Slider(control_id::kFinder1Param2)->repaint();
  Slider(control_id::kFinder2Param1)->repaint();
  EXPECT_EQ(NewLines(), (Lines{"Finder1Param2 = 1", "Finder2Param1 = 60"}));
}

TEST_F(Options, RepaintingTheDialogLogsEverySlider) {
  dialog->repaint();
  EXPECT_EQ(NewLines(), (Lines{"Finder1Param1 = 1", "Finder1Param2 = 1", "Finder2Param1 = 60",
                               "Finder2Param2 = 30"}));
}

TEST_F(Options, SliderEndsGiveTwoHundredAndOne) {
  QSlider* s = Slider(control_id::kFinder1Param1);
  s->setFocus();
  QTest::keyClick(s, Qt::Key_End);
  Settle();
  EXPECT_EQ(session.state.Finder1Param1.load(), 200);
  auto lines = NewLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Finder1Param1 = 200");
  QTest::keyClick(s, Qt::Key_Home);
  Settle();
  EXPECT_EQ(session.state.Finder1Param1.load(), 1);
  lines = NewLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Finder1Param1 = 1");
  // A click on the groove pages the handle towards the click.
  QSlider* s2 = Slider(control_id::kFinder2Param2);
  QTest::mousePress(s2, Qt::LeftButton, {}, QPoint(s2->width() - 2, s2->height() / 2));
  QTest::mouseRelease(s2, Qt::LeftButton, {}, QPoint(s2->width() - 2, s2->height() / 2));
  Settle();
  EXPECT_GT(session.state.Finder2Param2.load(), 30);
}

TEST_F(Options, SlidersStoreWhateverTheyShowWithoutComparing) {
  Slider(control_id::kFinder2Param1)->setValue(77);
  Settle();
  EXPECT_EQ(session.state.Finder2Param1.load(), 77);
  // The value is only taken when the slider draws itself.
  session.state.Finder2Param1 = 5;
  Slider(control_id::kFinder2Param1)->repaint();
  EXPECT_EQ(session.state.Finder2Param1.load(), 77);
  EXPECT_EQ(NewLines().back(), "Finder2Param1 = 77");
}

}  // namespace
