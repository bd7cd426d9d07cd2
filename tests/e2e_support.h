#pragma once
// A whole session through the real dialog, offscreen: the program's own commands and pipeline,
// a generated camera playing a virtual user who looks at whichever target window is shown, and
// a record of every processed frame for the checks.

#include <QImage>
#include <QSize>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TargetFollowingUser.h"
#include "dialog_support.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/GazeMapping.h"

using namespace pupiltrak;

namespace e2e {

enum class FrameKind { Open, Blink, OneEye };

// One frame as rendered and as the pipeline left it.
struct FrameRecord {
  FrameKind kind = FrameKind::Open;
  LookTarget look;  // where the user looked when the frame was rendered
  bool face = false;
  bool pupil[2] = {false, false};  // eye regions 1 and 2
  double dxL = 0, dyL = 0, dxR = 0, dyR = 0;
  int samplesBefore = 0, samplesAfter = 0;  // samples stored in the run
  bool collecting = false;                  // the run still collecting after the frame
  bool accuracyStep = false;                // the accuracy test ran in this frame
  int tx = 0, ty = 0;                       // its target
  bool gazeFound = false;                   // the frame's gaze estimate, when there is one
  double gazeX = 0, gazeY = 0;

  bool BothPupils() const { return pupil[0] && pupil[1]; }
  bool NoPupil() const { return !pupil[0] && !pupil[1]; }
  bool TookSample() const { return samplesAfter > samplesBefore; }
};

struct SessionOptions {
  int blinkEvery = 0;   // a frame with both eyes closed every this many frames
  int oneEyeEvery = 0;  // a frame with one eye closed every this many frames
  int accuracyFrames = 300;
  int framesBeforeCalibrate = 5;
  double noiseSigma = 2.0;          // sensor noise, grey levels
  bool equalizeHist2 = true;        // false: the user unticks "Use EqualizeHist2" before starting
  bool keepAccuracyFrames = false;  // keep the frames rendered for the accuracy test (PNG)
};

struct SessionResult {
  bool completed = false;  // the source ended after the accuracy frames
  std::vector<FrameRecord> frames;
  std::vector<std::string> log;       // the whole event log
  std::vector<std::string> protocol;  // lines of the protocol file, without their ends
  bool crlf = true;                   // every line ended with CR LF
  int beeps = 0;
  QImage canvas;  // the dialog's client area when the source had ended
  int64_t blinkFrames = 0, oneEyeFrames = 0;
  std::vector<std::string> messages;               // message boxes shown
  GazeMapping mapping;                             // as fitted
  AccuracySums sums;                               // as Stop Tracking found them
  std::vector<std::vector<uchar>> accuracyFrames;  // with keepAccuracyFrames, in order

  // The four values of every stored sample, in the order stored.
  std::vector<std::vector<double>> Samples() const;
};

// The mapping as the report prints it.
struct PrintedMapping {
  bool parsed = false;
  GazeMapping mapping;
  double means[9][4] = {};  // M(dxL), M(dyL), M(dxR), M(dyR) per target
};
PrintedMapping ParseReport(const std::vector<std::string>& protocol, size_t firstReportLine);

// Accuracy figures in screen pixels (RMS over the accuracy steps with both eyes).
struct AccuracyModel {
  int steps = 0;
  double modelled = 0;   // the frames' own eye vectors through the printed mapping, smoothed
  double ideal = 0;      // the same with both eyes exactly on the target
  double settled = 0;    // the frames' own, only steps at least 30 after a change of target
  double deviation = 0;  // smoothed point of the frames' vectors from the ideal one
};
AccuracyModel ModelAccuracy(const std::vector<FrameRecord>& frames, const GazeMapping& mapping,
                            QSize fullScreen);

// Columns x0..x1 of the canvas in which every pixel of rows y0..y1 has that colour.
int CountColumns(const QImage& canvas, int x0, int x1, int y0, int y1, QRgb colour);
// The plotting columns of a strip chart once scrolled (its newest column is the next one).
inline constexpr int kFirstPlotColumn = 41, kLastPlotColumn = 465;
// Plotting columns of the chart with top and bottom that hold a black point.
int ChartPoints(const QImage& canvas, int top, int bottom);

class SessionTest : public dialog_test::DialogTest {
 protected:
  static constexpr int kFullWidth = 1024, kFullHeight = 710;
  static constexpr int kScreenWidth = 1024, kScreenHeight = 768;

  void SetUp() override;
  void TearDown() override;
  SessionResult RunSession(const SessionOptions& options);
  // A fresh session in a fresh dialog: Gaze Direction, "Use last calibration", Start Tracking
  // on these frames until they end, Stop Tracking. The frames as processed and the event log.
  struct LastCalibrationRun {
    std::vector<FrameRecord> frames;
    std::vector<std::string> log;
    QImage canvas;
  };
  LastCalibrationRun RunWithLastCalibration(const std::vector<std::vector<uchar>>& frames);

  // Every check of a protocol of one complete run followed by Stop Tracking.
  void ExpectCompleteProtocol(const SessionResult& r);
  // The event log of the whole session, in order.
  std::vector<std::string> SessionLog(const SessionOptions& options) const;

 private:
  cv::Mat Render(int64_t index);
  void OnFrame(TrackerSession& session);
  // Until done() holds after a frame (a failure when the frames end first).
  void WaitFor(const std::function<bool()>& done, const char* what);
  void Click(TrackerDialog& dialog, int id);
  size_t FramesSoFar();

  QTemporaryDir programDir_;
  std::unique_ptr<dialog_test::ScratchDirectory> cwd_;
  std::unique_ptr<TargetFollowingUser> user_;
  std::mutex mutex_;  // frame thread and GUI thread
  std::vector<FrameKind> renderedKinds_;
  std::vector<LookTarget> renderedLooks_;
  bool keepAccuracyFrames_ = false;
  std::vector<std::vector<uchar>> accuracyFrames_;
  std::vector<FrameRecord> frames_;
  int lastStored_ = 0;
};

}  // namespace e2e
