// "Use last calibration": a user calibrates, stops, and in a fresh session takes that
// calibration from the protocol instead of calibrating again; the same frames give the same
// gaze, and the charts follow it.
#include <cmath>
#include <regex>
#include <vector>

#include "e2e_support.h"

using namespace pupiltrak;

namespace {

using e2e::FrameRecord;

class LastCalibration : public e2e::SessionTest {};

TEST_F(LastCalibration, FreshSessionGetsTheSameGazeFromTheProtocol) {
  e2e::SessionOptions options;
  options.accuracyFrames = 150;
  options.keepAccuracyFrames = true;
  const e2e::SessionResult first = RunSession(options);
  ASSERT_TRUE(first.completed) << "the calibration did not complete within the frames allowed";
  std::vector<const FrameRecord*> calibrated;
  for (const FrameRecord& f : first.frames)
    if (f.look.kind == LookTarget::Kind::Accuracy) calibrated.push_back(&f);
  ASSERT_EQ(calibrated.size(), first.accuracyFrames.size());

  const LastCalibrationRun fresh = RunWithLastCalibration(first.accuracyFrames);
  ASSERT_EQ(fresh.frames.size(), first.accuracyFrames.size()) << "every frame was processed";
  const std::regex taken(
      "Using the last calibration: the mapping report at line [0-9]+ of .*CalibrationProtocol.txt");
  int takenLines = 0;
  for (const std::string& line : fresh.log) takenLines += std::regex_match(line, taken) ? 1 : 0;
  EXPECT_EQ(takenLines, 1);

  // The smoother starts empty in the fresh session and the finders' jump filters hold other
  // history: a few frames after the smoother's 30 entries have filled, both average the same
  // estimates. The protocol prints
  // the coefficients to two decimals, which moves the gaze by a fraction of a pixel.
  int compared = 0, estimates = 0;
  for (size_t i = 0; i < fresh.frames.size(); ++i) {
    const FrameRecord& a = *calibrated[i];
    const FrameRecord& b = fresh.frames[i];
    if (b.gazeFound) ++estimates;
    if (estimates <= 40) continue;
    EXPECT_EQ(b.gazeFound, a.gazeFound) << "frame " << i;
    if (!a.gazeFound || !b.gazeFound) continue;
    EXPECT_NEAR(b.gazeX, a.gazeX, 1.0) << "frame " << i;
    EXPECT_NEAR(b.gazeY, a.gazeY, 1.0) << "frame " << i;
    ++compared;
  }
  EXPECT_GT(compared, 60);
  // The charts plotted the gaze without a calibration in this session.
  for (int top : {310, 395}) EXPECT_GT(e2e::ChartPoints(fresh.canvas, top, top + 80), 0) << top;
}

}  // namespace
