// "Use last calibration": a user calibrates, stops, and in a fresh session takes that
// calibration from the protocol instead of calibrating again; the same frames give the same
// gaze, and the charts follow it.
#include <cmath>
#include <fstream>
#include <regex>
#include <vector>

#include "e2e_support.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/Machine.h"

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
  // A later calibration whose fit failed: its report gives no mapping, so the first one's is
  // taken, and the log says so.
  {
    std::ofstream protocol(CalibrationProtocolPath(Machine()), std::ios::app | std::ios::binary);
    protocol << "Left eye mapping:\r\nGazeLX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00\r\n"
                "GazeLY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00\r\n"
                "Fit failed (singular matrix): GazeLX and GazeLY were not fitted and keep the "
                "values above\r\n\r\nRight eye mapping:\r\n"
                "GazeRX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00\r\n"
                "GazeRY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00\r\n\r\n";
  }

  const LastCalibrationRun fresh = RunWithLastCalibration(first.accuracyFrames);
  ASSERT_EQ(fresh.frames.size(), first.accuracyFrames.size()) << "every frame was processed";
  const std::regex taken(
      "Using the last calibration: the mapping report at line ([0-9]+) of "
      "(.*CalibrationProtocol.txt)");
  auto it = fresh.log.begin();
  std::smatch report;
  while (it != fresh.log.end() && !std::regex_match(*it, report, taken)) ++it;
  ASSERT_NE(it, fresh.log.end()) << "no line says which report was taken";
  ASSERT_NE(it + 1, fresh.log.end());
  const std::string& next = *(it + 1);
  EXPECT_EQ(next.rfind("Warning: " + report[2].str() +
                           ": the last calibration's fit failed (the report at line ",
                       0),
            0u)
      << next;
  EXPECT_NE(next.find("); the gaze comes from the older complete report at line " +
                      report[1].str() + " "),
            std::string::npos)
      << next;
  for (auto other = it + 1; other != fresh.log.end(); ++other)
    EXPECT_FALSE(std::regex_match(*other, taken)) << "taken once";

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
