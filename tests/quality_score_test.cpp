// Scoring a replay's pupils against annotated eye centres.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "PupilScore.h"

using namespace pupiltrak;

namespace {

const char* kHeader =
    "frame,time_ms,face_found,face_x1,face_y1,face_x2,face_y2,pupil1_found,pupil1_x,pupil1_y,"
    "pupil2_found,pupil2_x,pupil2_y,dxL\n";

std::map<long, EyeCentres> Eyes(const std::string& text) {
  std::istringstream in(text);
  std::map<long, EyeCentres> eyes;
  std::string error;
  EXPECT_TRUE(ReadEyeCentres(in, &eyes, &error)) << error;
  return eyes;
}

TEST(PupilScoreTest, SharesCountMissedPupilsAndTheWorseEyeInInterEyeDistances) {
  // Eyes 100 pixels apart at (100, 50) and (200, 50) in every annotated frame.
  const auto eyes = Eyes(
      "frame,left_x,left_y,right_x,right_y,iod\n0,100,50,200,50,100\n1,100,50,200,50,100\n"
      "2,100,50,200,50,100\n3,100,50,200,50,100\n5,100,50,200,50,100\n");
  std::istringstream frames(
      std::string(kHeader) +
      "0,0,1,0,0,1,1,1,103,54,1,200,50,0\n"  // left eye 5 px off: 0.05
      "1,0,1,0,0,1,1,1,100,50,1,190,50,0\n"  // right eye 10 px off: 0.10
      "2,0,1,0,0,1,1,1,100,50,1,225,50,0\n"  // right eye 25 px off: 0.25
      "3,0,1,0,0,1,1,1,100,50,0,200,50,0\n"  // right pupil missing: a miss at every bound
      "4,0,0" +
      std::string(11, ',') + "\n" +            // no face, not annotated
      "5,0,0" + std::string(11, ',') + "\n");  // no face, annotated: a miss
  PupilScore s;
  std::string error;
  ASSERT_TRUE(ScorePupils(frames, eyes, &s, &error)) << error;
  EXPECT_EQ(s.frames, 6);
  EXPECT_EQ(s.annotated, 5);
  EXPECT_DOUBLE_EQ(s.faceFoundPercent, 100.0 * 4 / 6);
  EXPECT_DOUBLE_EQ(s.bothPupilsPercent, 100.0 * 3 / 6);
  EXPECT_DOUBLE_EQ(s.within005, 20.0);
  EXPECT_DOUBLE_EQ(s.within010, 40.0);
  EXPECT_DOUBLE_EQ(s.within025, 60.0);
  EXPECT_DOUBLE_EQ(s.medianError, 0.25);
  EXPECT_EQ(ScoreRow("run", s), "run,6,66.7,50.0,5,20.0,40.0,60.0,0.250");
}

TEST(PupilScoreTest, FilesThatMakeNoSenseAreRefusedWithTheirLine) {
  const struct {
    const char* eyes;
    const char* frames;
    const char* says;
  } kCases[] = {
      {"frame,left_x,left_y,right_x,right_y,iod\n0,1,2,3,4\n", nullptr, "line 2"},
      {"0,1,2,3,4,0\n", nullptr, "positive iod"},
      {"frame,left_x,left_y,right_x,right_y,iod\n", nullptr, "no annotated frame"},
      {"0,1,2,3,4,5\n", "frame,face_found\n0,1\n", "replay's columns"},
      {"0,1,2,3,4,5\n", "", "empty"},
      {"0,1,2,3,4,5\n", kHeader, "no frame"},
  };
  for (const auto& c : kCases) {
    std::istringstream eyesIn(c.eyes);
    std::map<long, EyeCentres> eyes;
    std::string error;
    bool ok = ReadEyeCentres(eyesIn, &eyes, &error);
    if (ok) {
      ASSERT_NE(c.frames, nullptr) << c.eyes;
      std::istringstream framesIn(c.frames);
      PupilScore s;
      ok = ScorePupils(framesIn, eyes, &s, &error);
    }
    EXPECT_FALSE(ok) << c.says;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

}  // namespace
