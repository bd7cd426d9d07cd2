// The replay tool end to end: generated videos with known pupils through the real pipeline,
// the demo session, and the errors a user can act on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <thread>

#include "FaceFrameGenerator.h"
#include "ReplayRun.h"
#include "face_video.h"

using namespace pupiltrak;

namespace {

std::string TempDir(const std::string& name) {
  std::string dir = testing::TempDir() + "replay_" + name + "_" + std::to_string(::getpid());
  std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  return dir;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.push_back("");
    rows.push_back(cells);
  }
  return rows;
}

// A CSV row joined again without detection_ms and frame_ms (measured, not results).
std::string WithoutTimes(const std::vector<std::string>& row) {
  constexpr size_t kDetectionMs = 18, kFrameMs = 19;
  std::string line;
  for (size_t i = 0; i < row.size(); ++i)
    if (i != kDetectionMs && i != kFrameMs) line += (i == 0 ? "" : ",") + row[i];
  return line;
}

struct GeneratedVideo {
  std::string path;
  std::vector<gen::FrameTruth> truth;
};

// A video of the real face whose pupils wander around their glints, every 7th frame a blink.
GeneratedVideo MakeVideo(const std::string& dir, int frames) {
  GeneratedVideo video;
  video.path = dir + "/input.avi";
  WriteFaceVideo(
      video.path, frames,
      [](int i) {
        FaceVideoFrame frame;
        const float a = static_cast<float>(i) * 0.7f;
        frame.shot.gazeOffset[0] = cv::Point2f(2.5f * std::cos(a), 1.5f * std::sin(a));
        frame.shot.gazeOffset[1] = frame.shot.gazeOffset[0];
        frame.shot.blink = (i % 7 == 6);
        frame.shot.noiseSigma = 1.0;
        frame.shot.noiseSeed = static_cast<uint64_t>(i + 1);
        return frame;
      },
      &video.truth);
  return video;
}

ReplayOptions Options(const std::string& input, const std::string& out) {
  ReplayOptions o;
  o.input = input;
  o.outputDir = out;
  o.quiet = true;
  o.eyeRegions = o.gazeDirection = 1;
  return o;
}

}  // namespace

TEST(ReplayRunTest, CsvMatchesTheRenderedTruth) {
  std::string dir = TempDir("truth");
  GeneratedVideo video = MakeVideo(dir, 42);
  ReplayOptions o = Options(video.path, dir + "/out");
  o.writeMosaic = true;
  // With the default accumulator threshold of finder 2 (30) the smooth closed lid still yields
  // a circle; 40 keeps finding the open pupils and lets closed eyes be blinks.
  o.finder2Param2 = 40;
  ReplayOutcome outcome = RunReplay(o);
  ASSERT_EQ(outcome.exitCode, kExitOk) << outcome.message;
  auto rows = ReadCsv(outcome.csvPath);
  ASSERT_EQ(rows.size(), 43u);
  int blinks = 0, blinksSeen = 0, open = 0, pupilsNear = 0, pupils = 0;
  std::vector<double> vectorErrors;
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto& r = rows[i];
    ASSERT_EQ(r.size(), 22u);
    const gen::FrameTruth& t = video.truth[i - 1];
    EXPECT_EQ(r[2], "1") << "the face is found in frame " << i - 1;
    if (t.blink) {
      ++blinks;
      if (r[17] == "1") ++blinksSeen;
      continue;
    }
    ++open;
    EXPECT_EQ(r[17], "0");
    for (int eye = 0; eye < 2; ++eye) {
      if (r[7 + 3 * eye] != "1") continue;
      ++pupils;
      double x = std::stod(r[8 + 3 * eye]), y = std::stod(r[9 + 3 * eye]);
      if (std::hypot(x - t.eye[eye].pupil.x, y - t.eye[eye].pupil.y) <= 2.0) ++pupilsNear;
      // The eye vector: pupil minus glint in pupil-zoom pixels (twice frame pixels), in degrees.
      double ex =
          std::asin(std::clamp((t.eye[eye].pupil.x - t.eye[eye].glint.x) * 2 / 20.0, -1.0, 1.0)) *
          57.29577957855229;
      double ey =
          std::asin(std::clamp((t.eye[eye].glint.y - t.eye[eye].pupil.y) * 2 / 20.0, -1.0, 1.0)) *
          57.29577957855229;
      vectorErrors.push_back(
          std::hypot(std::stod(r[13 + 2 * eye]) - ex, std::stod(r[14 + 2 * eye]) - ey));
    }
  }
  EXPECT_EQ(blinks, 6);
  EXPECT_GE(blinksSeen, 5) << "closed lids are blinks";
  EXPECT_GE(pupils, open * 2 * 9 / 10) << "pupils found in at least 90 % of open eyes";
  EXPECT_GE(pupilsNear, pupils * 9 / 10) << "found pupils lie within 2 px of the drawn ones";
  std::sort(vectorErrors.begin(), vectorErrors.end());
  ASSERT_FALSE(vectorErrors.empty());
  double median = vectorErrors[vectorErrors.size() / 2];
  EXPECT_LT(median, 6.0) << "median eye-vector error in degrees";
  cv::VideoCapture mosaic(outcome.mosaicPath);
  ASSERT_TRUE(mosaic.isOpened());
  EXPECT_EQ(mosaic.get(cv::CAP_PROP_FRAME_WIDTH), 320);
  EXPECT_EQ(mosaic.get(cv::CAP_PROP_FRAME_COUNT), 42);
}

TEST(ReplayRunTest, ResultsAreTheSameOnEveryRun) {
  // The CSV of a fixed input must not change when the pipeline is made faster.
  std::string dir = TempDir("repeat");
  GeneratedVideo video = MakeVideo(dir, 15);
  ReplayOutcome a = RunReplay(Options(video.path, dir + "/a"));
  ReplayOutcome b = RunReplay(Options(video.path, dir + "/b"));
  ASSERT_EQ(a.exitCode, kExitOk);
  ASSERT_EQ(b.exitCode, kExitOk);
  auto ra = ReadCsv(a.csvPath), rb = ReadCsv(b.csvPath);
  ASSERT_EQ(ra.size(), rb.size());
  for (size_t i = 0; i < ra.size(); ++i) {
    // All but the time columns (detection_ms and frame_ms are measured).
    EXPECT_EQ(WithoutTimes(ra[i]), WithoutTimes(rb[i])) << "row " << i;
  }
}

TEST(ReplayRunTest, ErrorsAUserCanActOn) {
  std::string dir = TempDir("errors");
  ReplayOutcome missing = RunReplay(Options(dir + "/nothing.avi", dir + "/out"));
  EXPECT_EQ(missing.exitCode, kExitIoError);
  EXPECT_NE(missing.message.find("no such file"), std::string::npos) << missing.message;

  std::ofstream(dir + "/notes.avi") << "these are not video frames\n";
  ReplayOutcome notVideo = RunReplay(Options(dir + "/notes.avi", dir + "/out"));
  EXPECT_EQ(notVideo.exitCode, kExitIoError);
  EXPECT_NE(notVideo.message.find("not a video"), std::string::npos) << notVideo.message;
  EXPECT_FALSE(std::ifstream(dir + "/out/frames.csv").good()) << "nothing written on failure";

  GeneratedVideo video = MakeVideo(dir, 5);
  std::ofstream(dir + "/a-file") << "x";
  ReplayOutcome badOut = RunReplay(Options(video.path, dir + "/a-file/out"));
  EXPECT_EQ(badOut.exitCode, kExitIoError);
  EXPECT_NE(badOut.message.find("output folder"), std::string::npos) << badOut.message;

  if (::geteuid() != 0) {  // root may read anything
    std::string locked = dir + "/locked.avi";
    std::system(("cp '" + video.path + "' '" + locked + "' && chmod 000 '" + locked + "'").c_str());
    ReplayOutcome unreadable = RunReplay(Options(locked, dir + "/out"));
    EXPECT_EQ(unreadable.exitCode, kExitIoError);
    EXPECT_NE(unreadable.message.find("cannot read"), std::string::npos);
  }
}

TEST(ReplayRunTest, TruncatedVideoKeepsWhatWasReadAndSaysWhereItStopped) {
  std::string dir = TempDir("truncated");
  GeneratedVideo video = MakeVideo(dir, 40);
  std::ifstream in(video.path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string cut = dir + "/cut.avi";
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  // The file opens without its index (the frames of the first half are whole): a truncated
  // input, not an unreadable one.
  ReplayOutcome outcome = RunReplay(Options(cut, dir + "/out"));
  ASSERT_EQ(outcome.exitCode, kExitTruncated) << outcome.message;
  auto rows = ReadCsv(outcome.csvPath);
  ASSERT_GT(rows.size(), 1u);
  ASSERT_LT(rows.size(), 41u);
  const std::string read = std::to_string(rows.size() - 1);  // the header aside
  EXPECT_NE(outcome.message.find("ended at frame " + read + " of 40"), std::string::npos)
      << outcome.message;
}

// The demo is a benchmark with a known truth: the same seed gives the same frames and the same
// protocol, whether the other core is idle or busy.
TEST(ReplayRunTest, DemoGivesTheSameResultsEveryRun) {
  auto run = [](const std::string& name, bool busy) {
    ReplayOptions o;
    o.outputDir = TempDir(name);
    o.quiet = true;
    o.demo = true;
    o.demoAccuracyFrames = 60;
    std::atomic<bool> done{false};
    std::thread load;
    if (busy)
      load = std::thread([&done] {
        volatile double x = 0;
        while (!done.load()) x = x + 1;
      });
    ReplayOutcome outcome = RunDemo(o);
    done = true;
    if (load.joinable()) load.join();
    EXPECT_EQ(outcome.exitCode, kExitOk) << outcome.message;
    std::vector<std::string> results;
    for (const auto& row : ReadCsv(outcome.csvPath)) results.push_back(WithoutTimes(row));
    std::ifstream protocol(outcome.protocolPath, std::ios::binary);
    results.emplace_back(std::istreambuf_iterator<char>(protocol),
                         std::istreambuf_iterator<char>());
    return results;
  };
  const std::vector<std::string> idle = run("demo_idle", false);
  const std::vector<std::string> busy = run("demo_busy", true);
  ASSERT_GT(idle.size(), 400u);
  ASSERT_EQ(idle.size(), busy.size());
  for (size_t i = 0; i < idle.size(); ++i) ASSERT_EQ(idle[i], busy[i]) << "row " << i;
}

TEST(ReplayRunTest, DemoRunsAWholeCalibrationAndAccuracyTest) {
  std::string dir = TempDir("demo");
  ReplayOptions o;
  o.outputDir = dir;
  o.quiet = true;
  o.demo = true;
  o.demoAccuracyFrames = 150;
  ReplayOutcome outcome = RunDemo(o);
  ASSERT_EQ(outcome.exitCode, kExitOk) << outcome.message;
  std::ifstream in(outcome.protocolPath, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty()) << "every line ends with CR LF";
    EXPECT_EQ(line.back(), '\r');
    line.pop_back();
    lines.push_back(line);
  }
  // 360 sample lines, the report (1 + 9 + 1 + 3 + 1 + 3 + 1 + 1 + 1) and the accuracy (3 + 1).
  ASSERT_EQ(lines.size(), 360u + 21u + 4u);
  EXPECT_EQ(lines[0].rfind("Point = 0\tSample = 0\tdxL = ", 0), 0u);
  EXPECT_EQ(lines[359].rfind("Point = 8\tSample = 39\tdxL = ", 0), 0u);
  EXPECT_EQ(lines[360], "");
  EXPECT_EQ(lines[361].rfind("Point 0:\tM(dxL) = ", 0), 0u);
  EXPECT_EQ(lines[371], "Left eye mapping:");
  EXPECT_EQ(lines[375], "Right eye mapping:");
  EXPECT_EQ(lines[379], "Corresponding video file: No capture file selected");
  EXPECT_EQ(lines[381].rfind("Accuracy (RMS) in pixels: ", 0), 0u);
  EXPECT_EQ(lines[382].rfind("Accuracy (RMS) in millimeters: ", 0), 0u);
  EXPECT_EQ(lines[383].rfind("Accuracy (RMS) in degrees (500 mm screen distance assumed): ", 0),
            0u);
  // The estimate is the smoothed mapping of the eye vectors: what remains is their resolution
  // (one pupil-zoom pixel is some 110 screen pixels here) and the virtual user's noise.
  double pixels = std::stod(lines[381].substr(26));
  double mm = std::stod(lines[382].substr(31));
  EXPECT_GT(pixels, 0.0);
  EXPECT_LT(pixels, 250.0);
  EXPECT_EQ(mm, std::trunc(pixels * 358.0 / 1024.0));
  ASSERT_EQ(outcome.accuracy.size(), 3u);
  EXPECT_EQ(outcome.accuracy[0], lines[381]);

  // The CSV says where the user looked and what the tracker estimated, frame by frame; the
  // picture of the accuracy is beside it.
  auto rows = ReadCsv(outcome.csvPath);
  ASSERT_GT(rows.size(), 1u);
  ASSERT_EQ(rows[0].size(), 25u);
  EXPECT_EQ(rows[0][20], "gaze_x");
  EXPECT_EQ(rows[0][24], "phase");
  int calibrationPhases = 0, accuracyRows = 0, gazeRows = 0, gazeBeforeAccuracy = 0;
  std::string lastPhase;
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 25u) << "row " << i;
    const std::string& phase = rows[i][24];
    if (phase != lastPhase && !phase.empty() && phase != "accuracy") ++calibrationPhases;
    if (phase == "accuracy") ++accuracyRows;
    if (!rows[i][20].empty()) ++gazeRows;
    if (!rows[i][20].empty() && accuracyRows == 0) ++gazeBeforeAccuracy;
    lastPhase = phase;
  }
  EXPECT_EQ(calibrationPhases, 9);
  EXPECT_EQ(accuracyRows, 150);
  EXPECT_GT(gazeRows, 100);
  // No gaze before the calibration completed: at most in the one frame after the fit, in
  // which the user still looks at the last calibration target.
  EXPECT_LE(gazeBeforeAccuracy, 1);
  EXPECT_EQ(outcome.picturePath, dir + "/accuracy.png");
  const cv::Mat picture = cv::imread(outcome.picturePath);
  EXPECT_GT(picture.cols, 1024);

  // The protocol's mapping gives the gaze of any recording; a protocol without one, or with a
  // garbled line, stops before anything is written.
  GeneratedVideo video = MakeVideo(dir, 20);
  ReplayOptions m = Options(video.path, dir + "/mapped");
  m.mappingFile = outcome.protocolPath;
  m.screenWidth = 1024;
  m.screenHeight = 710;
  ReplayOutcome mapped = RunReplay(m);
  ASSERT_EQ(mapped.exitCode, kExitOk) << mapped.message;
  int withGaze = 0, bothPupils = 0;
  for (const auto& row : ReadCsv(mapped.csvPath)) {
    if (row[7] == "1" && row[10] == "1") ++bothPupils;
    if (row.size() > 21 && !row[20].empty() && row[0] != "frame") ++withGaze;
  }
  EXPECT_GT(bothPupils, 10);
  EXPECT_EQ(withGaze, bothPupils);
  EXPECT_FALSE(cv::imread(dir + "/mapped/gaze.png").empty());

  const std::string empty = dir + "/empty.txt";
  std::ofstream(empty)
      << "Point = 0\tSample = 0\tdxL = 1.00\tdyL = 1.00\tdxR = 1.00\tdyR = 1.00\r\n";
  m.mappingFile = empty;
  m.outputDir = dir + "/unmapped";
  ReplayOutcome refused = RunReplay(m);
  EXPECT_EQ(refused.exitCode, kExitIoError);
  EXPECT_NE(refused.message.find(empty), std::string::npos) << refused.message;
  EXPECT_FALSE(std::ifstream(dir + "/unmapped/frames.csv").good());
}

namespace {

// FNV-1a over an image's pixels, row by row.
uint64_t PixelHash(const cv::Mat& image) {
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < image.rows; ++y) {
    const uchar* p = image.ptr<uchar>(y);
    for (size_t i = 0; i < image.cols * image.elemSize(); ++i) {
      h ^= p[i];
      h *= 1099511628211ull;
    }
  }
  return h;
}

}  // namespace

TEST(ReplayRunTest, ResultsOfAFixedInputAreThoseRecordedBeforeTheSpeedWork) {
  // Every result of a fixed input (CSV rows without the measured times, every mosaic frame but
  // its status quarter) as recorded before the pipeline was made faster: copies, buffers and
  // threads may change, the results may not. PUPILTRAK_WRITE_GOLDEN=1 records them again.
  std::string dir = TempDir("golden");
  GeneratedVideo video = MakeVideo(dir, 30);
  ReplayOptions o = Options(video.path, dir + "/out");
  o.writeMosaic = true;
  ReplayOutcome outcome = RunReplay(o);
  ASSERT_EQ(outcome.exitCode, kExitOk) << outcome.message;

  std::vector<std::string> lines;
  for (const auto& row : ReadCsv(outcome.csvPath)) lines.push_back(WithoutTimes(row));
  cv::VideoCapture mosaic(outcome.mosaicPath);
  ASSERT_TRUE(mosaic.isOpened());
  cv::Mat frame;
  for (int i = 0; mosaic.read(frame); ++i) {
    // The status quarter (bottom left) shows measured times; the other three are results.
    ASSERT_EQ(frame.size(), cv::Size(320, 240));
    lines.push_back("mosaic " + std::to_string(i) + " " +
                    std::to_string(PixelHash(frame(cv::Rect(0, 0, 320, 120)))) + " " +
                    std::to_string(PixelHash(frame(cv::Rect(160, 120, 160, 120)))));
  }

  const std::string golden = std::string(PUPILTRAK_TEST_DATA) + "/replay_golden.txt";
  if (const char* write = std::getenv("PUPILTRAK_WRITE_GOLDEN"); write && *write == '1') {
    std::ofstream out(golden);
    for (const auto& l : lines) out << l << '\n';
    GTEST_SKIP() << "recorded " << golden;
  }
  std::ifstream in(golden);
  ASSERT_TRUE(in.good()) << golden;
  std::vector<std::string> expected;
  for (std::string l; std::getline(in, l);) expected.push_back(l);
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i;

  // Without a mosaic to record the pipeline skips its tiles: the rows stay the same.
  ReplayOutcome bare = RunReplay(Options(video.path, dir + "/bare"));
  ASSERT_EQ(bare.exitCode, kExitOk) << bare.message;
  auto rows = ReadCsv(bare.csvPath);
  ASSERT_EQ(rows.size(), 31u);
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(WithoutTimes(rows[i]), expected[i]) << "row " << i << " without a mosaic";
}

TEST(ReplayRunTest, UnreadableImagesOfAFolderAreSkippedAndCounted) {
  std::string dir = TempDir("skipped");
  const gen::FaceFrameGenerator generator = TestFaceGenerator();
  const std::string images = dir + "/images";
  ASSERT_EQ(std::system(("mkdir -p '" + images + "'").c_str()), 0);
  for (int i = 0; i < 5; ++i)
    cv::imwrite(images + "/img" + std::to_string(i) + ".png", generator.Render(gen::FrameSpec{}));
  std::ofstream(images + "/img1.png") << "not an image";  // damaged
  std::ofstream(images + "/img3.png").close();            // empty
  {
    // Cut short: decoded, it would be a picture with a grey lower part (and a complaint).
    std::ifstream in(images + "/img4.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(images + "/img4.png", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  ReplayOutcome outcome = RunReplay(Options(images, dir + "/out"));
  EXPECT_EQ(outcome.exitCode, kExitOk) << outcome.message;
  EXPECT_EQ(outcome.message, "") << "skipped images are not a truncated input";
  EXPECT_EQ(outcome.summary.frames, 2);
  EXPECT_EQ(outcome.skippedFiles, 3);
  EXPECT_EQ(ReadCsv(outcome.csvPath).size(), 3u);
}
