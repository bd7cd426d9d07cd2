// The accuracy sums and their three protocol lines.
#include <gtest/gtest.h>

#include <vector>

#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationProtocol.h"

using namespace pupiltrak;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size());
  return lines;
}

std::vector<std::string> Expected(const std::string& px, const std::string& mm,
                                  const std::string& deg) {
  return {"Accuracy (RMS) in pixels: " + px, "Accuracy (RMS) in millimeters: " + mm,
          "Accuracy (RMS) in degrees (500 mm screen distance assumed): " + deg, ""};
}

}  // namespace

TEST(AccuracyMeasuresTest, PointDistanceIsEuclidean) {
  EXPECT_DOUBLE_EQ(PointDistance(0, 0, 3, 4), 5);
  EXPECT_DOUBLE_EQ(PointDistance(103, 204, 100, 200), 5);
  EXPECT_DOUBLE_EQ(PointDistance(-1, -1, -1, -1), 0);
}

TEST(AccuracyMeasuresTest, MillimetresAreTruncatedAndDegreesComeFromThem) {
  EXPECT_DOUBLE_EQ(PixelsToMillimetres(3, 1280), 0);     // 0.839
  EXPECT_DOUBLE_EQ(PixelsToMillimetres(40, 1024), 13);   // 13.984
  EXPECT_DOUBLE_EQ(PixelsToMillimetres(100, 1280), 27);  // 27.97
  EXPECT_NEAR(MillimetresToDegrees(13), 1.489355, 1e-6);
  EXPECT_NEAR(MillimetresToDegrees(27), 3.090970, 1e-6);
}

TEST(AccuracyMeasuresTest, TheThreeLinesForKnownSums) {
  // 300 errors whose squares sum to 2700 on a 1280-wide screen.
  EXPECT_EQ(Lines(AccuracyLinesText({2700, 300}, 1280)), Expected("3.00", "0.00", "0.00"));
  // RMS 40 px on 1024: 13 mm, 1.49 degrees.
  EXPECT_EQ(Lines(AccuracyLinesText({1600 * 7, 7}, 1024)), Expected("40.00", "13.00", "1.49"));
  // RMS 100 px on 1280: 27 mm, 3.09 degrees.
  EXPECT_EQ(Lines(AccuracyLinesText({10000 * 3, 3}, 1280)), Expected("100.00", "27.00", "3.09"));
}

TEST(AccuracyMeasuresTest, NoErrorsSayNotMeasuredInsteadOfNan) {
  const std::string none = "not measured (no gaze estimate in the accuracy test)";
  EXPECT_EQ(Lines(AccuracyLinesText({0, 0}, 1280)), Expected(none, none, none));
  const std::string unknown = "not measured (screen width unknown)";
  EXPECT_EQ(Lines(AccuracyLinesText({2700, 300}, 0)), Expected("3.00", unknown, unknown));
}

TEST(AccuracyMeasuresTest, TwoTestsPoolTheirErrors) {
  AccuracyAccumulator acc;
  // First test: 100 errors of 30 px; second: 100 errors of 50 px. Pooled RMS: sqrt(1700).
  for (int i = 0; i < 100; ++i) AddAccuracySample(acc, 500, 400, 530, 400);
  for (int i = 0; i < 100; ++i) AddAccuracySample(acc, 100, 100, 130, 140);
  const AccuracySums sums = acc.Sums();
  EXPECT_DOUBLE_EQ(sums.count, 200);
  EXPECT_DOUBLE_EQ(sums.sum, 100 * 900.0 + 100 * 2500.0);
  EXPECT_EQ(Lines(AccuracyLinesText(sums, 1024))[0], "Accuracy (RMS) in pixels: 41.23");
  acc.Reset();
  EXPECT_DOUBLE_EQ(acc.Sums().count, 0);
}

TEST(AccuracyMeasuresTest, CloseWritesTheLinesOnlyWhenTheProtocolIsOpen) {
  std::string written;
  struct Sink : ProtocolStream {
    std::string* out;
    explicit Sink(std::string* o) : out(o) {}
    bool Write(const std::string& text) override {
      *out += text;
      return true;
    }
  };
  CalibrationProtocol protocol([&written](const std::string&, std::string*) {
    return std::unique_ptr<ProtocolStream>(new Sink(&written));
  });
  CloseProtocolWithAccuracy(protocol, {2700, 300}, 1280);
  EXPECT_EQ(written, "");
  ASSERT_TRUE(protocol.Open("p"));
  CloseProtocolWithAccuracy(protocol, {2700, 300}, 1280);
  EXPECT_EQ(Lines(written), Expected("3.00", "0.00", "0.00"));
  EXPECT_FALSE(protocol.IsOpen());
}
