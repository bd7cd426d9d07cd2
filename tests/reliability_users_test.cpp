// A user who clicks fast: thousands of Start, Stop and Calibrate commands, option clicks and
// slider moves in a random order while face frames flow through the whole pipeline. Nothing
// may crash or hang, the log must show every command as usual, and the protocol must lose no
// line: every stream (one per Calibrate) holds its run's sample lines whole, gap-free and in
// order, then at most the mapping report and the accuracy lines, and the last run's lines are
// exactly the samples it stored.
#include <gtest/gtest.h>

#include <random>

#include "app/DialogTemplate.h"
#include "capture/TrackingCommands.h"
#include "reliability_support.h"

using namespace pupiltrak;

namespace reliability {
namespace {

class FastUsers : public HeadlessProgram {
 protected:
  // Waits for one more processed frame (or the camera's end). Polls; never times.
  void NextFrame() { WaitForMoreFrames(1); }
};

int Count(const Lines& lines, const std::string& text) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

// The sample lines of one protocol stream are its run's slots in order from target 0, slot 0,
// with nothing missing and nothing torn; after them come at most one mapping report (only
// after all 360) and the accuracy lines. Returns the number of sample lines.
int CheckStream(const std::string& text, size_t index) {
  SCOPED_TRACE("protocol stream " + std::to_string(index));
  EXPECT_TRUE(text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0))
      << "the stream ends inside a line";
  const Lines lines = SplitLines(text);
  int samples = 0;
  while (static_cast<size_t>(samples) < lines.size() && IsSampleLine(lines[samples])) {
    const std::string& line = lines[samples];
    EXPECT_EQ(line.rfind("Point = " + std::to_string(samples / 40) +
                             "\tSample = " + std::to_string(samples % 40) + "\t",
                         0),
              0u)
        << "sample line " << samples << " out of order or missing: " << line;
    ++samples;
  }
  int reports = 0;
  for (size_t k = static_cast<size_t>(samples); k < lines.size(); ++k) {
    EXPECT_FALSE(IsSampleLine(lines[k])) << "a sample line after the report or accuracy: " << k;
    if (lines[k] == "Left eye mapping:") ++reports;
  }
  EXPECT_LE(reports, 1);
  if (reports == 1) {
    EXPECT_EQ(samples, 360) << "a report before the run was complete";
  }
  EXPECT_LE(samples, 360);
  return samples;
}

TEST_F(FastUsers, ThousandsOfCommandsWhileFramesFlowLoseNoProtocolLine) {
  MemoryProtocol protocol;
  session.protocol.SetOpener(protocol.Opener());
  FaceFrames faces;
  SetFrames(std::cref(faces));

  const int kCommands = 3000;
  // After about one command in three the user waits for a frame to pass.
  const int waitOneIn = 3;
  std::mt19937 random(20240611);
  const int sliders[] = {control_id::kFinder1Param1, control_id::kFinder1Param2,
                         control_id::kFinder2Param1, control_id::kFinder2Param2};
  const int kSliderStart[] = {1, 1, 60, 30};
  int starts = 0, stops = 0, calibrates = 0, refused = 0, clicks = 0, moves = 0;
  int64_t frames = 0;
  bool tracking = false;

  for (int i = 0; i < kCommands; ++i) {
    const int pick = static_cast<int>(random() % 100);
    if (pick < 30) {
      // Only the enabled one of the two buttons can be clicked.
      if (tracking) {
        frames += Camera().FramesDelivered();
        StopTrackingCommand(session, dialog);
        ++stops;
      } else {
        StartTrackingCommand(session, dialog);
        ++starts;
      }
      tracking = !tracking;
    } else if (pick < 55) {
      session.Calibrate(dialog);
      tracking ? ++calibrates : ++refused;
    } else if (pick < 80) {
      // The equalisation boxes more often than the two options the samples depend on.
      const int box = static_cast<int>(random() % 20);
      dialog.ClickCheckBox(box < 7    ? control_id::kEqualizeHist1
                           : box < 14 ? control_id::kEqualizeHist2
                           : box < 17 ? control_id::kEyeRegions
                                      : control_id::kGazeDirection);
      ++clicks;
    } else {
      // Anywhere on the slider, or back where it was at the start.
      const int s = static_cast<int>(random() % 4);
      dialog.MoveSlider(sliders[s],
                        random() % 2 ? static_cast<int>(1 + random() % 200) : kSliderStart[s]);
      ++moves;
    }
    if (tracking && random() % waitOneIn == 0) NextFrame();
  }

  // At last the user calibrates properly: both options on, the usual sliders, and some
  // frames before the stop.
  if (!tracking) {
    StartTrackingCommand(session, dialog);
    ++starts;
  }
  if (dialog.CheckState(control_id::kGazeDirection) != 1)
    dialog.ClickCheckBox(control_id::kGazeDirection);
  dialog.MoveSlider(control_id::kFinder1Param1, 1);
  dialog.MoveSlider(control_id::kFinder1Param2, 1);
  dialog.MoveSlider(control_id::kFinder2Param1, 60);
  dialog.MoveSlider(control_id::kFinder2Param2, 30);
  if (dialog.CheckState(control_id::kEqualizeHist1) != 0)
    dialog.ClickCheckBox(control_id::kEqualizeHist1);
  if (dialog.CheckState(control_id::kEqualizeHist2) != 1)
    dialog.ClickCheckBox(control_id::kEqualizeHist2);
  session.Calibrate(dialog);
  ++calibrates;
  for (int k = 0; k < 60; ++k) NextFrame();
  frames += Camera().FramesDelivered();
  StopTrackingCommand(session, dialog);
  ++stops;

  // The log: every command as usual, and nothing reported as failing.
  const Lines log = dialog.AllLines();
  EXPECT_EQ(Count(log, "StartTracking was successful"), starts);
  EXPECT_EQ(Count(log, "cvcamStart() ok"), starts);
  EXPECT_EQ(Count(log, "EndTracking was successful"), stops);
  EXPECT_EQ(Count(log, "Releasing camera"), stops);
  for (const std::string& line : log) EXPECT_NE(line.rfind("Bug: ", 0), 0u) << line;
  EXPECT_EQ(static_cast<int>(prompts.Messages().size()), refused);

  // The protocol: one stream per Calibrate while tracking, none lost, none failing.
  const std::vector<std::string> streams = protocol.Streams();
  ASSERT_EQ(static_cast<int>(streams.size()), calibrates);
  EXPECT_EQ(session.protocol.FailedWrites(), 0);
  int sampleLines = 0;
  for (size_t k = 0; k < streams.size(); ++k) sampleLines += CheckStream(streams[k], k);

  // The last run: its stream holds exactly the samples it stored, value for value, and
  // nothing after them but the accuracy lines of the stop.
  const Lines last = SplitLines(streams.back());
  const CalibrationData data = session.samples.Snapshot();
  int stored = 0;
  for (; stored < 360; ++stored) {
    const CalibrationTarget& t = data.targets[stored / 40];
    const int s = stored % 40;
    if (t.dxL[s] == kEmptySlot) break;
    ASSERT_LT(static_cast<size_t>(stored), last.size());
    EXPECT_EQ(last[static_cast<size_t>(stored)] + "\r\n",
              SampleLineText(stored / 40, s, t.dxL[s], t.dyL[s], t.dxR[s], t.dyR[s]));
  }
  EXPECT_GT(stored, 20) << "the last run got too few samples to say anything";
  ASSERT_GT(last.size(), static_cast<size_t>(stored));
  EXPECT_FALSE(IsSampleLine(last[static_cast<size_t>(stored)]));

  // Samples really flowed while the user hammered, not only in the last run.
  const int hammered = sampleLines - stored;
  EXPECT_GT(hammered, 20);
  std::printf(
      "[ figures  ] %d commands: %d starts, %d stops, %d calibrations (%d refused), %d option "
      "clicks, %d slider moves; %lld frames delivered; %d sample lines written in %zu streams "
      "(%d while hammering), %d dropped while no protocol was open, none lost\n",
      kCommands + 1, starts, stops, calibrates, refused, clicks, moves,
      static_cast<long long>(frames), sampleLines, streams.size(), hammered,
      session.protocol.Dropped());
}

}  // namespace
}  // namespace reliability
