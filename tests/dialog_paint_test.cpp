// Painting the dialog: the canvas the frame thread draws into reaches the screen through
// queued repaints, and only a real expose makes the strip charts repair themselves.
#include <QExposeEvent>
#include <QPaintEvent>
#include <QPainter>
#include <thread>

#include "dialog_support.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

// Records the regions of the dialog's own paint events.
class PaintSpy : public QObject {
 public:
  std::vector<QRegion> regions;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      regions.push_back(static_cast<QPaintEvent*>(event)->region());
    return false;
  }
};

class DialogPaint : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    cwd = std::make_unique<ScratchDirectory>(Cascade::Present);
  }
  void Open() {
    dialog = std::make_unique<TrackerDialog>(session, recorded.Hooks());
    ShowAndSettle(*dialog);
    dialog->installEventFilter(&spy);
    recorded.chartPaints.clear();
  }
  void TearDown() override {
    dialog.reset();
    cwd.reset();
    DialogTest::TearDown();
  }

  RecordedCommands recorded;
  PaintSpy spy;
  std::unique_ptr<ScratchDirectory> cwd;
  std::unique_ptr<TrackerDialog> dialog;
};

// Repair requests that reach the charts' area (12, 310)-(468, 475), edges included.
int ChartAreaPaints(const RecordedCommands& recorded) {
  int n = 0;
  for (const IntRect& r : recorded.chartPaints)
    if (!(r.left > 468 || r.right < 12 || r.top > 475 || r.bottom < 310)) ++n;
  return n;
}

QImage Filled(int w, int h, QColor c) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(c);
  return image;
}

TEST_F(DialogPaint, FrameThreadDrawingIsRepaintedWithoutRepairingTheCharts) {
  Open();
  const QRect panel(12, 869 / 5, 160, 120);
  std::thread frameThread([&] {
    DialogCanvas* canvas = session.state.MainWindow.load();
    ASSERT_NE(canvas, nullptr);
    canvas->Blit(panel.x(), panel.y(), Filled(panel.width(), panel.height(), Qt::red));
  });
  frameThread.join();
  EXPECT_TRUE(spy.regions.empty());  // nothing is painted on the frame thread
  Settle();
  ASSERT_FALSE(spy.regions.empty());
  QRegion painted;
  for (const QRegion& r : spy.regions) painted += r;
  EXPECT_TRUE(painted.contains(panel));
  EXPECT_TRUE(recorded.chartPaints.empty());
}

TEST_F(DialogPaint, ARealExposeRepairsBothChartsWithinItsBounds) {
  Open();
  dialog->repaint(QRect(0, 300, 100, 50));
  ASSERT_EQ(recorded.chartPaints.size(), 1u);
  EXPECT_EQ(recorded.chartPaints[0], (IntRect{0, 300, 100, 350}));
  recorded.chartPaints.clear();
  dialog->repaint();
  ASSERT_EQ(recorded.chartPaints.size(), 1u);
  EXPECT_EQ(recorded.chartPaints[0], (IntRect{0, 0, 480, 869}));
}

TEST_F(DialogPaint, ExposeAlongsideACanvasUpdateRepairsOnlyTheExposedPart) {
  Open();
  dialog->Canvas().Blit(12, 310, Filled(456, 80, Qt::white));
  QCoreApplication::sendPostedEvents(dialog.get(), QEvent::MetaCall);
  // The canvas update is pending; a real expose of the top band comes with it.
  dialog->update(QRect(0, 0, 480, 100));
  Settle();
  ASSERT_EQ(recorded.chartPaints.size(), 1u);
  EXPECT_EQ(recorded.chartPaints[0], (IntRect{0, 0, 480, 100}));
}

// What the window system sends when part of the window is uncovered or the window restored.
void Expose(QWidget& w, const QRegion& region) {
  QExposeEvent expose(region);
  QCoreApplication::sendEvent(w.windowHandle(), &expose);
  Settle();
}

TEST_F(DialogPaint, RestoringTheWindowRedrawsTheSlidersAndRepairsTheCharts) {
  Open();
  const size_t mark = dialog->Log().Lines().size();
  Expose(*dialog, QRegion());  // minimised: no longer exposed
  Expose(*dialog, QRegion(0, 0, 480, 869));
  EXPECT_EQ(LinesFrom(*dialog, mark),
            (std::vector<std::string>{"Finder1Param1 = 1", "Finder1Param2 = 1",
                                      "Finder2Param1 = 60", "Finder2Param2 = 30"}));
  // The new log lines may make the log repaint its own corner afterwards; only the
  // exposure reaches the charts.
  ASSERT_FALSE(recorded.chartPaints.empty());
  EXPECT_EQ(recorded.chartPaints[0], (IntRect{0, 0, 480, 869}));
  EXPECT_EQ(ChartAreaPaints(recorded), 1);
}

TEST_F(DialogPaint, AWindowComingBackPartlyRepaintsOnlyThatPart) {
  Open();
  const size_t mark = dialog->Log().Lines().size();
  Expose(*dialog, QRegion());
  Expose(*dialog, QRegion(0, 300, 480, 100));
  EXPECT_TRUE(LinesFrom(*dialog, mark).empty());
  ASSERT_EQ(recorded.chartPaints.size(), 1u);
  EXPECT_EQ(recorded.chartPaints[0], (IntRect{0, 300, 480, 400}));
}

TEST_F(DialogPaint, RepeatedExposuresOfAVisibleWindowAreOnlyFlushed) {
  // The window system repeats exposures (at the first showing, for instance); the sliders
  // must not log again for each.
  Open();
  const size_t mark = dialog->Log().Lines().size();
  Expose(*dialog, QRegion(0, 0, 480, 869));
  Expose(*dialog, QRegion(dialog->Control(control_id::kFinder2Param1)->geometry()));
  EXPECT_TRUE(LinesFrom(*dialog, mark).empty());
  EXPECT_EQ(ChartAreaPaints(recorded), 0);
}

TEST_F(DialogPaint, ShownAgainAfterHidingDrawsEverySliderOnce) {
  Open();
  const size_t mark = dialog->Log().Lines().size();
  dialog->hide();
  Settle();
  ShowAndSettle(*dialog);
  EXPECT_EQ(LinesFrom(*dialog, mark),
            (std::vector<std::string>{"Finder1Param1 = 1", "Finder1Param2 = 1",
                                      "Finder2Param1 = 60", "Finder2Param2 = 30"}));
}

TEST_F(DialogPaint, CanvasPixelsAppearOnTheDialog) {
  Open();
  std::thread frameThread(
      [&] { session.state.MainWindow.load()->Blit(12, 173, Filled(160, 120, QColor(0, 0, 255))); });
  frameThread.join();
  Settle();
  const QImage shot = dialog->grab(QRect(0, 150, 200, 160)).toImage();
  EXPECT_EQ(QColor(shot.pixel(12 + 80, 173 - 150 + 60)), QColor(0, 0, 255));
  EXPECT_EQ(QColor(shot.pixel(5, 5)), dialog->palette().color(QPalette::Window));
}

TEST_F(DialogPaint, CanvasUpdatesAfterTheDialogIsGoneAreHarmless) {
  Open();
  DialogCanvas* canvas = &dialog->Canvas();
  canvas->Blit(0, 0, Filled(4, 4, Qt::green));  // queues a repaint
  dialog.reset();
  Settle();
  EXPECT_EQ(session.state.MainWindow.load(), nullptr);
}

}  // namespace
