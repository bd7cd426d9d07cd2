// The protocol stream: line formats, the file in append mode, failures and a second open while
// another thread writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"

using namespace pupiltrak;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// An in-memory "file" that streams append to, as the real file in append mode would.
struct MemoryFile {
  std::mutex mutex;
  std::string content;
  int opened = 0;
  int writesLeft = -1;  // >= 0: writes that succeed before every later one fails
};

class MemoryStream : public ProtocolStream {
 public:
  explicit MemoryStream(MemoryFile& file) : file_(file) {}
  bool Write(const std::string& text) override {
    std::lock_guard<std::mutex> lock(file_.mutex);
    if (file_.writesLeft == 0) return false;
    if (file_.writesLeft > 0) --file_.writesLeft;
    file_.content += text;
    return true;
  }

 private:
  MemoryFile& file_;
};

ProtocolOpener MemoryOpener(MemoryFile& file) {
  return [&file](const std::string&, std::string*) -> std::unique_ptr<ProtocolStream> {
    std::lock_guard<std::mutex> lock(file.mutex);
    ++file.opened;
    return std::make_unique<MemoryStream>(file);
  };
}

}  // namespace

TEST(ProtocolFormatTest, TwoDecimalsRoundLikePrintf) {
  EXPECT_EQ(FormatFixed2(-1.234), "-1.23");
  EXPECT_EQ(FormatFixed2(-1.235), "-1.24");  // -1.2350000000000000977 rounds away
  EXPECT_EQ(FormatFixed2(2.675), "2.67");    // 2.67499999999999982236431605997495353221893310546875
  EXPECT_EQ(FormatFixed2(0), "0.00");
  EXPECT_EQ(FormatFixed2(-0.001), "-0.00");
  EXPECT_EQ(FormatFixed2(12345.6789), "12345.68");
  char buf[64];
  for (int i = -2000; i <= 2000; ++i) {
    const double v = i * 0.0137 - 0.00049;
    std::snprintf(buf, sizeof buf, "%.2f", v);
    ASSERT_EQ(FormatFixed2(v), buf) << v;
  }
}

TEST(ProtocolFormatTest, SampleLineHasTabsAndCrLf) {
  EXPECT_EQ(SampleLineText(0, 0, -1.234, 2.5, 0.005, -0.006),
            "Point = 0\tSample = 0\tdxL = -1.23\tdyL = 2.50\tdxR = 0.01\tdyR = -0.01\r\n");
  EXPECT_EQ(SampleLineText(8, 39, 10, -10, 0, 3.999),
            "Point = 8\tSample = 39\tdxL = 10.00\tdyL = -10.00\tdxR = 0.00\tdyR = 4.00\r\n");
}

TEST(CalibrationProtocolTest, LinesGoToTheOpenStreamOnlyAndCloseWritesTheLastLines) {
  MemoryFile file;
  CalibrationProtocol protocol(MemoryOpener(file));
  protocol.Write("early\r\n");  // nothing open: dropped
  EXPECT_FALSE(protocol.IsOpen());
  protocol.Close("accuracy\r\n");  // nothing open: nothing written
  ASSERT_TRUE(protocol.Open("p"));
  EXPECT_TRUE(protocol.IsOpen());
  protocol.Write("a\r\n");
  protocol.Write("b\r\n");
  protocol.Close("end\r\n");
  EXPECT_FALSE(protocol.IsOpen());
  protocol.Write("late\r\n");
  EXPECT_EQ(file.content, "a\r\nb\r\nend\r\n");
  EXPECT_EQ(protocol.Dropped(), 2);
  EXPECT_EQ(protocol.FailedWrites(), 0);
}

TEST(CalibrationProtocolTest, AFailingStreamIsCountedAndEarlierLinesStayIntact) {
  MemoryFile file;
  file.writesLeft = 2;
  CalibrationProtocol protocol(MemoryOpener(file));
  ASSERT_TRUE(protocol.Open("p"));
  for (int i = 0; i < 5; ++i) protocol.Write("line " + std::to_string(i) + "\r\n");
  protocol.Close("end\r\n");
  EXPECT_EQ(file.content, "line 0\r\nline 1\r\n");
  EXPECT_EQ(protocol.FailedWrites(), 4);
  EXPECT_FALSE(protocol.IsOpen());
}

TEST(CalibrationProtocolTest, AnOpenerThatFailsLeavesTheProtocolClosedWithTheReason) {
  CalibrationProtocol protocol([](const std::string&, std::string* error) {
    *error = "No space left on device";
    return std::unique_ptr<ProtocolStream>();
  });
  std::string error;
  EXPECT_FALSE(protocol.Open("p", &error));
  EXPECT_EQ(error, "No space left on device");
  EXPECT_FALSE(protocol.IsOpen());
  protocol.Write("x\r\n");
  EXPECT_EQ(protocol.Dropped(), 1);
}

TEST(CalibrationProtocolFileTest, AppendsWithCrLfAcrossOpens) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("CalibrationProtocol.txt").toStdString();
  {
    std::ofstream earlier(path, std::ios::binary);
    earlier << "from an earlier program run\r\n";
  }
  CalibrationProtocol protocol;
  ASSERT_TRUE(protocol.Open(path));
  protocol.Write(SampleLineText(0, 0, -1.234, 0, 0, 0));
  // Written straight through: another reader sees the line before the stream is closed.
  EXPECT_EQ(ReadAll(path),
            "from an earlier program run\r\n"
            "Point = 0\tSample = 0\tdxL = -1.23\tdyL = 0.00\tdxR = 0.00\tdyR = 0.00\r\n");
  ASSERT_TRUE(protocol.Open(path));  // a second Calibrate: the first stream ends, all kept
  protocol.Write("second\r\n");
  protocol.Close("closing\r\n");
  EXPECT_EQ(ReadAll(path),
            "from an earlier program run\r\n"
            "Point = 0\tSample = 0\tdxL = -1.23\tdyL = 0.00\tdxR = 0.00\tdyR = 0.00\r\n"
            "second\r\nclosing\r\n");
}

TEST(CalibrationProtocolFileTest, PlacesThatCannotBeWrittenFailToOpenWithAReason) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::vector<std::string> paths;
  // The file name taken by a directory.
  ASSERT_TRUE(QDir(dir.path()).mkdir("CalibrationProtocol.txt"));
  paths.push_back(dir.filePath("CalibrationProtocol.txt").toStdString());
  // A directory that does not exist, and one where nobody (not even root) may create files.
  paths.push_back(dir.filePath("missing/CalibrationProtocol.txt").toStdString());
  paths.push_back("/proc/CalibrationProtocol.txt");
  for (const std::string& path : paths) {
    CalibrationProtocol protocol;
    std::string error;
    EXPECT_FALSE(protocol.Open(path, &error)) << path;
    EXPECT_FALSE(error.empty()) << path;
    protocol.Write("dropped\r\n");
    protocol.Close("dropped\r\n");
    EXPECT_EQ(protocol.Dropped(), 1);
  }
}

TEST(CalibrationProtocolFileTest, WritesToAFullDiskFailQuietly) {
  std::string error;
  auto stream = OpenProtocolFile("/dev/full", &error);
  ASSERT_TRUE(stream) << error;
  EXPECT_FALSE(stream->Write("Point = 0\r\n"));
  EXPECT_FALSE(stream->Write("Point = 1\r\n"));

  CalibrationProtocol protocol;
  ASSERT_TRUE(protocol.Open("/dev/full"));
  protocol.Write("x\r\n");
  protocol.Close("y\r\n");
  EXPECT_EQ(protocol.FailedWrites(), 2);
  EXPECT_FALSE(protocol.IsOpen());
}

TEST(CalibrationProtocolConcurrencyTest, ReopeningWhileAnotherThreadWritesKeepsEveryLineInOrder) {
  MemoryFile file;
  CalibrationProtocol protocol(MemoryOpener(file));
  ASSERT_TRUE(protocol.Open("p"));
  constexpr int kLines = 20000;
  std::atomic<bool> started{false};
  std::thread writer([&] {
    for (int i = 0; i < kLines; ++i) {
      protocol.Write(std::to_string(i) + "\r\n");
      if (i == 100) started = true;
    }
  });
  while (!started) std::this_thread::yield();
  int reopened = 0;
  for (; reopened < 2000; ++reopened) ASSERT_TRUE(protocol.Open("p"));
  writer.join();
  protocol.Close("");

  std::string expected;
  for (int i = 0; i < kLines; ++i) expected += std::to_string(i) + "\r\n";
  EXPECT_EQ(file.content, expected);
  EXPECT_EQ(file.opened, 1 + reopened);
  EXPECT_EQ(protocol.Dropped(), 0);
}

TEST(ProtocolMappingReaderTest, TakesTheLastCompleteReportAndNamesTheLineOfAGarbledOne) {
  const std::string report1 =
      "Left eye mapping:\nGazeLX = 40.00 * dx + 0.50 * dy + 512.00 Error = 3.00\n"
      "GazeLY = 0.25 * dx + -38.50 * dy + 355.00 Error = 4.00\n\nRight eye mapping:\n"
      "GazeRX = 41.00 * dx + 0.00 * dy + 500.00 Error = 5.00\n"
      "GazeRY = 0.00 * dx + 39.00 * dy + 350.00 Error = 6.00\n\n";
  std::string report2 = report1;
  report2.replace(report2.find("512.00"), 6, "600.25");
  const std::string failedFit =
      "Left eye mapping:\nGazeLX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00\n"
      "GazeLY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00\n"
      "Fit failed (singular matrix): GazeLX and GazeLY were not fitted and keep the values "
      "above\n\nRight eye mapping:\nGazeRX = 1.00 * dx + 0.00 * dy + 0.00 Error = 0.00\n"
      "GazeRY = 0.00 * dx + 1.00 * dy + 0.00 Error = 0.00\n\n";
  auto crlf = [](std::string s) {
    for (size_t i = 0; (i = s.find('\n', i)) != std::string::npos; i += 2) s.insert(i, "\r");
    return s;
  };
  const struct {
    const char* what;
    std::string text;
    double gazeLXc;         // the c of GazeLX read, or NAN when refused
    const char* errorPart;  // a part of the refusal, or of the warning when read
  } cases[] = {
      {"LF", "Point = 0\tSample = 0\n\n" + report1, 512.0, ""},
      {"CR LF as written", crlf("Point = 0\n" + report1), 512.0, ""},
      {"the last of two", report1 + "Accuracy (RMS) in pixels: 3.00\n\n" + report2, 600.25, ""},
      {"a failed fit after a good one: the good one, named",
       report1 + "Corresponding video file: a.avi\n\n" + failedFit, 512.0,
       "fit failed (the report at line 11); the gaze comes from the older complete report at "
       "line 1 (\"Corresponding video file: a.avi\")"},
      {"a failed fit before a good one: no warning", failedFit + report2, 600.25, ""},
      {"a report cut off at the end", report1 + report2.substr(0, 60), 512.0, ""},
      {"no report", "Point = 0\tSample = 0\tdxL = 1.00\n", NAN, "holds no complete mapping"},
      {"only a failed fit", failedFit, NAN,
       "p.txt: the last calibration's fit failed, so it gave no mapping (the report at line 1 "
       "says \"Fit failed (singular matrix)"},
      {"garbled number", "x\n" + report1.substr(0, 27) + "4O.00" + report1.substr(32), NAN,
       "p.txt, line 3: expected \"GazeLX = a * dx"},
      {"missing right heading",
       report1.substr(0, report1.find("Right")) + "Rght eye mapping:\n" +
           report1.substr(report1.find("GazeRX")),
       NAN, "p.txt, line 5: expected \"Right eye mapping:\""},
      {"trailing text",
       crlf(report1.substr(0, report1.find("\nGazeLY")) + " extra" +
            report1.substr(report1.find("\nGazeLY"))),
       NAN, "line 2"},
  };
  for (const auto& c : cases) {
    GazeMapping m;
    std::string error;
    std::string warning = "stale";
    const bool ok = ReadLastMapping(c.text, "p.txt", &m, &error, nullptr, &warning);
    if (std::isnan(c.gazeLXc)) {
      EXPECT_FALSE(ok) << c.what;
      EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.what << ": " << error;
      EXPECT_EQ(error.find('\n'), std::string::npos) << c.what << ": one sentence";
    } else {
      ASSERT_TRUE(ok) << c.what << ": " << error;
      if (c.errorPart[0] == '\0')
        EXPECT_EQ(warning, "") << c.what;
      else
        EXPECT_NE(warning.find(c.errorPart), std::string::npos) << c.what << ": " << warning;
      EXPECT_DOUBLE_EQ(m.GazeLX.c, c.gazeLXc) << c.what;
      EXPECT_DOUBLE_EQ(m.GazeLY.b, -38.5) << c.what;
      EXPECT_DOUBLE_EQ(m.GazeRX.a, 41.0) << c.what;
      EXPECT_DOUBLE_EQ(m.GazeRY.Error, 6.0) << c.what;
    }
  }
}
