// The calibration run end to end through one tracker session: the Calibrate command, 360
// samples, the fit, the protocol file, failures of the file, and a restart racing the frame
// thread.
#include <QDir>
#include <atomic>
#include <regex>
#include <thread>

#include "calibration_fixture.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"

using namespace pupiltrak;

namespace {

const std::regex kSampleLine(
    R"(Point = (\d)\tSample = (\d+)\tdxL = -?\d+\.\d\d\tdyL = -?\d+\.\d\d\tdxR = -?\d+\.\d\d)"
    R"(\tdyR = -?\d+\.\d\d)");
const std::regex kFunctionLine(
    R"(Gaze(LX|LY|RX|RY) = -?\d+\.\d\d \* dx \+ -?\d+\.\d\d \* dy \+ -?\d+\.\d\d Error = \d+\.\d\d)");

// Checks the 381 lines of one completed run starting at `first`.
void ExpectRunBlock(const std::vector<std::string>& lines, size_t first,
                    const std::string& videoFile) {
  ASSERT_GE(lines.size(), first + 381);
  for (int i = 0; i < 360; ++i) {
    std::smatch m;
    const std::string& line = lines[first + i];
    ASSERT_TRUE(std::regex_match(line, m, kSampleLine)) << line;
    EXPECT_EQ(std::stoi(m[1]), i / 40) << line;
    EXPECT_EQ(std::stoi(m[2]), i % 40) << line;
  }
  EXPECT_EQ(lines[first].rfind("Point = 0\tSample = 0\tdxL = -1.23\t", 0), 0u) << lines[first];
  EXPECT_EQ(lines[first + 359].rfind("Point = 8\tSample = 39\t", 0), 0u);
  const size_t r = first + 360;
  EXPECT_EQ(lines[r], "");
  // Target 0 lies at (88, 88); the noise cancels over slots 10..39.
  EXPECT_EQ(lines[r + 1],
            "Point 0:\tM(dxL) = -10.60\tM(dyL) = -8.90\tM(dxR) = -9.16\tM(dyR) = -7.49");
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(lines[r + 1 + k].rfind("Point " + std::to_string(k) + ":\tM(dxL) = ", 0), 0u);
  }
  EXPECT_EQ(lines[r + 10], "");
  EXPECT_EQ(lines[r + 11], "Left eye mapping:");
  EXPECT_EQ(lines[r + 12].rfind("GazeLX = ", 0), 0u);
  EXPECT_TRUE(std::regex_match(lines[r + 12], kFunctionLine)) << lines[r + 12];
  EXPECT_EQ(lines[r + 13].rfind("GazeLY = ", 0), 0u);
  EXPECT_TRUE(std::regex_match(lines[r + 13], kFunctionLine)) << lines[r + 13];
  EXPECT_EQ(lines[r + 14], "");
  EXPECT_EQ(lines[r + 15], "Right eye mapping:");
  EXPECT_EQ(lines[r + 16].rfind("GazeRX = ", 0), 0u);
  EXPECT_TRUE(std::regex_match(lines[r + 16], kFunctionLine)) << lines[r + 16];
  EXPECT_EQ(lines[r + 17].rfind("GazeRY = ", 0), 0u);
  EXPECT_EQ(lines[r + 18], "");
  EXPECT_EQ(lines[r + 19], "Corresponding video file: " + videoFile);
  EXPECT_EQ(lines[r + 20], "");
}

const char* kNotMeasured = "not measured (no gaze estimate in the accuracy test)";

}  // namespace

using CalibrateCommandTest = CalibrationFixture;

TEST_F(CalibrateCommandTest, WithoutTrackingOnlyTheMessageAppears) {
  session.Calibrate(dialog);
  EXPECT_EQ(prompts.Messages(),
            std::vector<std::string>{"Please start tracking before you try to calibrate."});
  EXPECT_EQ(machine.beeps.load(), 0);
  EXPECT_FALSE(session.CalibrationCollecting());
  EXPECT_EQ(session.state.CalibrationActive.load(), 0);
  EXPECT_EQ(session.state.CalibratedSinceStart.load(), 0);
  EXPECT_EQ(session.mapping.Get().GazeRX.a, 0);  // still the program-start zeros
  EXPECT_FALSE(session.protocol.IsOpen());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(ProtocolPath())));
  EXPECT_TRUE(dialog.bugLines.empty());
}

TEST_F(CalibrateCommandTest, StartsARunWithTheTargetGridAndOneBeep) {
  session.state.TrackingActive = 1;
  session.mapping.Set(GazeMapping());
  session.Calibrate(dialog);
  EXPECT_TRUE(prompts.Messages().empty());
  EXPECT_EQ(machine.beeps.load(), 1);
  EXPECT_EQ(session.state.CalibrationActive.load(), 1);
  EXPECT_EQ(session.state.CalibratedSinceStart.load(), 1);
  EXPECT_TRUE(session.protocol.IsOpen());
  EXPECT_EQ(session.mapping.Get().GazeRX.a, 1);
  EXPECT_EQ(session.mapping.Get().GazeRY.b, 1);

  const CalibrationData d = session.samples.Snapshot();
  EXPECT_TRUE(d.CollectingSamples);
  EXPECT_EQ(d.CurrentTarget, 0);
  EXPECT_EQ(d.W, 1024);
  EXPECT_EQ(d.H, 710);
  const double xs[3] = {88, 512, 936};
  const double ys[3] = {88, 355, 622};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(d.targets[i].x, xs[i % 3]) << i;
    EXPECT_EQ(d.targets[i].y, ys[i / 3]) << i;
    for (int s = 0; s < kSlotsPerTarget; ++s) ASSERT_EQ(d.targets[i].dyR[s], kEmptySlot);
  }
}

TEST_F(CalibrateCommandTest, ACompleteRunBeepsNineTimesFitsAndWritesTheProtocol) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  for (int target = 0; target < 9; ++target) {
    FeedFrames(session, 39);
    EXPECT_EQ(machine.beeps.load(), 1 + target);
    FeedFrames(session, 1);
  }
  EXPECT_EQ(machine.beeps.load(), 9);  // no beep after target 8
  EXPECT_FALSE(session.CalibrationCollecting());
  EXPECT_EQ(session.state.CalibrationActive.load(), 0);

  const GazeMapping m = session.mapping.Get();
  EXPECT_NEAR(m.GazeRX.a, 40, 0.5);
  EXPECT_NEAR(m.GazeRX.c, 512, 5);
  EXPECT_NEAR(m.GazeRY.b, 30, 0.5);
  EXPECT_NEAR(m.GazeLX.a, 45, 0.5);
  EXPECT_NEAR(m.GazeLY.c, 350, 5);
  EXPECT_LT(m.GazeRX.Error, 2);

  session.CloseProtocol();
  EXPECT_FALSE(session.protocol.IsOpen());
  const std::vector<std::string> lines = ProtocolLines();
  ASSERT_EQ(lines.size(), 385u);
  ExpectRunBlock(lines, 0, "No capture file selected");
  // The report shows the stored mapping.
  EXPECT_EQ(lines[376], "GazeRX = " + FormatFixed2(m.GazeRX.a) + " * dx + " +
                            FormatFixed2(m.GazeRX.b) + " * dy + " + FormatFixed2(m.GazeRX.c) +
                            " Error = " + FormatFixed2(m.GazeRX.Error));
  EXPECT_EQ(lines[381], std::string("Accuracy (RMS) in pixels: ") + kNotMeasured);
  EXPECT_EQ(lines[384], "");
}

TEST_F(CalibrateCommandTest, SamplesAfterTheRunEndedChangeNothing) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  FeedFrames(session, 360);
  const CalibrationData before = session.samples.Snapshot();
  session.AppendCalibrationSample(1, 2, 3, 4);
  const CalibrationData after = session.samples.Snapshot();
  EXPECT_EQ(after.targets[8].dxL[0], before.targets[8].dxL[0]);
  EXPECT_EQ(after.targets[8].dxL[0], ModelSample(936, 622, 0).dxL);
  session.CloseProtocol();
  EXPECT_EQ(ProtocolLines().size(), 385u);
}

TEST_F(CalibrateCommandTest, ASecondCalibrationAppendsASecondBlock) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  FeedFrames(session, 360);
  session.state.SetCaptureFileName("/home/user/session two.avi");
  session.Calibrate(dialog);  // without stopping in between
  FeedFrames(session, 360);
  session.CloseProtocol();
  EXPECT_EQ(machine.beeps.load(), 18);
  std::vector<std::string> lines = ProtocolLines();
  ASSERT_EQ(lines.size(), 766u);
  ExpectRunBlock(lines, 0, "No capture file selected");
  ExpectRunBlock(lines, 381, "/home/user/session two.avi");

  // A later program run appends to the same file.
  session.Reset();
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  FeedFrames(session, 360);
  session.CloseProtocol();
  lines = ProtocolLines();
  ASSERT_EQ(lines.size(), 766u + 385u);
  ExpectRunBlock(lines, 766, "No capture file selected");
}

TEST_F(CalibrateCommandTest, CalibrateDuringARunRestartsItAtTargetZero) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  FeedFrames(session, 99);  // targets 0 and 1 done, 19 samples of target 2
  EXPECT_EQ(machine.beeps.load(), 3);
  session.Calibrate(dialog);
  const CalibrationData d = session.samples.Snapshot();
  EXPECT_EQ(d.CurrentTarget, 0);
  EXPECT_EQ(d.targets[1].dxL[39], kEmptySlot);
  FeedFrames(session, 360);
  session.CloseProtocol();
  EXPECT_EQ(machine.beeps.load(), 3 + 9);
  const std::vector<std::string> lines = ProtocolLines();
  ASSERT_EQ(lines.size(), 99u + 385u);
  EXPECT_EQ(lines[98].rfind("Point = 2\tSample = 18\t", 0), 0u);
  ExpectRunBlock(lines, 99, "No capture file selected");
}

TEST_F(CalibrateCommandTest, StoppingDuringARunDropsItsLaterLinesButTheFitStillRuns) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  FeedFrames(session, 100);
  session.CloseProtocol();   // Stop Tracking
  FeedFrames(session, 260);  // the run resumes after the next start
  EXPECT_FALSE(session.CalibrationCollecting());
  EXPECT_NEAR(session.mapping.Get().GazeRX.a, 40, 0.5);
  const std::vector<std::string> lines = ProtocolLines();
  ASSERT_EQ(lines.size(), 104u);
  EXPECT_EQ(lines[99].rfind("Point = 2\tSample = 19\t", 0), 0u);
  EXPECT_EQ(lines[100], std::string("Accuracy (RMS) in pixels: ") + kNotMeasured);
  EXPECT_EQ(session.protocol.Dropped(), 260 + 1);
}

// Where the start-up line says calibrations are recorded: an installed program's folder cannot
// be written, so the protocol goes to the user's data folder.
TEST_F(CalibrateCommandTest, AProgramFolderThatCannotBeWrittenSendsTheProtocolToTheUsersFolder) {
  const std::string userDir = dir.filePath("user").toStdString();
  machine.SetUserDataDirectory(userDir);
  machine.SetReadOnlyFolders({dir.path().toStdString()});
  EXPECT_EQ(ProtocolLocationLine(machine),
            "Calibrations are recorded in " + userDir + "/CalibrationProtocol.txt");
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  EXPECT_TRUE(dialog.bugLines.empty());
  FeedFrames(session, 3);
  session.CloseProtocol();
  std::ifstream in(userDir + "/CalibrationProtocol.txt", std::ios::binary);
  std::string first;
  ASSERT_TRUE(std::getline(in, first));
  EXPECT_EQ(first.rfind("Point = 0\tSample = ", 0), 0u) << first;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(ProtocolPath())));
}

TEST_F(CalibrateCommandTest, AProtocolThatCannotBeOpenedIsReportedAndTheRunGoesOn) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("CalibrationProtocol.txt"));
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  ASSERT_EQ(dialog.bugLines.size(), 1u);
  EXPECT_EQ(dialog.bugLines[0].rfind(
                "Could not open CalibrationProtocol.txt for writing: " + ProtocolPath() + " (", 0),
            0u)
      << dialog.bugLines[0];
  EXPECT_EQ(session.state.CalibrationActive.load(), 1);
  FeedFrames(session, 360);
  EXPECT_EQ(machine.beeps.load(), 9);
  EXPECT_NEAR(session.mapping.Get().GazeLX.a, 45, 0.5);
  session.CloseProtocol();  // nothing open: nothing happens
  EXPECT_EQ(session.protocol.Dropped(), 361);
}

TEST_F(CalibrateCommandTest, ADirectoryThatCannotBeWrittenIsReportedAndTheRunGoesOn) {
  machine.SetProgramDirectory("/proc/");  // not even root may create files there
  machine.SetUserDataDirectory("/proc/");
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  ASSERT_EQ(dialog.bugLines.size(), 1u);
  EXPECT_NE(dialog.bugLines[0].find("/proc/CalibrationProtocol.txt"), std::string::npos);
  FeedFrames(session, 360);
  EXPECT_FALSE(session.CalibrationCollecting());
  EXPECT_NEAR(session.mapping.Get().GazeRY.b, 30, 0.5);
}

TEST_F(CalibrateCommandTest, AFullDiskNeitherStopsTheRunNorTheFit) {
  session.protocol.SetOpener(
      [](const std::string&, std::string* error) { return OpenProtocolFile("/dev/full", error); });
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  EXPECT_TRUE(dialog.bugLines.empty());
  FeedFrames(session, 360);
  EXPECT_FALSE(session.CalibrationCollecting());
  EXPECT_NEAR(session.mapping.Get().GazeRX.a, 40, 0.5);
  session.CloseProtocol();
  EXPECT_EQ(session.protocol.FailedWrites(), 360 + 1 + 1);
}

TEST_F(CalibrateCommandTest, ASingularFitIsReportedAndTheProgramGoesOn) {
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);
  // Eye region 1 never moves: its normal matrix is singular.
  for (int i = 0; i < 360; ++i)
    PipelineFrame(session, {0.5, -0.25, 0.1 * (i / 40), 0.05 * (i % 40)});
  EXPECT_FALSE(session.CalibrationCollecting());
  const GazeMapping m = session.mapping.Get();
  EXPECT_EQ(m.GazeRX.a, 1);  // the identity of the run's start stays
  EXPECT_EQ(m.GazeRY.b, 1);
  session.CloseProtocol();
  const std::vector<std::string> lines = ProtocolLines();
  ASSERT_EQ(lines.size(), 386u);
  EXPECT_EQ(lines[375], "Right eye mapping:");
  EXPECT_EQ(lines[376], "GazeRX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00");
  EXPECT_EQ(lines[378].rfind("Fit failed (", 0), 0u) << lines[378];
}

// The Calibrate command resets the store while the frame thread appends: every sample must
// land whole in one run, and each run's lines must reach its own stream in order.
TEST_F(CalibrateCommandTest, CalibrateWhileTheFrameThreadAppendsNeverTearsASample) {
  struct Streams {
    std::mutex mutex;
    std::vector<std::string> contents;
  } streams;
  class IndexedStream : public ProtocolStream {
   public:
    IndexedStream(Streams& s, size_t i) : s_(s), i_(i) {}
    bool Write(const std::string& text) override {
      std::lock_guard<std::mutex> lock(s_.mutex);
      s_.contents[i_] += text;
      return true;
    }

   private:
    Streams& s_;
    size_t i_;
  };
  session.protocol.SetOpener([&streams](const std::string&, std::string*) {
    std::lock_guard<std::mutex> lock(streams.mutex);
    streams.contents.emplace_back();
    return std::unique_ptr<ProtocolStream>(new IndexedStream(streams, streams.contents.size() - 1));
  });
  session.state.TrackingActive = 1;
  session.Calibrate(dialog);

  std::atomic<bool> stop{false};
  std::atomic<long> appended{0};
  std::thread frames([&] {
    double v = 0;
    while (!stop.load()) {
      v += 1;
      session.AppendCalibrationSample(v, v, v, v);
      ++appended;
    }
  });

  auto checkStore = [this] {
    const CalibrationData d = session.samples.Snapshot();
    double last = 0;
    for (int k = 0; k < 9; ++k) {
      for (int s = 0; s < kSlotsPerTarget; ++s) {
        const CalibrationTarget& t = d.targets[k];
        const bool empty = t.dxL[s] == kEmptySlot;
        const bool filled = k < d.CurrentTarget || (k == d.CurrentTarget && !empty);
        if (!filled) {
          ASSERT_TRUE(t.dxL[s] == kEmptySlot && t.dyL[s] == kEmptySlot && t.dxR[s] == kEmptySlot &&
                      t.dyR[s] == kEmptySlot)
              << k << " " << s;
          continue;
        }
        ASSERT_TRUE(t.dxL[s] == t.dyL[s] && t.dyL[s] == t.dxR[s] && t.dxR[s] == t.dyR[s])
            << "torn sample at target " << k << " slot " << s;
        ASSERT_GT(t.dxL[s], last) << "a sample of another run at target " << k << " slot " << s;
        last = t.dxL[s];
      }
    }
  };

  // On a busy machine the loop below could end before the frame thread runs at all.
  while (appended.load() == 0) std::this_thread::yield();
  for (int i = 0; i < 3000; ++i) {
    checkStore();
    if (HasFatalFailure()) break;
    session.Calibrate(dialog);
  }
  stop = true;
  frames.join();
  checkStore();
  session.CloseProtocol();

  // Each stream holds one run from target 0, slot 0 on, consecutively, and the values rise
  // from stream to stream.
  double last = 0;
  long lines = 0;
  for (const std::string& content : streams.contents) {
    int expected = 0;
    for (const std::string& line : SplitCrLf(content)) {
      if (line.rfind("Accuracy", 0) == 0 || line.empty()) continue;
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, kSampleLine)) << line;
      ASSERT_EQ(std::stoi(m[1]) * 40 + std::stoi(m[2]), expected) << line;
      ++expected;
      const double v = std::stod(line.substr(line.find("dxL = ") + 6));
      ASSERT_GT(v, last);
      last = v;
      ASSERT_NE(line.find("dyR = " + FormatFixed2(v)), std::string::npos) << line;
      ++lines;
    }
  }
  EXPECT_EQ(streams.contents.size(), 3001u);
  EXPECT_GT(appended.load(), 0);
  EXPECT_GT(lines, 0);
}
