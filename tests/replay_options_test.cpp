#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "ReplayOptions.h"
#include "ReplayReport.h"

using namespace pupiltrak;

namespace {
std::optional<ReplayOptions> Parse(std::vector<const char*> args, std::string* error) {
  args.insert(args.begin(), "pupiltrak08-replay");
  return ParseReplayOptions(static_cast<int>(args.size()), args.data(), error);
}
}  // namespace

TEST(ReplayOptionsTest, DefaultsAreTheDialogsAndNoInputMeansTheDemo) {
  std::string error;
  auto o = Parse({}, &error);
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->demo);
  EXPECT_EQ(o->eyeRegions, 0);
  EXPECT_EQ(o->gazeDirection, 0);
  EXPECT_EQ(o->equalizeHist1, 0);
  EXPECT_EQ(o->equalizeHist2, 1);
  EXPECT_EQ(o->finder1Param1, 1);
  EXPECT_EQ(o->finder1Param2, 1);
  EXPECT_EQ(o->finder2Param1, 60);
  EXPECT_EQ(o->finder2Param2, 30);
  EXPECT_FALSE(o->precise);
}

TEST(ReplayOptionsTest, ReadsEveryFlagInBothSpellings) {
  std::string error;
  auto o = Parse({"in.avi", "--gaze-direction", "on", "--finder2-param2=20", "--equalize-hist2",
                  "off", "--mosaic", "m.avi", "--quiet", "--max-frames", "7", "--precise"},
                 &error);
  ASSERT_TRUE(o) << error;
  EXPECT_FALSE(o->demo);
  EXPECT_EQ(o->input, "in.avi");
  EXPECT_EQ(o->gazeDirection, 1);
  EXPECT_EQ(o->eyeRegions, 1) << "gaze needs the eye regions, as in the dialog";
  EXPECT_EQ(o->finder2Param2, 20);
  EXPECT_EQ(o->equalizeHist2, 0);
  EXPECT_TRUE(o->writeMosaic);
  EXPECT_EQ(o->mosaicName, "m.avi");
  EXPECT_TRUE(o->quiet);
  EXPECT_EQ(o->maxFrames, 7);
  EXPECT_TRUE(o->precise);
}

TEST(ReplayOptionsTest, RefusesWhatAUserMistypes) {
  std::string error;
  EXPECT_FALSE(Parse({"--frobnicate"}, &error));
  EXPECT_NE(error.find("unknown option '--frobnicate'"), std::string::npos);
  EXPECT_FALSE(Parse({"--finder1-param1", "0"}, &error)) << "sliders run from 1 to 200";
  EXPECT_NE(error.find("1 to 200"), std::string::npos);
  EXPECT_FALSE(Parse({"--finder1-param1", "201"}, &error));
  EXPECT_FALSE(Parse({"--eye-regions", "maybe"}, &error));
  EXPECT_FALSE(Parse({"--csv"}, &error));
  EXPECT_NE(error.find("needs"), std::string::npos);
  EXPECT_FALSE(Parse({"a.avi", "--camera", "0"}, &error));
}

// The command line as parsed by Qt's parser: what each line gives, or the sentence it fails with.
TEST(ReplayOptionsTest, CommandLineTable) {
  struct Row {
    std::vector<const char*> args;
    const char* error;  // nullptr: parses
    std::function<bool(const ReplayOptions&)> check;
  };
  auto always = [](const ReplayOptions&) { return true; };
  const std::vector<Row> rows = {
      {{"--help"}, nullptr, [](const ReplayOptions& o) { return o.help; }},
      {{"-h"}, nullptr, [](const ReplayOptions& o) { return o.help; }},
      {{"--version"}, nullptr, [](const ReplayOptions& o) { return o.version && !o.help; }},
      {{"--verbose", "-q"}, nullptr, [](const ReplayOptions& o) { return o.verbose && o.quiet; }},
      {{"--precise", "a.avi"},
       nullptr,
       [](const ReplayOptions& o) { return o.precise && o.input == "a.avi"; }},
      {{"a.avi"},
       nullptr,
       [](const ReplayOptions& o) {
         return !o.precise && o.streamEndpoint.empty() && o.mappingFile.empty() &&
                o.screenWidth == 1920 && o.screenHeight == 1080 && !o.screenGiven && o.jobs == 0;
       }},
      // --stream alone is the default endpoint; an endpoint after it is taken, a path is not.
      {{"--stream", "a.avi"},
       nullptr,
       [](const ReplayOptions& o) {
         return o.streamEndpoint == kDefaultStreamEndpoint && o.inputs.size() == 1;
       }},
      {{"a.avi", "--stream"},
       nullptr,
       [](const ReplayOptions& o) { return o.streamEndpoint == "tcp://127.0.0.1:5570"; }},
      {{"--stream", "ipc:///tmp/gaze", "a.avi"},
       nullptr,
       [](const ReplayOptions& o) { return o.streamEndpoint == "ipc:///tmp/gaze"; }},
      {{"--stream=tcp://*:6000"},
       nullptr,
       [](const ReplayOptions& o) { return o.streamEndpoint == "tcp://*:6000"; }},
      {{"--stream="}, "option --stream needs an endpoint such as tcp://127.0.0.1:5570", always},
      {{"a.avi", "--mapping", "CalibrationProtocol.txt", "--screen", "1280x1024"},
       nullptr,
       [](const ReplayOptions& o) {
         return o.mappingFile == "CalibrationProtocol.txt" && o.screenWidth == 1280 &&
                o.screenHeight == 1024 && o.screenGiven;
       }},
      {{"--screen", "1280"},
       "option --screen needs a screen size in pixels such as 1920x1080, not '1280'",
       always},
      {{"--screen", "0x768"}, "screen size in pixels", always},
      {{"--screen", "-1x768"}, "screen size in pixels", always},
      // Many inputs, in the order given, --input among them.
      {{"a.avi", "b.mp4", "--input", "c.avi", "-j", "3"},
       nullptr,
       [](const ReplayOptions& o) {
         return o.inputs == std::vector<std::string>{"c.avi", "a.avi", "b.mp4"} && o.jobs == 3 &&
                o.input == "c.avi" && !o.demo;
       }},
      {{"a.avi", "b.avi", "--camera", "0"}, "give either --input or --camera, not both", always},
      {{"a.avi", "--jobs", "0"}, "option --jobs needs a whole number from 1, not '0'", always},
      {{"-frobnicate"}, "unknown option '-frobnicate' (see --help)", always},
      {{"--frobnicate=3"}, "unknown option '--frobnicate' (see --help)", always},
      {{"--max-frames", "x"}, "option --max-frames needs a whole number from 1, not 'x'", always},
      {{"a.avi", "--mapping"}, "option --mapping needs a calibration protocol file", always},
      {{"--input="}, "option --input needs a path, not ''", always},
      {{"--batch-worker", "a.avi"}, nullptr, [](const ReplayOptions& o) { return o.batchWorker; }},
      // The smallest face: a share of the height as a number or a fraction, 0.2 to 0.5.
      {{"a.avi"}, nullptr, [](const ReplayOptions& o) { return o.smallestFace == 0.5; }},
      {{"--smallest-face", "0.25"},
       nullptr,
       [](const ReplayOptions& o) { return o.smallestFace == 0.25; }},
      {{"--smallest-face", "1/4"},
       nullptr,
       [](const ReplayOptions& o) { return o.smallestFace == 0.25; }},
      {{"--smallest-face=1/5"},
       nullptr,
       [](const ReplayOptions& o) { return o.smallestFace == 0.2; }},
      {{"--smallest-face", "0.5", "--follow-face", "--robust"},
       nullptr,
       [](const ReplayOptions& o) { return o.smallestFace == 0.5 && o.followFace && o.robust; }},
      {{"--smallest-face", "0.19"},
       "option --smallest-face needs a share of the picture's height from 0.2 to 0.5, such as "
       "0.25 or 1/4, not '0.19'",
       always},
      {{"--smallest-face", "0.51"}, "not '0.51'", always},
      {{"--smallest-face", "abc"}, "not 'abc'", always},
      {{"--smallest-face", "1/0"}, "not '1/0'", always},
  };
  for (const Row& row : rows) {
    std::string line;
    for (const char* a : row.args) line += std::string(a) + " ";
    std::string error;
    auto o = Parse(row.args, &error);
    if (row.error) {
      EXPECT_FALSE(o) << line;
      EXPECT_NE(error.find(row.error), std::string::npos) << line << ": " << error;
    } else {
      ASSERT_TRUE(o) << line << ": " << error;
      EXPECT_TRUE(row.check(*o)) << line;
    }
  }
}

// A worker of a batch gets every option of the batch: its arguments parse back to the same.
TEST(ReplayOptionsTest, WorkerArgumentsCarryEveryOption) {
  std::string error;
  auto batch = Parse({"a.avi",
                      "--jobs",
                      "2",
                      "--equalize-hist1",
                      "on",
                      "--finder2-param1",
                      "77",
                      "--mosaic",
                      "m.avi",
                      "--panels",
                      "--max-frames",
                      "9",
                      "--paced",
                      "--stages",
                      "--precise",
                      "--stream",
                      "--mapping",
                      "p.txt",
                      "--screen",
                      "800x600",
                      "--csv",
                      "rows.csv",
                      "--gaze-direction",
                      "on",
                      "--verbose"},
                     &error);
  ASSERT_TRUE(batch) << error;
  std::vector<std::string> args = WorkerArguments(*batch, "b.avi", "out/b");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  auto w = Parse(argv, &error);
  ASSERT_TRUE(w) << error;
  EXPECT_EQ(w->inputs, std::vector<std::string>{"b.avi"});
  EXPECT_EQ(w->outputDir, "out/b");
  EXPECT_TRUE(w->batchWorker && w->quiet);
  EXPECT_EQ(w->equalizeHist1, 1);
  EXPECT_EQ(w->equalizeHist2, 1);
  EXPECT_EQ(w->eyeRegions, 1);
  EXPECT_EQ(w->gazeDirection, 1);
  EXPECT_EQ(w->finder1Param1, 1);
  EXPECT_EQ(w->finder2Param1, 77);
  EXPECT_TRUE(w->writeMosaic && w->writePanels && w->paced && w->stages && w->precise &&
              w->verbose);
  EXPECT_EQ(w->mosaicName, "m.avi");
  EXPECT_EQ(w->csvName, "rows.csv");
  EXPECT_EQ(w->maxFrames, 9);
  EXPECT_EQ(w->streamEndpoint, kDefaultStreamEndpoint);
  EXPECT_EQ(w->mappingFile, "p.txt");
  EXPECT_TRUE(w->screenGiven);
  EXPECT_EQ(w->screenWidth, 800);
  EXPECT_EQ(w->screenHeight, 600);
}

TEST(ReplayOptionsTest, HelpListsEveryOptionTheParserKnows) {
  const std::string usage = ReplayUsage();
  for (const std::string& flag : ReplayOptionNames())
    EXPECT_NE(usage.find(flag), std::string::npos) << flag;
  EXPECT_NE(ReplayVersion().find("pupiltrak08-replay "), std::string::npos);
}

TEST(ReplayOptionsTest, HelpNamesEveryFlagWithAnExample) {
  std::string usage = ReplayUsage();
  for (const char* flag : {"--input",          "--camera",
                           "--output-dir",     "--csv",
                           "--mosaic",         "--panels",
                           "--max-frames",     "--paced",
                           "--quiet",          "--eye-regions",
                           "--gaze-direction", "--equalize-hist1",
                           "--equalize-hist2", "--finder1-param1",
                           "--finder1-param2", "--finder2-param1",
                           "--finder2-param2", "--demo-accuracy-frames",
                           "--seed",           "--precise",
                           "Examples:"})
    EXPECT_NE(usage.find(flag), std::string::npos) << flag;
}

TEST(ReplayReportTest, RowsLeaveStagesThatDidNotRunEmpty) {
  FrameResults r;
  r.faceFound = true;
  r.faceRect[0] = 10;
  r.faceRect[1] = 20;
  r.faceRect[2] = 110;
  r.faceRect[3] = 120;
  r.pupilFound[0] = true;
  r.pupilPos[0] = {40, 50};
  r.dxL = -1.5;
  r.dyL = 2.25;
  r.dxR = 99;  // stale: eye region 2 has no pupil in this frame
  FrameRow row;
  row.frame = 3;
  row.timeMs = 100;
  row.frameMs = 4.5;
  std::string line = CsvRow(row, r, true);
  EXPECT_EQ(line, "3,100.000,1,10,20,110,120,1,40,50,0,,,-1.5000,2.2500,,,0,,4.500,,\n");
  // The header has as many columns as a row, with and without the demo's targets.
  auto count = [](const std::string& s) { return std::count(s.begin(), s.end(), ','); };
  EXPECT_EQ(count(CsvHeader()), count(line));
  r.faceFound = false;
  EXPECT_EQ(CsvRow(row, r, true), "3,100.000,0,,,,,0,,,0,,,,,,,0,,4.500,,\n");
  row.gazeFound = true;
  row.gazeX = 612.345;
  row.gazeY = -3.5;
  EXPECT_EQ(CsvRow(row, r, true), "3,100.000,0,,,,,0,,,0,,,,,,,0,,4.500,612.35,-3.50\n");
  const struct {
    bool hasTarget;
    int phase;
    const char* tail;
  } targets[] = {{false, kNoPhase, "612.35,-3.50,,,\n"},
                 {true, 4, "612.35,-3.50,512.0,355.5,4\n"},
                 {true, kAccuracyPhase, "612.35,-3.50,512.0,355.5,accuracy\n"}};
  for (const auto& t : targets) {
    row.hasTarget = t.hasTarget;
    row.targetX = 512;
    row.targetY = 355.5;
    row.phase = t.phase;
    const std::string withTargets = CsvRow(row, r, true, true);
    EXPECT_EQ(withTargets.substr(withTargets.size() - std::strlen(t.tail)), t.tail);
    EXPECT_EQ(count(CsvHeader(true)), count(withTargets));
  }
}

TEST(ReplayReportTest, SummaryPercentilesAndRates) {
  ReplaySummary s;
  FrameResults r;
  r.faceFound = true;
  for (int i = 1; i <= 100; ++i) {
    FrameRow row;
    row.frameMs = i;
    r.pupilFound[0] = r.pupilFound[1] = (i % 2 == 0);
    row.blink = (i % 10 == 0);
    s.Add(row, r, StageTimings{});
  }
  EXPECT_DOUBLE_EQ(s.MedianMs(), 50);
  EXPECT_DOUBLE_EQ(s.Percentile95Ms(), 95);
  std::string text = s.Format(2.0);
  EXPECT_NE(text.find("frames: 100"), std::string::npos);
  EXPECT_NE(text.find("both pupils: 50.0 %"), std::string::npos);
  EXPECT_NE(text.find("blinks: 10"), std::string::npos);
  EXPECT_NE(text.find("frames per second: 50.0"), std::string::npos);
  EXPECT_EQ(ReplaySummary().MedianMs(), 0);
}

TEST(ReplayReportTest, StageTableOnlyWhenAskedForWithEveryStage) {
  ReplaySummary plain;
  FrameRow row;
  plain.Add(row, FrameResults{}, StageTimings{});
  EXPECT_EQ(plain.FormatStages(), "");
  EXPECT_TRUE(plain.stages.empty()) << "nothing kept per frame unless asked for";

  ReplaySummary s;
  s.keepStages = true;
  for (int i = 1; i <= 1200; ++i) {
    StageTimings t;
    t.face = i <= 1000 ? 5.0 : 9.0;
    t.finder1 = 2.5;
    t.faceAhead = i > 500 ? 7.0 : 0.0;
    row.frameMs = t.face + t.finder1;
    s.Add(row, FrameResults{}, t);
  }
  EXPECT_GT(s.residentAfter1000Kb, 0) << "memory read after the 1000th frame";
  ResidentMemoryKb(&s.residentAtEndKb, &s.residentPeakKb);
  EXPECT_GE(s.residentPeakKb, s.residentAtEndKb);
  const std::string text = s.FormatStages();
  EXPECT_NE(text.find("face detection                       5.000    5.667    9.000"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("finder 1 (both eyes)                 2.500    2.500    2.500"),
            std::string::npos)
      << text;
  for (const char* name :
       {"grey, small image", "finder 2", "tiles", "panels", "whole frame (all stages)",
        "resident memory after 1000 frames", "after 1200 frames",
        "face, found ahead (other thread)     7.000    4.083    7.000"})
    EXPECT_NE(text.find(name), std::string::npos) << name;
}

TEST(AtomicOutputFileTest, OnlyACommittedFileAppearsUnderItsName) {
  std::string path = testing::TempDir() + "atomic_test.csv";
  std::remove(path.c_str());
  std::string error;
  {
    AtomicOutputFile f(path);
    ASSERT_TRUE(f.Open(&error));
    f.Write("half");
    EXPECT_FALSE(std::ifstream(path).good()) << "nothing under the final name while writing";
  }  // abandoned: the partial file is removed too
  EXPECT_FALSE(std::ifstream(path).good());
  EXPECT_FALSE(std::ifstream(path + ".partial").good());
  AtomicOutputFile g(path);
  ASSERT_TRUE(g.Open(&error));
  g.Write("whole\n");
  ASSERT_TRUE(g.Commit(&error)) << error;
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "whole\n");
  AtomicOutputFile bad("/nonexistent-folder/x.csv");
  EXPECT_FALSE(bad.Open(&error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
}
