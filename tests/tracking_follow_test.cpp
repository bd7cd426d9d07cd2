// Following the face from frame to frame, and the smallest face searched for, on generated
// frames of the real test face.
#include <gtest/gtest.h>

#include <functional>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "tracking/FaceDetection.h"
#include "tracking/FaceFollower.h"
#include "tracking_support.h"

using namespace pupiltrak;
using namespace tracking_test;

namespace {

constexpr int kW = 640, kH = 480;

// A generator of the test face whose face is `share` of the frame's height (about 2/3 usually).
gen::FaceFrameGenerator FaceOfHeight(double share) {
  gen::Scene scene = gen::DefaultScene(cv::Size(kW, kH));
  scene.eyeDistance *= share / (2.0 / 3.0);
  return gen::FaceFrameGenerator(LoadPhoto("jesper_2.jpg"), scene);
}

// A picture without a face: a soft grey ramp with a little noise.
cv::Mat NoFace(int seed) {
  cv::Mat frame(kH, kW, CV_8UC3);
  for (int y = 0; y < kH; ++y) frame.row(y).setTo(cv::Scalar::all(90 + y / 8));
  cv::Mat noise(kH, kW, CV_8UC3);
  cv::theRNG().state = static_cast<uint64>(seed + 1);
  cv::randn(noise, cv::Scalar::all(0), cv::Scalar::all(3));
  frame += noise;
  return frame;
}

// One frame of a scenario: the picture and where the faces in it are (eye midpoints).
struct Shot {
  cv::Mat frame;
  std::vector<cv::Point2f> faces;
};

// Renders the face at headShift into frame (the whole frame, or only the square around the face
// when pasting it into a picture that has one already).
void AddFace(const gen::FaceFrameGenerator& generator, cv::Point2f shift, Shot* shot, bool paste) {
  gen::FrameSpec pose;
  pose.headShift = shift;
  gen::FrameTruth truth;
  const cv::Mat face = generator.Render(pose, &truth);
  const cv::Point2f mid = (truth.eye[0].centre + truth.eye[1].centre) * 0.5f;
  if (paste) {
    const float d = static_cast<float>(cv::norm(truth.eye[1].centre - truth.eye[0].centre));
    const cv::Rect square =
        cv::Rect(cv::Point(cvRound(mid.x - 1.3f * d), cvRound(mid.y - 1.2f * d)),
                 cv::Point(cvRound(mid.x + 1.3f * d), cvRound(mid.y + 2.0f * d))) &
        cv::Rect(0, 0, kW, kH);
    face(square).copyTo(shot->frame(square));
  } else {
    shot->frame = face;
  }
  shot->faces.push_back(mid);
}

struct Scenario {
  const char* name;
  int frames;
  std::function<Shot(int)> shot;
  // Frames in which the follower must report the face with this midpoint index (-1: no
  // requirement; -2: no face may be reported).
  std::function<int(int)> expected;
};

}  // namespace

// The followed face is wherever a face is: it moves with it, goes when it goes, stays with it
// when another face enters, and leaves a false face that disappears. Never longer than the
// interval between two searches of the whole picture does it sit where no face is.
TEST(FaceFollowerTest, FollowsTheFaceAndNeverSticksWhereNoFaceIs) {
  const gen::FaceFrameGenerator face = FaceOfHeight(0.36);
  const gen::FaceFrameGenerator bigger = FaceOfHeight(0.5);
  const int interval = FaceFollower::kFullSearchInterval;
  const std::vector<Scenario> scenarios = {
      {"moves across the picture", 60,
       [&](int i) {
         Shot s;
         AddFace(face, cv::Point2f(-180.0f + 6.0f * i, 20.0f * std::sin(i / 6.0f)), &s, false);
         return s;
       },
       [](int) { return 0; }},
      {"leaves and comes back elsewhere", 50,
       [&](int i) {
         Shot s;
         if (i < 15) AddFace(face, cv::Point2f(-120, 0), &s, false);
         if (i >= 15 && i < 30) s.frame = NoFace(i);
         if (i >= 30) AddFace(face, cv::Point2f(150, 10), &s, false);
         return s;
       },
       [](int i) { return i >= 15 && i < 30 ? -2 : 0; }},
      {"a second, larger face enters", 50,
       [&](int i) {
         Shot s;
         AddFace(face, cv::Point2f(-160, 0), &s, false);
         if (i >= 10) AddFace(bigger, cv::Point2f(140, 20), &s, true);
         return s;
       },
       [](int) { return 0; }},
      {"a false face in the background disappears", 50,
       [&](int i) {
         Shot s;
         AddFace(face, cv::Point2f(-160, 0), &s, false);
         if (i < 12) AddFace(bigger, cv::Point2f(140, 20), &s, true);
         return s;
       },
       // The larger face is taken at first; once it has gone, the real one at once.
       [](int i) { return i < 12 ? -1 : 0; }},
  };

  cv::CascadeClassifier& cascade = *Cascade();
  FaceSearch search;
  search.smallestFace = 0.2;
  search.follow = true;
  cv::Mat grey, small;
  std::vector<cv::Rect> faces;
  for (const Scenario& sc : scenarios) {
    SCOPED_TRACE(sc.name);
    FaceFollower follower;
    int wrongRun = 0, longestWrongRun = 0, near = 0, sinceWhole = 0;
    for (int i = 0; i < sc.frames; ++i) {
      const Shot shot = sc.shot(i);
      MakeSmallGrey(shot.frame, grey, small);
      FaceBox box;
      const bool found = follower.Find(cascade, small, faces, &box, search);
      near += found && !follower.SearchedWholePicture() ? 1 : 0;
      // The whole picture is searched at least once every interval.
      sinceWhole = follower.SearchedWholePicture() ? 0 : sinceWhole + 1;
      EXPECT_LT(sinceWhole, interval) << "frame " << i;
      int faceRect[4];
      ScaleFaceRect(box, faceRect);
      const cv::Rect rect(cv::Point(faceRect[0], faceRect[1]), cv::Point(faceRect[2], faceRect[3]));
      int on = -1;  // the face the reported rectangle lies on
      for (size_t f = 0; found && f < shot.faces.size(); ++f)
        if (rect.contains(shot.faces[f])) on = static_cast<int>(f);
      const int expected = sc.expected(i);
      if (expected == -2) {
        EXPECT_FALSE(found) << "frame " << i;
      } else if (expected >= 0) {
        EXPECT_EQ(on, expected) << "frame " << i << (found ? "" : ": no face");
      }
      wrongRun = found && on < 0 ? wrongRun + 1 : 0;
      longestWrongRun = std::max(longestWrongRun, wrongRun);
    }
    EXPECT_LE(longestWrongRun, interval);
    // Following: most frames are searched near the face only.
    EXPECT_GE(near, sc.frames / 2);
    follower.Reset();
    EXPECT_FALSE(follower.Following());
  }
}

// The smallest face at its bounds: half the height is the old minimum of rows / 2, a fifth the
// least there is; a face a quarter of the height is found with a quarter and not with a half.
TEST(FaceFollowerTest, SmallestFaceAtItsBounds) {
  for (int rows : {185, 369, 554, 1}) {
    EXPECT_EQ(SmallestFaceSide(rows, 0.5), std::max(1, rows / 2)) << rows;
    EXPECT_EQ(SmallestFaceSide(rows, 0.2), std::max(1, static_cast<int>(rows * 0.2))) << rows;
    EXPECT_EQ(SmallestFaceSide(rows, 0.1), SmallestFaceSide(rows, 0.2)) << rows;
    EXPECT_EQ(SmallestFaceSide(rows, 0.9), SmallestFaceSide(rows, 0.5)) << rows;
  }

  cv::CascadeClassifier& cascade = *Cascade();
  cv::Mat grey, small;
  std::vector<cv::Rect> faces;
  FaceBox box;
  MakeSmallGrey(FaceOfHeight(0.3).Render(gen::FrameSpec{}), grey, small);
  ASSERT_TRUE(DetectFace(cascade, small, faces, &box, 0.25));
  const double share = static_cast<double>(box.y2 - box.y1) / small.rows;
  EXPECT_GT(share, 0.25);
  EXPECT_LT(share, 1.0 / 3);
  FaceBox none;
  EXPECT_FALSE(DetectFace(cascade, small, faces, &none, 0.5));
  // With following off the follower is the plain search, the first face listed.
  FaceFollower follower;
  FaceSearch plain;
  plain.smallestFace = 0.25;
  FaceBox followed;
  ASSERT_TRUE(follower.Find(cascade, small, faces, &followed, plain));
  EXPECT_TRUE(followed.x1 == box.x1 && followed.y1 == box.y1 && followed.x2 == box.x2 &&
              followed.y2 == box.y2);
  EXPECT_FALSE(follower.Following());
}
