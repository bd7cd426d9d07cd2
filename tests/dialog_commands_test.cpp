// The dialog's commands: capture file and recording, help, the property pages, the tracking
// and calibration buttons, ending the dialog, and the About entry.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "app/AboutBox.h"
#include "app/DialogTemplate.h"
#include "app/HelpCommand.h"
#include "dialog_support.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

using Lines = std::vector<std::string>;

class Commands : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    cwd = std::make_unique<ScratchDirectory>(Cascade::Present);
    hooks = recorded.Hooks();
  }
  void TearDown() override {
    dialog.reset();
    cwd.reset();
    DialogTest::TearDown();
  }
  void Open() {
    dialog = std::make_unique<TrackerDialog>(session, hooks);
    ShowAndSettle(*dialog);
    mark = dialog->Log().Lines().size();
  }
  void Click(int id) {
    auto* b = qobject_cast<QAbstractButton*>(dialog->Control(id));
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
  }
  Lines NewLines() {
    auto lines = LinesFrom(*dialog, mark);
    mark = dialog->Log().Lines().size();
    return lines;
  }
  QString CaptureLine() {
    return qobject_cast<QLabel*>(dialog->Control(control_id::kCaptureFileStatic))->text();
  }

  // Fakes of the tracking commands that move the dialog between its two states.
  void FakeTracking() {
    hooks.startTracking = [this](DialogControls& d) {
      recorded.calls.push_back("start");
      d.EnableControl(control_id::kStartTracking, false);
      d.EnableControl(control_id::kStopTracking, true);
      d.EnableControl(control_id::kCaptureToFile, false);
      d.EnableControl(control_id::kExit, false);
      session.state.TrackingActive = 1;
    };
    hooks.stopTracking = [this](DialogControls& d) {
      recorded.calls.push_back(session.state.MainWindow.load() ? "stop" : "stop without canvas");
      d.EnableControl(control_id::kStartTracking, true);
      d.EnableControl(control_id::kStopTracking, false);
      d.EnableControl(control_id::kCaptureToFile, true);
      d.EnableControl(control_id::kExit, true);
      d.AddLogLine("EndTracking was successful");
      session.state.TrackingActive = 0;
    };
  }

  RecordedCommands recorded;
  DialogHooks hooks;
  std::unique_ptr<ScratchDirectory> cwd;
  std::unique_ptr<TrackerDialog> dialog;
  size_t mark = 0;
};

TEST_F(Commands, SetCaptureFileConfirmedNamesTheFile) {
  Open();
  prompts.QueueFileName(std::string("/videos/run1.avi"));
  Click(control_id::kSetCaptureFile);
  EXPECT_EQ(NewLines(), (Lines{"Capture file set to:", "/videos/run1.avi"}));
  EXPECT_EQ(session.state.CaptureFileName(), "/videos/run1.avi");
  EXPECT_EQ(CaptureLine(), "/videos/run1.avi");
  EXPECT_EQ(session.state.CaptureToFile.load(), 0);
  EXPECT_EQ(prompts.FileChooserCalls(), 1);
}

TEST_F(Commands, SetCaptureFileCancelledChangesNothing) {
  Open();
  prompts.QueueFileName(std::nullopt);
  Click(control_id::kSetCaptureFile);
  EXPECT_TRUE(NewLines().empty());
  EXPECT_EQ(session.state.CaptureFileName(), kNoCaptureFile);
  EXPECT_EQ(CaptureLine(), "No capture file selected");
  EXPECT_EQ(prompts.FileChooserCalls(), 1);
}

TEST_F(Commands, CaptureToFileAsksForAFileFirst) {
  Open();
  prompts.QueueFileName(std::string("/videos/first.avi"));
  Click(control_id::kCaptureToFile);
  EXPECT_EQ(NewLines(),
            (Lines{"Capture file set to:", "/videos/first.avi", "Capture to file is on"}));
  EXPECT_EQ(session.state.CaptureToFile.load(), 1);
  EXPECT_EQ(dialog->CheckState(control_id::kCaptureToFile), 1);
  EXPECT_EQ(CaptureLine(), "/videos/first.avi");
}

TEST_F(Commands, CaptureToFileCancelledStaysOffSilently) {
  Open();
  prompts.QueueFileName(std::nullopt);
  Click(control_id::kCaptureToFile);
  EXPECT_TRUE(NewLines().empty());
  EXPECT_EQ(session.state.CaptureToFile.load(), 0);
  EXPECT_EQ(dialog->CheckState(control_id::kCaptureToFile), 0);
  EXPECT_EQ(CaptureLine(), "No capture file selected");
}

TEST_F(Commands, CaptureToFileWithAFileChosenOnlySwitches) {
  Open();
  prompts.QueueFileName(std::string("/videos/a.avi"));
  Click(control_id::kSetCaptureFile);
  NewLines();
  Click(control_id::kCaptureToFile);
  EXPECT_EQ(NewLines(), Lines{"Capture to file is on"});
  EXPECT_EQ(session.state.CaptureToFile.load(), 1);
  Click(control_id::kCaptureToFile);
  EXPECT_EQ(NewLines(), Lines{"Capture to file is off"});
  EXPECT_EQ(session.state.CaptureToFile.load(), 0);
  Click(control_id::kCaptureToFile);
  EXPECT_EQ(NewLines(), Lines{"Capture to file is on"});
  EXPECT_EQ(prompts.FileChooserCalls(), 1);
}

TEST_F(Commands, UncheckingCaptureToFileNeverAsks) {
  Open();
  prompts.QueueFileName(std::string("/videos/b.avi"));
  Click(control_id::kCaptureToFile);
  NewLines();
  Click(control_id::kCaptureToFile);
  EXPECT_EQ(NewLines(), Lines{"Capture to file is off"});
  EXPECT_EQ(prompts.FileChooserCalls(), 1);
}

TEST_F(Commands, NewFileWhileRecordingIsOnChangesOnlyTheFile) {
  Open();
  prompts.QueueFileName(std::string("/videos/one.avi"));
  Click(control_id::kCaptureToFile);
  NewLines();
  prompts.QueueFileName(std::string("/videos/two.avi"));
  Click(control_id::kSetCaptureFile);
  EXPECT_EQ(NewLines(), (Lines{"Capture file set to:", "/videos/two.avi"}));
  EXPECT_EQ(session.state.CaptureFileName(), "/videos/two.avi");
  EXPECT_EQ(session.state.CaptureToFile.load(), 1);
  EXPECT_EQ(dialog->CheckState(control_id::kCaptureToFile), 1);
}

TEST_F(Commands, HelpOpensTheWelcomeTopicBesideTheProgram) {
  machine.SetProgramDirectory("/opt/pupiltrak");
  Open();
  Click(control_id::kHelp);
  EXPECT_EQ(prompts.HelpTopics(), Lines{"/opt/pupiltrak/pupiltrak08.chm::/Welcome.html"});
  EXPECT_TRUE(NewLines().empty());
  EXPECT_EQ(HelpTopicPath("/x/"), "/x/pupiltrak08.chm::/Welcome.html");
}

TEST_F(Commands, ButtonsReachTheirCommands) {
  Open();
  Click(control_id::kCameraPropertyPage);
  Click(control_id::kVideoFormatProperties);
  Click(control_id::kCalibrate);
  Click(control_id::kStartTracking);
  EXPECT_EQ(recorded.calls, (Lines{"page camera_pp", "page video_pp", "calibrate", "start"}));
}

TEST_F(Commands, StopTrackingButtonStopsTracking) {
  FakeTracking();
  Open();
  Click(control_id::kStartTracking);
  EXPECT_TRUE(dialog->Tracking());
  Click(control_id::kStopTracking);
  EXPECT_EQ(recorded.calls, (Lines{"start", "stop"}));
  EXPECT_FALSE(dialog->Tracking());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(Commands, EscapeWhileTrackingStopsTrackingBeforeTheDialogEnds) {
  FakeTracking();
  Open();
  Click(control_id::kStartTracking);
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(recorded.calls, (Lines{"start", "stop"}));
  EXPECT_EQ(NewLines(), Lines{"EndTracking was successful"});
  EXPECT_EQ(session.state.TrackingActive.load(), 0);
}

TEST_F(Commands, ClosingTheWindowWhileTrackingStopsTrackingFirst) {
  FakeTracking();
  Open();
  Click(control_id::kStartTracking);
  EXPECT_TRUE(dialog->close());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(recorded.calls, (Lines{"start", "stop"}));
}

TEST_F(Commands, EscapeWhenIdleEndsWithoutStopping) {
  FakeTracking();
  Open();
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(Commands, DestroyingTheDialogWhileTrackingStopsBeforeTheCanvasGoes) {
  FakeTracking();
  Open();
  Click(control_id::kStartTracking);
  dialog.reset();
  EXPECT_EQ(recorded.calls, (Lines{"start", "stop"}));
  EXPECT_EQ(session.state.MainWindow.load(), nullptr);
}

TEST_F(Commands, ExitIsDisabledWhileTracking) {
  FakeTracking();
  Open();
  Click(control_id::kStartTracking);
  Click(control_id::kExit);
  EXPECT_TRUE(dialog->isVisible());
}

// Runs `check` on the modal dialog that appears next, then closes it.
void OnNextModal(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    check(modal);
    if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
  });
}

TEST_F(Commands, AboutCommandShowsTheAboutBox) {
  Open();
  QString title;
  bool isAbout = false;
  OnNextModal([&](QWidget* w) {
    isAbout = dynamic_cast<AboutBox*>(w) != nullptr;
    if (w) title = w->windowTitle();
  });
  dialog->SystemCommand(kAboutCommand);
  EXPECT_TRUE(isAbout);
  EXPECT_EQ(title, "About PUPILTRAK_08");
  // The low four bits of a system command are the system's own.
  isAbout = false;
  OnNextModal([&](QWidget* w) { isAbout = dynamic_cast<AboutBox*>(w) != nullptr; });
  dialog->SystemCommand(kAboutCommand | 0x3);
  EXPECT_TRUE(isAbout);
  EXPECT_TRUE(NewLines().empty());
}

TEST_F(Commands, OtherSystemCommandsShowNothing) {
  Open();
  dialog->SystemCommand(0xF060);
  dialog->SystemCommand(0x0020);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Commands, DialogMenuCarriesTheAboutEntry) {
  Open();
  std::unique_ptr<QMenu> menu(dialog->CreateContextMenu(nullptr));
  auto actions = menu->actions();
  ASSERT_EQ(actions.size(), 8);
  EXPECT_EQ(actions[0]->text(), "&About PUPILTRAK_08...");
  EXPECT_EQ(actions[1]->text(), "Precise pupils");
  EXPECT_EQ(actions[2]->text(), "Robust tracking");
  EXPECT_EQ(actions[3]->text(), "Follow the face");
  EXPECT_EQ(actions[4]->text(), "Smallest face");
  EXPECT_EQ(actions[5]->text(), "Stream gaze");
  EXPECT_EQ(actions[6]->text(), "Use last calibration");
  EXPECT_FALSE(actions[6]->isChecked()) << "off at start";
  EXPECT_EQ(actions[7]->text(), "Settling");
  bool isAbout = false;
  OnNextModal([&](QWidget* w) { isAbout = dynamic_cast<AboutBox*>(w) != nullptr; });
  actions[0]->trigger();
  EXPECT_TRUE(isAbout);
}

// Without a protocol there is nothing to use: a "Bug: " line, and the item stays off. The whole
// way with a real calibration is the end-to-end test of the last calibration.
TEST_F(Commands, UseLastCalibrationWithoutAProtocolSaysSoAndStaysOff) {
  QTemporaryDir empty;
  machine.SetProgramDirectory(empty.path().toStdString() + "/");
  Open();
  std::unique_ptr<QMenu> menu(dialog->CreateContextMenu(nullptr));
  QAction* last = menu->actions().at(6);
  last->trigger();
  const Lines lines = NewLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Bug: Cannot use the last calibration: cannot read the protocol " +
                               empty.path().toStdString() + "/CalibrationProtocol.txt",
                           0),
            0u)
      << lines[0];
  EXPECT_FALSE(session.UsingMapping());
  std::unique_ptr<QMenu> again(dialog->CreateContextMenu(nullptr));
  EXPECT_FALSE(again->actions().at(6)->isChecked());
}

TEST_F(Commands, PrecisePupilsInTheMenuSwitchesTheFlagAndLogsIt) {
  Open();
  for (bool on : {true, false}) {
    // Every menu is made anew and shows the flag as it is.
    std::unique_ptr<QMenu> menu(dialog->CreateContextMenu(nullptr));
    QAction* precise = menu->actions().at(1);
    EXPECT_EQ(precise->text(), "Precise pupils");
    ASSERT_TRUE(precise->isCheckable());
    EXPECT_EQ(precise->isChecked(), !on);
    precise->trigger();
    EXPECT_EQ(session.state.PrecisePupils.load(), on ? 1 : 0);
    EXPECT_EQ(NewLines(), (Lines{on ? "Precise pupils is on" : "Precise pupils is off"}));
  }
}

// The face search's switches: each shows its flag as it is, switches it and logs it.
TEST_F(Commands, RobustTrackingAndFollowTheFaceInTheMenuSwitchTheirFlagsAndLogThem) {
  Open();
  struct Row {
    int action;
    const char* text;
    std::atomic<int>* flag;
    const char* on;
    const char* off;
  };
  const Row rows[] = {
      {2, "Robust tracking", &session.state.RobustTracking, "Robust tracking is on",
       "Robust tracking is off"},
      {3, "Follow the face", &session.state.FollowFace, "Follow the face is on",
       "Follow the face is off"},
  };
  for (const Row& row : rows) {
    for (bool on : {true, false}) {
      std::unique_ptr<QMenu> menu(dialog->CreateContextMenu(nullptr));
      QAction* item = menu->actions().at(row.action);
      EXPECT_EQ(item->text(), row.text);
      ASSERT_TRUE(item->isCheckable());
      EXPECT_EQ(item->isChecked(), !on) << row.text;
      item->trigger();
      EXPECT_EQ(row.flag->load(), on ? 1 : 0) << row.text;
      EXPECT_EQ(NewLines(), (Lines{on ? row.on : row.off}));
    }
  }
  EXPECT_EQ(session.state.PrecisePupils.load(), 0);
}

// "Smallest face" offers four sizes, one checked: the one in force (half the height at start).
TEST_F(Commands, SmallestFaceInTheMenuChoosesOneOfFourSizesAndLogsIt) {
  Open();
  const struct {
    const char* text;
    double share;
  } choices[] = {{"A quarter of the picture's height", 0.25},
                 {"A fifth of the picture's height", 0.2},
                 {"A third of the picture's height", 1.0 / 3},
                 {"Half the picture's height", 0.5}};
  std::string before = "Half the picture's height";
  for (const auto& choice : choices) {
    std::unique_ptr<QMenu> menu(dialog->CreateContextMenu(nullptr));
    QMenu* sizes = menu->actions().at(4)->menu();
    ASSERT_NE(sizes, nullptr);
    ASSERT_EQ(sizes->actions().size(), 4);
    QAction* chosen = nullptr;
    int checked = 0;
    for (QAction* item : sizes->actions()) {
      if (item->isChecked()) {
        ++checked;
        EXPECT_EQ(item->text().toStdString(), before);
      }
      if (item->text() == choice.text) chosen = item;
    }
    EXPECT_EQ(checked, 1);
    ASSERT_NE(chosen, nullptr) << choice.text;
    chosen->trigger();
    EXPECT_DOUBLE_EQ(session.state.SmallestFace.load(), choice.share);
    EXPECT_EQ(NewLines(), (Lines{std::string("Smallest face: ") + choice.text}));
    before = choice.text;
  }
}

// "Settling" offers none, 200 and 400 ms, none at start; a choice reaches the accuracy test
// and is logged.
TEST_F(Commands, SettlingInTheMenuChoosesATimeAndLogsIt) {
  Open();
  EXPECT_EQ(session.settleMs.load(), 0);
  std::string before = "None";
  for (const auto& [text, ms] :
       std::vector<std::pair<std::string, int>>{{"200 ms", 200}, {"400 ms", 400}, {"None", 0}}) {
    std::unique_ptr<QMenu> menu(dialog->CreateContextMenu(nullptr));
    QMenu* times = menu->actions().at(7)->menu();
    ASSERT_NE(times, nullptr);
    ASSERT_EQ(times->actions().size(), 3);
    QAction* chosen = nullptr;
    for (QAction* item : times->actions()) {
      if (item->isChecked()) {
        EXPECT_EQ(item->text().toStdString(), before);
      }
      if (item->text().toStdString() == text) chosen = item;
    }
    ASSERT_NE(chosen, nullptr) << text;
    chosen->trigger();
    EXPECT_EQ(session.settleMs.load(), ms);
    EXPECT_EQ(NewLines(), (Lines{"Settling: " + text}));
    before = text;
  }
}

}  // namespace
