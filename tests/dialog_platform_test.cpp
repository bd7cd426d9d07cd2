// The Qt side of the platform layer: help pages and their window, the named image windows,
// the machine facts and the prompts.
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <atomic>
#include <thread>

#include "dialog_support.h"
#include "platform/qt/HelpWindow.h"
#include "platform/qt/QtMachine.h"
#include "platform/qt/QtNamedWindows.h"
#include "platform/qt/QtPrompts.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

const std::string kBinaryDir = PUPILTRAK_BINARY_DIR;

TEST(HelpPages, TopicPathMapsToThePageBesideTheProgram) {
  EXPECT_EQ(HelpPageFile("/opt/pt/pupiltrak08.chm::/Welcome.html"), "/opt/pt/help/Welcome.html");
  EXPECT_EQ(HelpPageFile("/opt/pt/pupiltrak08.chm::/Sliders.html"), "/opt/pt/help/Sliders.html");
  EXPECT_EQ(HelpPageFile("pupiltrak08.chm::/Welcome.html"), "help/Welcome.html");
  EXPECT_EQ(HelpPageFile("/opt/pt/help/Welcome.html"), "/opt/pt/help/Welcome.html");
}

TEST(HelpPages, WelcomeTopicOfTheBuildShowsInTheHelpWindow) {
  HelpWindow help;
  help.ShowTopic(kBinaryDir + "/pupiltrak08.chm::/Welcome.html");
  EXPECT_TRUE(help.isVisible());
  EXPECT_FALSE(help.Browser().ShowingMissingPage());
  EXPECT_TRUE(help.Browser().CurrentFile().endsWith("/help/Welcome.html"));
  EXPECT_TRUE(help.Browser().toPlainText().contains("PUPILTRAK_08"));
}

TEST(HelpPages, MissingPageShowsANoticeInsteadOfNothing) {
  HelpWindow help;
  help.ShowTopic("/nonexistent/dir/pupiltrak08.chm::/Welcome.html");
  EXPECT_TRUE(help.Browser().ShowingMissingPage());
  EXPECT_TRUE(help.Browser().toPlainText().contains("Help page not found"));
  EXPECT_TRUE(help.Browser().toPlainText().contains("/nonexistent/dir/help/Welcome.html"));
  // A good topic afterwards shows normally.
  help.ShowTopic(kBinaryDir + "/pupiltrak08.chm::/Welcome.html");
  EXPECT_FALSE(help.Browser().ShowingMissingPage());
}

TEST(HelpPages, EveryLinkBetweenPagesLeadsToAPage) {
  QDir dir(QString::fromStdString(kBinaryDir + "/help"));
  const QStringList pages = dir.entryList({"*.html"}, QDir::Files);
  ASSERT_GE(pages.size(), 4);
  EXPECT_TRUE(pages.contains("Welcome.html"));
  const QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)(#[^\"]*)?\""));
  int links = 0;
  for (const QString& page : pages) {
    HelpWindow help;
    help.ShowTopic(dir.filePath(page).toStdString());
    ASSERT_FALSE(help.Browser().ShowingMissingPage()) << page.toStdString();
    QFile f(dir.filePath(page));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    for (auto it = href.globalMatch(html); it.hasNext();) {
      const QString target = it.next().captured(1);
      ++links;
      EXPECT_TRUE(dir.exists(target)) << page.toStdString() << " -> " << target.toStdString();
    }
  }
  EXPECT_GE(links, 5);
}

TEST(HelpPages, FollowingALinkStaysInTheHelp) {
  HelpWindow help;
  help.ShowTopic(kBinaryDir + "/pupiltrak08.chm::/Welcome.html");
  help.Browser().setSource(QUrl(QStringLiteral("Sliders.html")));
  EXPECT_FALSE(help.Browser().ShowingMissingPage());
  EXPECT_TRUE(help.Browser().CurrentFile().endsWith("/help/Sliders.html"));
  help.Browser().backward();
  EXPECT_TRUE(help.Browser().source().toString().endsWith("Welcome.html"));
}

cv::Mat Bgr(int w, int h, cv::Scalar colour) { return cv::Mat(h, w, CV_8UC3, colour); }

TEST(ImageConversion, KeepsTheBlueGreenRedOrder) {
  QImage red = MatToQImage(Bgr(4, 3, cv::Scalar(0, 0, 255)));
  ASSERT_FALSE(red.isNull());
  EXPECT_EQ(red.size(), QSize(4, 3));
  EXPECT_EQ(QColor(red.pixel(1, 1)), QColor(255, 0, 0));
  QImage grey = MatToQImage(cv::Mat(2, 2, CV_8UC1, cv::Scalar(77)));
  EXPECT_EQ(QColor(grey.pixel(0, 0)), QColor(77, 77, 77));
  EXPECT_TRUE(MatToQImage(cv::Mat()).isNull());
  EXPECT_TRUE(MatToQImage(cv::Mat(2, 2, CV_16UC1)).isNull());
  // A region of interest (rows with gaps) converts as its own pixels.
  cv::Mat big = Bgr(10, 10, cv::Scalar(255, 0, 0));
  big(cv::Rect(2, 2, 3, 3)).setTo(cv::Scalar(0, 255, 0));
  QImage roi = MatToQImage(big(cv::Rect(2, 2, 3, 3)));
  EXPECT_EQ(QColor(roi.pixel(2, 2)), QColor(0, 255, 0));
}

TEST(NamedWindowsOnQt, WindowsSizeThemselvesToTheLatestImage) {
  QtNamedWindows windows;
  ASSERT_TRUE(windows.Create("Source", 1));
  ASSERT_TRUE(windows.Create("Preview", 1));
  uintptr_t source = windows.NativeHandle("Source");
  EXPECT_NE(source, 0u);
  EXPECT_NE(source, windows.NativeHandle("Preview"));
  EXPECT_EQ(windows.NativeHandle("Other"), 0u);
  IntRect rect;
  ASSERT_TRUE(windows.ClientRect(source, &rect));
  EXPECT_EQ(rect, (IntRect{0, 0, 320, 240}));
  EXPECT_FALSE(windows.ClientRect(0, &rect));
  EXPECT_FALSE(windows.ClientRect(999, &rect));

  windows.ShowInHandle(source, Bgr(640, 480, cv::Scalar(0, 0, 255)));
  Settle();
  ImageWindow* w = windows.Window("Source");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->size(), QSize(640, 480));
  ASSERT_TRUE(windows.ClientRect(source, &rect));
  EXPECT_EQ(rect, (IntRect{0, 0, 640, 480}));
  EXPECT_EQ(windows.Window("Preview")->size(), QSize(320, 240));
  EXPECT_EQ(QColor(w->grab().toImage().pixel(10, 10)), QColor(255, 0, 0));
}

TEST(NamedWindowsOnQt, FramesFromAnotherThreadNeverPileUp) {
  QtNamedWindows windows;
  ASSERT_TRUE(windows.Create("Preview", 1));
  Settle();
  ImageWindow* w = windows.Window("Preview");
  const int before = w->Repaints();
  std::thread frameThread([&] {
    for (int i = 0; i < 200; ++i) windows.Show("Preview", Bgr(320, 240, cv::Scalar(i, 0, 0)));
  });
  frameThread.join();
  Settle();
  // Many frames, few repaints, and the last frame is the one shown.
  EXPECT_LE(w->Repaints() - before, 3);
  EXPECT_EQ(QColor(w->grab().toImage().pixel(5, 5)), QColor(0, 0, 199));
}

TEST(NamedWindowsOnQt, DestroyWithARepaintQueuedIsSafe) {
  QtNamedWindows windows;
  ASSERT_TRUE(windows.Create("Source", 1));
  windows.Show("Source", Bgr(100, 100, cv::Scalar(1, 2, 3)));
  windows.Destroy("Source");
  Settle();
  EXPECT_EQ(windows.NativeHandle("Source"), 0u);
  EXPECT_EQ(windows.Window("Source"), nullptr);
  windows.Show("Source", Bgr(10, 10, cv::Scalar()));  // no window: nothing happens
  windows.Destroy("Source");
  // Created again, it is a fresh window.
  ASSERT_TRUE(windows.Create("Source", 1));
  EXPECT_NE(windows.NativeHandle("Source"), 0u);
}

TEST(NamedWindowsOnQt, ShowsWhileTheGuiThreadDestroysStayOrderly) {
  QtNamedWindows windows;
  std::atomic<bool> run{true};
  std::thread frameThread([&] {
    cv::Mat frame = Bgr(64, 48, cv::Scalar(9, 9, 9));
    while (run) windows.Show("Preview", frame);
  });
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(windows.Create("Preview", 1));
    QCoreApplication::processEvents();
    windows.Destroy("Preview");
    QCoreApplication::processEvents();
  }
  run = false;
  frameThread.join();
  Settle();
  EXPECT_EQ(windows.Window("Preview"), nullptr);
}

TEST(MachineOnQt, ScreenFactsComeFromThePrimaryScreen) {
  QtMachine machine;
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(machine.FullScreenSize(), screen->availableGeometry().size());
  EXPECT_EQ(machine.ScreenSize(), screen->geometry().size());
  EXPECT_DOUBLE_EQ(machine.TickFrequency(), 1e9);
  const int64_t a = machine.TickCount();
  const int64_t b = machine.TickCount();
  EXPECT_LE(a, b);
}

TEST(MachineOnQt, ProgramDirectoryIsTheProgramsWhateverTheCurrentDirectory) {
  ScratchDirectory cwd(Cascade::Missing);
  QtMachine machine;
  EXPECT_EQ(machine.ProgramDirectory(), ExecutableDirectory());
  EXPECT_EQ(machine.ProgramDirectory().back(), '/');
  EXPECT_NE(machine.ProgramDirectory(), cwd.Path().toStdString() + "/");
}

// A beep from the frame thread must not wait for the GUI thread: joining it here, before the
// GUI thread runs its events, would hang otherwise.
TEST(MachineOnQt, BeepFromAnyThreadReturnsAtOnce) {
  QtMachine machine;
  std::thread t([&] { machine.Beep(); });
  t.join();
  machine.Beep();
  Settle();
}

// Runs `act` on the modal dialog that appears next.
void OnNextModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] { act(QApplication::activeModalWidget()); });
}

TEST(PromptsOnQt, SaveChooserAsksForAnAviAndConfirmsOverwriting) {
  ScratchDirectory cwd(Cascade::Missing);
  QtPrompts prompts;
  bool checked = false;
  OnNextModal([&](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(chooser->defaultSuffix(), "avi");
    EXPECT_FALSE(chooser->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(chooser->nameFilters().join(";").contains("*.avi"));
    EXPECT_EQ(QDir(chooser->directory()).canonicalPath(), QDir(cwd.Path()).canonicalPath());
    checked = true;
    chooser->selectFile("session");
    static_cast<QDialog*>(chooser)->accept();
  });
  auto path = prompts.SaveFileName("avi", "*.avi");
  EXPECT_TRUE(checked);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, QDir(cwd.Path()).absoluteFilePath("session.avi").toStdString());
}

TEST(PromptsOnQt, SaveChooserCancelledGivesNothing) {
  QtPrompts prompts;
  OnNextModal([](QWidget* w) {
    if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
  });
  EXPECT_FALSE(prompts.SaveFileName("avi", "*.avi"));
}

TEST(PromptsOnQt, CodecChooserOffersTheCodecsAndReturnsTheChosenOne) {
  QtPrompts prompts;
  const std::vector<VideoCodec> offered{
      {0x47504A4D, "MJPG"}, {0x31564646, "FFV1"}, {0, "Full Frames"}};
  QStringList shown;
  OnNextModal([&](QWidget* w) {
    auto* chooser = dynamic_cast<CodecChooser*>(w);
    ASSERT_NE(chooser, nullptr);
    for (int i = 0; i < chooser->List().count(); ++i) shown << chooser->List().item(i)->text();
    chooser->List().setCurrentRow(1);
    chooser->accept();
  });
  auto codec = prompts.ChooseCodec(offered);
  EXPECT_EQ(shown, (QStringList{"MJPG", "FFV1", "Full Frames"}));
  ASSERT_TRUE(codec);
  EXPECT_EQ(codec->name, "FFV1");
  EXPECT_EQ(codec->fourcc, 0x31564646);

  OnNextModal([](QWidget* w) {
    if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
  });
  EXPECT_FALSE(prompts.ChooseCodec(offered));
}

TEST(PromptsOnQt, CodecChooserOffTheGuiThreadCancelsWithoutWaiting) {
  QtPrompts prompts;
  std::optional<VideoCodec> answer{VideoCodec{1, "x"}};
  std::thread t([&] { answer = prompts.ChooseCodec({{0, "Full Frames"}}); });
  t.join();
  EXPECT_FALSE(answer);
}

TEST(PromptsOnQt, MessageFromTheFrameThreadAppearsLaterWithoutBlocking) {
  QtPrompts prompts;
  std::thread t([&] { prompts.MessageBox("Calibration needs tracking"); });
  t.join();  // returned without anyone answering the box
  Settle();
  QMessageBox* shown = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) shown = box;
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->text(), "Calibration needs tracking");
  EXPECT_EQ(shown->windowTitle(), "PUPILTRAK_08");
  shown->close();
  Settle();
}

TEST(PromptsOnQt, MessageOnTheGuiThreadIsModal) {
  QtPrompts prompts;
  QString text;
  OnNextModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    text = box->text();
    box->accept();
  });
  prompts.MessageBox("Start tracking first");
  EXPECT_EQ(text, "Start tracking first");
}

TEST(PromptsOnQt, HelpOpensOneWindowForEveryTopic) {
  QtPrompts prompts;
  prompts.ShowHelp(kBinaryDir + "/pupiltrak08.chm::/Welcome.html");
  ASSERT_NE(prompts.Help(), nullptr);
  HelpWindow* first = prompts.Help();
  EXPECT_TRUE(first->isVisible());
  prompts.ShowHelp(kBinaryDir + "/pupiltrak08.chm::/Welcome.html");
  EXPECT_EQ(prompts.Help(), first);
  std::thread t([&] { prompts.ShowHelp("/nowhere/pupiltrak08.chm::/Welcome.html"); });
  t.join();
  Settle();
  EXPECT_TRUE(prompts.Help()->Browser().ShowingMissingPage());
}

}  // namespace

// The frame thread asks for the screen sizes (calibration targets, the gaze stretch); screen
// objects belong to the GUI thread, so the answer there comes from copies.
TEST(QtMachineTest, ScreenSizesAskedFromAnotherThreadAreTheGuiThreads) {
  QtMachine machine;
  QSize full = machine.FullScreenSize();
  QSize whole = machine.ScreenSize();
  QSize fullThere, wholeThere;
  std::thread frameThread([&] {
    fullThere = machine.FullScreenSize();
    wholeThere = machine.ScreenSize();
  });
  frameThread.join();
  EXPECT_FALSE(full.isEmpty());
  EXPECT_EQ(fullThere, full);
  EXPECT_EQ(wholeThere, whole);
}
