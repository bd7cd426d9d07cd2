// Many inputs at once: the real program, re-executing itself as one worker per input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <opencv2/videoio.hpp>
#include <sstream>

#include "FaceFrameGenerator.h"
#include "ReplayBatch.h"
#include "ReplayRun.h"
#include "face_video.h"

using namespace pupiltrak;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) lines.push_back(line);
  return lines;
}

void MakeVideo(const std::string& path, int frames) {
  WriteFaceVideo(path, frames, [](int i) {
    FaceVideoFrame frame;
    frame.shot.noiseSigma = 1.0;
    frame.shot.noiseSeed = static_cast<uint64_t>(i + 1);
    return frame;
  });
}

}  // namespace

TEST(ReplayBatchTest, FolderNamesAreBaseNamesMadeUnique) {
  EXPECT_EQ(BatchFolderNames({"x/take.avi", "y/take.avi", "take.mp4", "shots/img%04d.png",
                              "frames/", "a b,c.avi"}),
            (std::vector<std::string>{"take", "take-2", "take-3", "shots", "frames", "a_b_c"}));
}

TEST(ReplayBatchTest, ThreeVideosOneDamagedWithTwoJobs) {
  const std::string dir = testing::TempDir() + "replay_batch_" + std::to_string(::getpid());
  ASSERT_EQ(
      std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/x' '" + dir + "/y'").c_str()), 0);
  const int frames = 6;
  MakeVideo(dir + "/x/take.avi", frames);
  MakeVideo(dir + "/y/take.avi", frames);
  MakeVideo(dir + "/broken.avi", frames);
  // Damaged: its last two thirds are gone.
  std::string bytes = Slurp(dir + "/broken.avi");
  std::ofstream(dir + "/broken.avi", std::ios::binary) << bytes.substr(0, bytes.size() / 3);

  const std::string program =
      std::string(PUPILTRAK_BINARY_DIR) + "/tools/replay/pupiltrak08-replay";
  const std::string out = dir + "/out";
  const std::string command = "cd '" + dir + "' && '" + program +
                              "' x/take.avi broken.avi y/take.avi --both --jobs 2 --output-dir '" +
                              out + "' > stdout.txt 2> stderr.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitBatchFailed) << "some failed, and the status says so";

  const auto rows = Lines(Slurp(out + "/summary.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0] + "\n", BatchSummaryHeader());
  EXPECT_EQ(rows[1].rfind("x/take.avi,take," + std::to_string(frames) + ",100.0,", 0), 0u)
      << rows[1];
  EXPECT_EQ(rows[3].rfind("y/take.avi,take-2," + std::to_string(frames) + ",100.0,", 0), 0u)
      << rows[3];
  for (int i : {1, 3}) EXPECT_EQ(rows[i].substr(rows[i].size() - 3), ",0,") << rows[i];
  // The damaged one keeps its header and its first frames: those are read, and its row says
  // where it ended, with the status of a truncated input.
  int rowFrames = -1, endedAt = -1;
  ASSERT_EQ(std::sscanf(rows[2].c_str(), "broken.avi,broken,%d,", &rowFrames), 1) << rows[2];
  const std::string ending = "," + std::to_string(kExitTruncated) + ",the input ended at frame ";
  const size_t ended = rows[2].find(ending);
  ASSERT_NE(ended, std::string::npos) << rows[2];
  const std::string where = rows[2].substr(ended + ending.size());
  ASSERT_EQ(std::sscanf(where.c_str(), "%d", &endedAt), 1) << rows[2];
  EXPECT_EQ(where.rfind(std::to_string(endedAt) + " of " + std::to_string(frames) +
                            " (the file looks truncated)",
                        0),
            0u)
      << rows[2];
  EXPECT_EQ(rowFrames, endedAt) << rows[2];
  EXPECT_GT(endedAt, 0) << rows[2];
  EXPECT_LT(endedAt, frames) << rows[2];
  EXPECT_EQ(Lines(Slurp(out + "/broken/frames.csv")).size(), endedAt + 1u);
  for (const char* folder : {"take", "take-2"})
    EXPECT_EQ(Lines(Slurp(out + "/" + folder + "/frames.csv")).size(), frames + 1u) << folder;
  EXPECT_FALSE(Slurp(out + "/broken/replay.log").empty());

  // Nothing on standard error but the program's own lines.
  const std::string err = Slurp(dir + "/stderr.txt");
  for (const std::string& line : Lines(err)) {
    bool own = line.rfind("pupiltrak08-replay: ", 0) == 0 || line.rfind("inputs", 0) == 0 ||
               line.rfind("frames", 0) == 0 || line.rfind("summary: ", 0) == 0;
    EXPECT_TRUE(own) << line;
  }
  EXPECT_NE(err.find("pupiltrak08-replay: broken.avi: "), std::string::npos) << err;
  EXPECT_NE(err.find("1 of 3 inputs failed"), std::string::npos) << err;
  EXPECT_EQ(Slurp(dir + "/stdout.txt"), "");
}
