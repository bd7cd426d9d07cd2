// The tracker session's one reset: every record it owns goes back to what a fresh session
// holds, so the tools and tests that reuse a session start where the program starts.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "capture/TrackerSession.h"
#include "platform/DialogCanvas.h"

using namespace pupiltrak;

namespace {

// Prints what it is given, separated by spaces, for comparing records as text.
template <typename... T>
std::string Text(const T&... values) {
  std::ostringstream out;
  ((out << values << ' '), ...);
  return out.str();
}

class AcceptingStream : public ProtocolStream {
 public:
  bool Write(const std::string&) override { return true; }
};

// One record: how a run leaves it changed, and what shows it. `look` may use the record up.
struct SessionRecord {
  const char* name;
  std::function<void(TrackerSession&)> change;
  std::function<std::string(TrackerSession&)> look;
};

std::vector<SessionRecord> Records(DialogCanvas& canvas) {
  return {
      {"state",
       [&canvas](TrackerSession& s) {
         TrackerState& t = s.state;
         for (std::atomic<int>* flag :
              {&t.TrackingActive, &t.CaptureToFile, &t.SearchEyeRegions, &t.EstimateGazeDirection,
               &t.EqualizeHist1, &t.EqualizeHist2, &t.Finder1Param1, &t.Finder1Param2,
               &t.Finder2Param1, &t.Finder2Param2, &t.CalibrationActive, &t.CalibratedSinceStart,
               &t.PrecisePupils})
           *flag = flag->load() + 7;
         t.FrameRate = 29.5;
         t.FaceCascade = std::make_shared<cv::CascadeClassifier>();
         t.CaptureWriter = std::make_unique<cv::VideoWriter>();
         t.Font = kOverlayFont;
         t.MainWindow = &canvas;
         t.SetCaptureFileName("/videos/run.avi");
         t.SetSourceClientRect(IntRect{0, 0, 640, 480});
       },
       [](TrackerSession& s) {
         const TrackerState& t = s.state;
         const IntRect r = t.SourceClientRect();
         return Text(t.TrackingActive, t.CaptureToFile, t.SearchEyeRegions, t.EstimateGazeDirection,
                     t.EqualizeHist1, t.EqualizeHist2, t.Finder1Param1, t.Finder1Param2,
                     t.Finder2Param1, t.Finder2Param2, t.CalibrationActive, t.CalibratedSinceStart,
                     t.PrecisePupils, t.FrameRate.load(), bool(t.FaceCascade),
                     bool(t.CaptureWriter), t.Font.face, t.Font.hscale, t.Font.vscale, t.Font.shear,
                     t.Font.thickness, t.Font.lineType, t.MainWindow.load(), t.CaptureFileName(),
                     r.left, r.top, r.right, r.bottom);
       }},
      {"results",
       [](TrackerSession& s) {
         s.results.faceFound = true;
         s.results.pupilFound[1] = true;
         s.results.dxR = 3.5;
         s.results.detectionText = "Detection Time = 12 ms";
         s.results.gazeFound = true;
         s.results.gazeX = 800;
       },
       [](TrackerSession& s) {
         const FrameResults& r = s.results;
         return Text(r.faceFound, r.pupilFound[1], r.dxR, r.detectionText, r.gazeFound, r.gazeX);
       }},
      {"eye regions", [](TrackerSession& s) { s.eyeRegions.Compute(10, 10, 110, 110, 2.0); },
       [](TrackerSession& s) {
         const EyeRegions& e = s.eyeRegions;
         return Text(e.corners1[0], e.corners2[2], e.rect1[2], e.scaledRect2[3]);
       }},
      {"point histories",
       [](TrackerSession& s) {
         int x = 0, y = 0;
         for (PointHistory& h : s.histories)
           for (int i = 0; i < 12; ++i) h.Filter(40 + i, 30, &x, &y);
       },
       [](TrackerSession& s) {
         return Text(s.histories[0].count, s.histories[0].mean[0], s.histories[1].count,
                     s.histories[1].entries[9][0]);
       }},
      {"calibration samples", [](TrackerSession& s) { s.samples.StartRun(1920, 1080); },
       [](TrackerSession& s) {
         const CalibrationData d = s.samples.Snapshot();
         return Text(d.CollectingSamples, d.CurrentTarget, d.W, d.H, d.targets[4].x,
                     s.samples.Width());
       }},
      {"panel memory",
       [](TrackerSession& s) {
         s.panelMemory.LastShownTarget = 3;
         s.panelMemory.WasCollecting = true;
       },
       [](TrackerSession& s) {
         return Text(s.panelMemory.LastShownTarget, s.panelMemory.WasCollecting);
       }},
      {"mapping", [](TrackerSession& s) { s.mapping.Set(GazeMapping::Identity()); },
       [](TrackerSession& s) {
         const GazeMapping m = s.mapping.Get();
         return Text(m.GazeRX.a, m.GazeRY.b, m.GazeLX.a, m.GazeLY.b, m.GazeLY.c);
       }},
      {"protocol",
       [](TrackerSession& s) {
         s.protocol.Write("dropped while closed\n");
         s.protocol.SetOpener(
             [](const std::string&, std::string*) { return std::make_unique<AcceptingStream>(); });
       },
       [](TrackerSession& s) {
         // Only the real file opener fails on a folder that does not exist.
         const bool opened = s.protocol.Open("/nonexistent-pupiltrak-dir/protocol.txt");
         return Text(s.protocol.Dropped(), s.protocol.FailedWrites(), opened);
       }},
      {"accuracy targets",
       [](TrackerSession& s) {
         s.targets.Reset(11, QSize(1920, 1080));
         s.targets.Next(1);
       },
       [](TrackerSession& s) {
         // A tracking start keeps the previous target, which steers the next one.
         const AccuracyTarget before = s.targets.Current();
         s.targets.Reset(7, QSize(1920, 1080));
         const AccuracyTarget next = s.targets.Next(1);
         return Text(before.x, before.y, next.x, next.y);
       }},
      {"smoother",
       [](TrackerSession& s) {
         s.smoother.Reset(QSize(1920, 1080));
         s.smoother.AddPoint(600, 400);
       },
       [](TrackerSession& s) {
         const ScreenPoint p = s.smoother.Smoothed();
         return Text(p.x, p.y);
       }},
      {"accuracy sums", [](TrackerSession& s) { s.accuracy.Add(25.0); },
       [](TrackerSession& s) {
         const AccuracySums sums = s.accuracy.Sums();
         return Text(sums.sum, sums.count);
       }},
      {"charts",
       [&canvas](TrackerSession& s) {
         s.charts.Create(canvas, QSize(1920, 1080));
         s.charts.x.AddValue(canvas, 500, false);
       },
       [](TrackerSession& s) {
         std::lock_guard<std::mutex> lock(s.charts.lastRow.mutex);
         return Text(s.charts.x.Created(), s.charts.y.Created(), s.charts.x.Label(),
                     s.charts.y.Rect().bottom, s.charts.lastRow.row.has_value());
       }},
      {"gaze stream",
       [](TrackerSession& s) {
         std::string error;
         ASSERT_TRUE(s.stream.SwitchOn("inproc://pupiltrak-session-reset", &error)) << error;
       },
       [](TrackerSession& s) { return Text(s.stream.On()); }},
      {"frame callback",
       [](TrackerSession& s) {
         s.callback.PreviousFrameTicks = 123456.0;
         s.callback.frameCopyBuffer = cv::Mat(48, 64, CV_8UC3);
         s.callback.framesProcessed = 9;
       },
       [](TrackerSession& s) {
         return Text(s.callback.PreviousFrameTicks, s.callback.frameCopyBuffer.total(),
                     s.callback.framesProcessed);
       }},
  };
}

TEST(TrackerSessionTest, ResetBringsEveryRecordBackToWhatAFreshSessionHolds) {
  DialogCanvas canvas(480, 869);
  const std::vector<SessionRecord> records = Records(canvas);
  TrackerSession fresh;
  std::vector<std::string> start;
  for (const SessionRecord& r : records) start.push_back(r.look(fresh));

  TrackerSession used;
  for (const SessionRecord& r : records) r.change(used);
  // Each change shows, or the comparison after the reset would prove nothing.
  for (size_t i = 0; i < records.size(); ++i)
    EXPECT_NE(records[i].look(used), start[i]) << records[i].name;

  used.Reset();
  for (size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(records[i].look(used), start[i]) << records[i].name;
}

}  // namespace
