// The tracker session's one reset: every record it owns back to what a fresh session holds.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "capture/TrackerSession.h"
#include "platform/DialogCanvas.h"
#include "platform/Machine.h"
#include "platform/TargetWindowHost.h"

using namespace pupiltrak;

namespace {

// One record of the session: how the test changes it and what of it the test compares.
struct Record {
  std::string name;
  std::function<void(TrackerSession&)> change;
  std::function<std::string(TrackerSession&)> print;
};

template <typename... T>
std::string Print(const T&... values) {
  std::ostringstream out;
  ((out << values << ' '), ...);
  return out.str();
}

class NowhereStream : public ProtocolStream {
 public:
  bool Write(const std::string&) override { return true; }
};

TEST(TrackerSessionTest, ResetBringsEveryRecordBackToProgramStart) {
  FixedMachine machine;
  machine.SetFullScreenSize(QSize(1024, 710));
  machine.SetScreenSize(QSize(1024, 768));
  SetMachine(&machine);
  DialogCanvas canvas(480, 490);

  const std::vector<Record> records = {
      {"state",
       [&](TrackerSession& s) {
         s.state.TrackingActive = 1;
         s.state.CalibrationActive = 1;
         s.state.CalibratedSinceStart = 1;
         s.state.Finder2Param1 = 7;
         s.state.FrameRate = 12.5;
         s.state.MainWindow = &canvas;
         s.state.SetCaptureFileName("/tmp/run.avi");
         s.state.SetSourceClientRect(IntRect{0, 0, 320, 240});
       },
       [](TrackerSession& s) {
         return Print(s.state.TrackingActive.load(), s.state.CalibrationActive.load(),
                      s.state.CalibratedSinceStart.load(), s.state.Finder2Param1.load(),
                      s.state.FrameRate.load(), s.state.MainWindow.load(),
                      s.state.CaptureFileName(), s.state.SourceClientRect().width());
       }},
      {"frame results",
       [](TrackerSession& s) {
         s.results.faceFound = s.results.pupilFound[1] = s.results.gazeFound = true;
         s.results.dxL = 3;
         s.results.detectionText = "Detection Time = 9 ms";
       },
       [](TrackerSession& s) {
         return Print(s.results.faceFound, s.results.pupilFound[1], s.results.gazeFound,
                      s.results.dxL, s.results.detectionText);
       }},
      {"eye regions", [](TrackerSession& s) { s.eyeRegions.Compute(10, 10, 60, 60, 2.0); },
       [](TrackerSession& s) {
         return Print(s.eyeRegions.corners1[0], s.eyeRegions.corners1[2], s.eyeRegions.corners2[3]);
       }},
      {"point histories",
       [](TrackerSession& s) {
         int x = 0, y = 0;
         s.histories[0].Filter(4, 5, &x, &y);
         s.histories[1].Filter(6, 7, &x, &y);
       },
       [](TrackerSession& s) {
         return Print(s.histories[0].count, s.histories[0].mean[0], s.histories[1].count);
       }},
      {"calibration samples",
       [](TrackerSession& s) {
         s.samples.StartRun(1024, 710);
         s.AppendCalibrationSample(1, 2, 3, 4);
       },
       [](TrackerSession& s) {
         const CalibrationData d = s.samples.Snapshot();
         return Print(s.samples.Width(), d.CollectingSamples, d.H, d.targets[0].x,
                      d.targets[0].dxL[0]);
       }},
      {"panel memory",
       [](TrackerSession& s) {
         s.panelMemory.LastShownTarget = 4;
         s.panelMemory.WasCollecting = true;
       },
       [](TrackerSession& s) {
         return Print(s.panelMemory.LastShownTarget, s.panelMemory.WasCollecting);
       }},
      {"gaze mapping", [](TrackerSession& s) { s.mapping.Set(GazeMapping::Identity()); },
       [](TrackerSession& s) {
         const GazeMapping m = s.mapping.Get();
         return Print(m.GazeRX.a, m.GazeLY.b);
       }},
      {"protocol",
       [](TrackerSession& s) {
         s.protocol.Write("dropped\r\n");
         s.protocol.SetOpener([](const std::string&, std::string*) {
           return std::unique_ptr<ProtocolStream>(new NowhereStream);
         });
         s.protocol.Open("nowhere");
       },
       [](TrackerSession& s) {
         return Print(s.protocol.IsOpen(), s.protocol.Dropped(), s.protocol.FailedWrites());
       }},
      {"accuracy targets",
       [](TrackerSession& s) {
         s.targets.Reset(7, QSize(1024, 768));
         s.targets.Next(50);
       },
       [](TrackerSession& s) {
         const AccuracyTarget t = s.targets.Current();
         return Print(t.x, t.y, t.isNew);
       }},
      {"gaze smoother",
       [](TrackerSession& s) {
         s.smoother.Reset(QSize(1024, 710));
         s.smoother.AddPoint(300, 200);
       },
       [](TrackerSession& s) {
         const ScreenPoint p = s.smoother.Smoothed();
         return Print(p.x, p.y);
       }},
      {"accuracy sums", [](TrackerSession& s) { s.accuracy.Add(25); },
       [](TrackerSession& s) { return Print(s.accuracy.Sums().count); }},
      {"gaze charts",
       [&](TrackerSession& s) {
         s.charts.Create(canvas, QSize(1024, 710));
         s.charts.x.AddValue(canvas, 100, false);
       },
       [](TrackerSession& s) {
         std::lock_guard<std::mutex> lock(s.charts.lastRow.mutex);
         return Print(s.charts.x.Created(), s.charts.y.Created(), s.charts.lastRow.row.has_value());
       }},
      {"gaze stream",
       [](TrackerSession& s) {
         std::string error;
         EXPECT_TRUE(s.stream.SwitchOn("inproc://session-reset-test", &error)) << error;
         s.stream.SetDialogEndpoint("tcp://127.0.0.1:5999");
       },
       [](TrackerSession& s) { return Print(s.stream.On(), s.stream.DialogEndpoint()); }},
      {"frame callback",
       [](TrackerSession& s) {
         s.callback.PreviousFrameTicks = 5;
         s.callback.framesProcessed = 9;
         s.callback.frameCopyBuffer = cv::Mat(4, 4, CV_8UC3);
       },
       [](TrackerSession& s) {
         return Print(s.callback.PreviousFrameTicks, s.callback.framesProcessed,
                      s.callback.frameCopyBuffer.empty());
       }},
  };

  TrackerSession fresh, used;
  for (const Record& r : records) r.change(used);
  for (const Record& r : records)
    EXPECT_NE(r.print(used), r.print(fresh)) << r.name << ": the change did not take";
  used.Reset();
  for (const Record& r : records) EXPECT_EQ(r.print(used), r.print(fresh)) << r.name;

  // The protocol opens real files again.
  QTemporaryDir dir;
  const std::string path = dir.filePath("protocol.txt").toStdString();
  ASSERT_TRUE(used.protocol.Open(path));
  used.protocol.Close("");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));

  // Its target windows leave the screen.
  HeadlessTargetWindows host;
  host.RegisterClass(QImage(16, 16, QImage::Format_RGB32));
  SetTargetWindows(&host);
  used.targetWindows.CreateCalibration(3, 500, 300);
  used.targetWindows.CreateAccuracy(200, 100);
  EXPECT_EQ(host.Existing().size(), 2u);
  used.Reset();
  EXPECT_TRUE(host.Existing().empty());
  SetTargetWindows(nullptr);
  SetMachine(nullptr);
}

}  // namespace
