// Odd inputs and wrong values, on the real program: bad images of a folder or a pattern are
// skipped and named, and every wrong value is refused with a sentence and its exit status.
#include <opencv2/imgcodecs.hpp>

#include "face_video.h"
#include "replay_child.h"

namespace {

std::string FreshDir(const std::string& name) {
  const std::string dir =
      testing::TempDir() + "replay_inputs_" + std::to_string(::getpid()) + "_" + name;
  EXPECT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  return dir;
}

// The CRC of a PNG chunk (type and data), so that a changed header is still a valid one.
uint32_t PngCrc(const unsigned char* bytes, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

// The kinds of bad image file.
enum class Bad { Huge, Empty, Garbage, Cut };

void WriteBad(const std::string& path, Bad kind) {
  const cv::Mat picture(48, 64, CV_8UC3, cv::Scalar(40, 90, 200));
  std::vector<uchar> png;
  cv::imencode(".png", picture, png);
  std::string bytes(png.begin(), png.end());
  if (kind == Bad::Huge) {
    // The header claims 60000 x 60000 pixels: refused before any decoding.
    // A valid header with a valid CRC: the decoder would try to allocate 3.6 gigapixels.
    const unsigned char size[8] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60};
    bytes.replace(16, 8, reinterpret_cast<const char*>(size), 8);
    const uint32_t crc = PngCrc(reinterpret_cast<const unsigned char*>(bytes.data()) + 12, 17);
    const unsigned char crcBytes[4] = {
        static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
        static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
    bytes.replace(29, 4, reinterpret_cast<const char*>(crcBytes), 4);
  }
  if (kind == Bad::Empty) bytes.clear();
  if (kind == Bad::Garbage) bytes = "not an image at all";
  if (kind == Bad::Cut) bytes = bytes.substr(0, bytes.size() / 2);
  std::ofstream(path, std::ios::binary) << bytes;
}

void WriteGood(const std::string& path, int i) {
  cv::imwrite(path, cv::Mat(48, 64, CV_8UC3, cv::Scalar(i * 20, 90, 200)));
}

}  // namespace

// Each row: the images of a folder or a pattern, some bad, some numbers missing.
TEST(ReplayImagesTest, BadImagesAnywhereAreSkippedAndNamedAndTheRestIsRead) {
  struct Row {
    const char* what;
    bool pattern;
    std::vector<int> bad;      // positions of bad images among 0 .. count - 1
    std::vector<int> missing;  // pattern numbers left out
    int count;
    int exitStatus;
    long frames;  // rows of frames.csv
  };
  const Row rows[] = {
      {"folder: bad at start, middle and end", false, {0, 5, 11}, {}, 12, 0, 9},
      {"pattern: bad at start, middle and end", true, {0, 5, 11}, {}, 12, 0, 9},
      {"pattern with a gap", true, {}, {4}, 11, 0, 10},
      {"folder of bad images only", false, {0, 1, 2, 3}, {}, 4, 2, -1},
      {"pattern of bad images only", true, {0, 1, 2}, {}, 3, 2, -1},
  };
  int n = 0;
  for (const Row& row : rows) {
    const std::string dir = FreshDir(std::to_string(n++));
    ASSERT_EQ(::mkdir((dir + "/img").c_str(), 0755), 0);
    std::vector<std::string> named;
    for (int i = 0; i < row.count; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "img/f%03d.png", i);
      const std::string path = dir + "/" + name;
      if (std::count(row.missing.begin(), row.missing.end(), i)) {
        named.push_back(name);
        continue;
      }
      const auto bad = std::find(row.bad.begin(), row.bad.end(), i);
      if (bad == row.bad.end()) {
        WriteGood(path, i);
      } else {
        WriteBad(path, static_cast<Bad>((bad - row.bad.begin()) % 4));
        named.push_back(name);
      }
    }
    const std::string input = row.pattern ? "img/f%03d.png" : "img";
    EXPECT_EQ(RunReplay(dir, {input, "--quiet", "--output-dir", "out"}), row.exitStatus)
        << row.what;
    const std::string err = Slurp(dir + "/stderr.txt");
    for (const std::string& name : named)
      EXPECT_NE(err.find("skipped " + name + ": "), std::string::npos)
          << row.what << ": " << name << "\n"
          << err;
    if (row.frames >= 0) {
      EXPECT_EQ(static_cast<long>(Lines(Slurp(dir + "/out/frames.csv")).size()), row.frames + 1)
          << row.what;
      EXPECT_NE(err.find("skipped files: " + std::to_string(named.size())), std::string::npos)
          << row.what << "\n"
          << err;
    } else {
      EXPECT_NE(err.find("could be read"), std::string::npos) << row.what << "\n" << err;
      EXPECT_EQ(::access((dir + "/out/frames.csv").c_str(), F_OK), -1) << row.what;
    }
  }
}

// Arguments and the files they name -> exit status and a part of the message.
TEST(ReplayValueErrorsTest, EveryWrongValueIsNamedWithItsExitStatus) {
  const std::string dir = FreshDir("values");
  WriteFaceVideo(dir + "/v.avi", 4, [](int) { return FaceVideoFrame{}; });
  const std::string report =
      "Left eye mapping:\nGazeLX = 40.00 * dx + 0.50 * dy + 512.00 Error = 3.00\n"
      "GazeLY = 0.25 * dx + -38.50 * dy + 355.00 Error = 4.00\n\nRight eye mapping:\n"
      "GazeRX = 41.00 * dx + 0.00 * dy + 500.00 Error = 5.00\n"
      "GazeRY = 0.00 * dx + 39.00 * dy + 350.00 Error = 6.00\n\n";
  const std::string failed =
      "Left eye mapping:\nGazeLX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00\n"
      "GazeLY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00\n"
      "Fit failed (singular matrix): GazeLX and GazeLY were not fitted and keep the values "
      "above\n\nRight eye mapping:\nGazeRX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00\n"
      "GazeRY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00\n\n";
  std::string huge = report;
  for (const char* a : {"40.00 * dx", "0.25 * dx", "41.00 * dx", "0.00 * dx + 39"})
    huge.replace(huge.find(a), std::string(a).find(" * dx"), "1e308");
  std::ofstream(dir + "/failed.txt") << failed;
  std::ofstream(dir + "/older.txt") << report << "Corresponding video file: a.avi\n\n" << failed;
  std::ofstream(dir + "/huge.txt") << huge;
  std::ofstream(dir + "/file.txt") << "a file where a folder should be";

  struct Row {
    std::vector<std::string> args;
    int exitStatus;
    const char* message;  // a part of standard error
  };
  const Row rows[] = {
      {{"v.avi", "--mapping", "--both"},
       1,
       "option --mapping needs a calibration protocol file, not the option '--both'"},
      {{"v.avi", "--csv", "--quiet"}, 1, "not the option '--quiet'"},
      {{"--max-frames", "5"}, 1, "the demo (no input given) does not use --max-frames"},
      {{"--mapping", "failed.txt"}, 1, "does not use --mapping"},
      {{"v.avi", "--seed", "3"}, 1, "--seed is for the demo only"},
      {{"v.avi", "--stream", "tcp://127.0.0.1:99999"},
       1,
       "the port 99999 of tcp://127.0.0.1:99999 is outside 1 to 65535"},
      {{"v.avi", "v.avi", "--stream"}, 1, "give one input with --stream (2 inputs given)"},
      {{"v.avi", "--stream", "tcp://no-such-host.invalid:5571"},
       2,
       "the host name 'no-such-host.invalid' cannot be resolved"},
      {{"v.avi", "--quiet", "--stream", "tcp://localhost:*"}, 0, "messages to tcp://127.0.0.1:"},
      {{"v.avi", "--output-dir", "file.txt/out"}, 2, "file.txt is a file, not a folder"},
      {{"v.avi", "--mapping", "failed.txt"},
       2,
       "failed.txt: the last calibration's fit failed, so it gave no mapping"},
      {{"v.avi", "--quiet", "--mapping", "older.txt", "--output-dir", "older"},
       0,
       "warning: older.txt: the last calibration's fit failed (the report at line 11); the gaze "
       "comes from the older complete report at line 1"},
      {{"v.avi", "--quiet", "--mapping", "huge.txt", "--output-dir", "huge"}, 0, "CSV: "},
  };
  for (const Row& row : rows) {
    std::string line;
    for (const std::string& a : row.args) line += a + " ";
    EXPECT_EQ(RunReplay(dir, row.args), row.exitStatus) << line;
    const std::string err = Slurp(dir + "/stderr.txt");
    EXPECT_NE(err.find(row.message), std::string::npos) << line << "\n" << err;
  }
  // A coefficient of 1e308 overflows: those frames have no gaze, never inf.
  const std::string csv = Slurp(dir + "/huge/frames.csv");
  EXPECT_FALSE(csv.empty());
  EXPECT_EQ(csv.find("inf"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("nan"), std::string::npos) << csv;
}
