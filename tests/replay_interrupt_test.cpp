// Ctrl-C and SIGTERM during a replay and a batch: the real program, interrupted mid-run, keeps
// whole rows, a playable mosaic and a summary of every input.
#include <signal.h>

#include <opencv2/videoio.hpp>
#include <regex>

#include "ReplayBatch.h"
#include "ReplayReport.h"
#include "replay_child.h"

namespace {

// A plain moving picture, cheap to write and to replay (no face: nothing to find).
void MakePlainVideo(const std::string& path, int frames) {
  cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0,
                         cv::Size(160, 120), true);
  ASSERT_TRUE(writer.isOpened()) << path;
  for (int i = 0; i < frames; ++i)
    writer.write(cv::Mat(120, 160, CV_8UC3, cv::Scalar(i % 256, 80, 160)));
}

std::string FreshDir(const std::string& name) {
  const std::string dir =
      testing::TempDir() + "replay_interrupt_" + std::to_string(::getpid()) + "_" + name;
  EXPECT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  return dir;
}

bool HasRows(const std::string& file, size_t rows) { return Lines(Slurp(file)).size() > rows; }

// Every line of a committed CSV has the header's number of fields, and the file ends on a line
// end.
void ExpectWholeRows(const std::string& csv, const std::string& what) {
  const std::string text = Slurp(csv);
  ASSERT_FALSE(text.empty()) << what;
  EXPECT_EQ(text.back(), '\n') << what;
  const auto lines = Lines(text);
  const auto fields = std::count(lines[0].begin(), lines[0].end(), ',');
  for (const std::string& line : lines)
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), fields) << what << ": " << line;
}

// The number N of "interrupted at frame N" in text, or -1.
long InterruptedAt(const std::string& text) {
  std::smatch m;
  return std::regex_search(text, m, std::regex("interrupted at frame ([0-9]+)")) ? std::stol(m[1])
                                                                                 : -1;
}

}  // namespace

TEST(ReplayInterruptTest, AReplayStoppedBySignalKeepsWholeRowsAndAPlayableMosaic) {
  for (int sig : {SIGINT, SIGTERM}) {
    const std::string dir = FreshDir(std::to_string(sig));
    MakePlainVideo(dir + "/long.avi", 600);
    // Paced: 20 s of video, so that the signal surely comes mid-run.
    const pid_t pid = StartReplay(
        dir, {"long.avi", "--paced", "--quiet", "--mosaic", "m.avi", "--output-dir", "out"});
    ASSERT_TRUE(WaitInFolder(
        dir, [&] { return ::access((dir + "/out").c_str(), F_OK) == 0; },
        std::chrono::seconds(60)));
    ASSERT_TRUE(WaitInFolder(
        dir + "/out", [&] { return HasRows(dir + "/out/frames.csv.partial", 2); },
        std::chrono::seconds(60)))
        << "no rows written";
    ::kill(pid, sig);
    const int status = WaitFor(pid);
    ASSERT_TRUE(WIFEXITED(status)) << sig;
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);

    const std::string err = Slurp(dir + "/stderr.txt");
    const long at = InterruptedAt(err);
    EXPECT_GT(at, 1) << err;
    EXPECT_LT(at, 600) << err;
    EXPECT_EQ(::access((dir + "/out/frames.csv.partial").c_str(), F_OK), -1);
    ExpectWholeRows(dir + "/out/frames.csv", "signal " + std::to_string(sig));
    EXPECT_EQ(static_cast<long>(Lines(Slurp(dir + "/out/frames.csv")).size()), at + 1) << err;

    cv::VideoCapture mosaic(dir + "/out/m.avi");
    ASSERT_TRUE(mosaic.isOpened()) << "the mosaic is closed and playable";
    cv::Mat frame;
    EXPECT_TRUE(mosaic.read(frame) && frame.cols == 320 && frame.rows == 240);
  }
}

TEST(ReplayInterruptTest, ASecondSignalEndsAtOnceAndThePartialFilesKeepTheirNames) {
  const std::string dir = FreshDir("twice");
  MakePlainVideo(dir + "/long.avi", 600);
  const pid_t pid = StartReplay(dir, {"long.avi", "--paced", "--quiet", "--output-dir", "."});
  ASSERT_TRUE(WaitInFolder(
      dir, [&] { return HasRows(dir + "/frames.csv.partial", 2); }, std::chrono::seconds(60)));
  // Two different signals: both are pending even if the first has not been handled yet.
  ::kill(pid, SIGINT);
  ::kill(pid, SIGTERM);
  const int status = WaitFor(pid);
  // Which of the two counts as the second depends on which thread takes which first.
  ASSERT_TRUE(WIFSIGNALED(status)) << "ended at once, by the signal's default action";
  EXPECT_TRUE(WTERMSIG(status) == SIGTERM || WTERMSIG(status) == SIGINT);
  EXPECT_EQ(::access((dir + "/frames.csv.partial").c_str(), F_OK), 0);
  EXPECT_EQ(::access((dir + "/frames.csv").c_str(), F_OK), -1);
}

TEST(ReplayInterruptTest, ABatchPassesTheSignalOnAndSummarisesEveryInput) {
  for (int sig : {SIGTERM, SIGINT}) {
    const std::string dir = FreshDir("batch" + std::to_string(sig));
    MakePlainVideo(dir + "/a.avi", 3);
    MakePlainVideo(dir + "/b.avi", 3);
    for (const char* name : {"c.avi", "d.avi", "e.avi"}) MakePlainVideo(dir + "/" + name, 600);
    // Two short inputs finish, two long ones are cut short, one never starts.
    const pid_t pid = StartReplay(dir, {"a.avi", "b.avi", "c.avi", "d.avi", "e.avi", "--jobs", "2",
                                        "--paced", "--quiet", "--output-dir", "out"});
    ASSERT_TRUE(WaitInFolder(
        dir, [&] { return ::access((dir + "/out").c_str(), F_OK) == 0; },
        std::chrono::seconds(60)));
    ASSERT_TRUE(WaitInFolder(
        dir + "/out", [&] { return ::access((dir + "/out/d").c_str(), F_OK) == 0; },
        std::chrono::seconds(60)));
    ASSERT_TRUE(WaitInFolder(
        dir + "/out/d", [&] { return HasRows(dir + "/out/d/frames.csv.partial", 2); },
        std::chrono::seconds(60)));
    ::kill(pid, sig);
    const int status = WaitFor(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);

    const auto rows = Lines(Slurp(dir + "/out/summary.csv"));
    ASSERT_EQ(rows.size(), 6u) << "a row for every input";
    const std::string code = "," + std::to_string(128 + sig) + ",";
    for (int i : {1, 2}) EXPECT_NE(rows[i].find("3,"), std::string::npos) << rows[i];
    for (int i : {1, 2}) EXPECT_EQ(rows[i].substr(rows[i].size() - 3), ",0,") << rows[i];
    for (int i : {3, 4}) {
      EXPECT_NE(rows[i].find(code + "interrupted at frame"), std::string::npos) << rows[i];
      const std::string folder = dir + "/out/" + std::string(1, static_cast<char>('a' + i - 1));
      ExpectWholeRows(folder + "/frames.csv", rows[i]);
      EXPECT_EQ(InterruptedAt(Slurp(folder + "/replay.log")),
                static_cast<long>(Lines(Slurp(folder + "/frames.csv")).size()) - 1);
    }
    EXPECT_NE(rows[5].find(code + "not started: the batch was interrupted"), std::string::npos)
        << rows[5];
    EXPECT_NE(Slurp(dir + "/stderr.txt").find("interrupted by SIG"), std::string::npos);
  }
}
