#pragma once
// Shared set-up of the calibration tests: a fixed machine whose program directory is a fresh
// temporary directory, scripted prompts, a recording dialog, recording panel effects and a fresh
// tracker session per test.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/CalibrationRun.h"
#include "capture/TrackerSession.h"
#include "mapping/GazeMapping.h"
#include "platform/DialogControls.h"
#include "platform/HeadlessPlatform.h"

using namespace pupiltrak;

class RecordingDialog : public DialogControls {
 public:
  void AddLogLine(const std::string& text) override { logLines.push_back(text); }
  void AddBugLine(const std::string& text) override { bugLines.push_back(text); }
  void EnableControl(int, bool) override {}
  std::vector<std::string> logLines, bugLines;
};

class RecordingEffects : public PanelEffects {
 public:
  struct Chart {
    double x, y;
    bool gap;
  };
  void CreateCalibrationWindow(int index, double x, double y) override {
    events.push_back("create " + std::to_string(index) + " at " + std::to_string(int(x)) + "," +
                     std::to_string(int(y)));
  }
  void DestroyCalibrationWindows() override { events.push_back("destroy"); }
  void CreateAccuracyWindow(int x, int y) override {
    events.push_back("accuracy at " + std::to_string(x) + "," + std::to_string(y));
  }
  void AddChartValues(double x, double y, bool gap) override { charts.push_back({x, y, gap}); }
  std::vector<std::string> events;
  std::vector<Chart> charts;
};

inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end in CR LF";
  return lines;
}

inline double Noise(int slot) { return ((slot * 7) % 5 - 2) * 0.01; }

// The eye vectors a user looking at (x, y) gives in this test: a different linear map per eye.
struct Sample {
  double dxL, dyL, dxR, dyR;
};
inline Sample ModelSample(double x, double y, int slot) {
  const double n = Noise(slot);
  return {(x - 512) / 40 + n, (y - 355) / 30 + n, (x - 500) / 45 - n, (y - 350) / 35 + n};
}

// What the pipeline does in a frame with both pupils: the sample while the run is active, the
// fit when it ends, then (given a surface) the panel step.
inline void PipelineFrame(TrackerSession& session, const Sample& s, QImage* panel = nullptr) {
  TrackerState& tracker = session.state;
  if (tracker.CalibrationActive.load()) {
    session.AppendCalibrationSample(s.dxL, s.dyL, s.dxR, s.dyR);
    tracker.CalibrationActive = session.CalibrationCollecting() ? 1 : 0;
    if (!tracker.CalibrationActive.load()) session.FitGazeMapping(tracker.CaptureFileName());
  }
  if (panel) session.CalibrationPanelStep(*panel);
}

// Feeds `count` frames looking at the current target; the very first sample of target 0 has
// dxL = -1.234.
inline void FeedFrames(TrackerSession& session, int count, QImage* panel = nullptr) {
  for (int i = 0; i < count; ++i) {
    const CalibrationData d = session.samples.Snapshot();
    const CalibrationTarget& t = d.targets[d.CurrentTarget];
    int slot = 0;
    while (slot < kSlotsPerTarget && t.dxL[slot] != kEmptySlot) ++slot;
    Sample s = ModelSample(t.x, t.y, slot);
    if (d.CurrentTarget == 0 && slot == 0) s.dxL = -1.234;
    PipelineFrame(session, s, panel);
  }
}

class CalibrationFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    machine.SetProgramDirectory(dir.path().toStdString());
    machine.SetFullScreenSize(QSize(1024, 710));
    machine.SetScreenSize(QSize(1024, 768));
  }

  std::string ProtocolPath() const { return dir.filePath("CalibrationProtocol.txt").toStdString(); }
  std::string ProtocolText() const {
    std::ifstream in(ProtocolPath(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::vector<std::string> ProtocolLines() const { return SplitCrLf(ProtocolText()); }

  QTemporaryDir dir;
  HeadlessPlatform platform;
  FixedMachine& machine = platform.machine;
  ScriptedPrompts& prompts = platform.prompts;
  RecordingDialog dialog;
  TrackerSession session;
};
