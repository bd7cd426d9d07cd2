// Whole frames made from real photographs: where the face detector finds a face and where it
// must not, two faces, and the two finders on the pupils of a real face.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "tracking/FaceDetection.h"
#include "tracking_support.h"

using namespace pupiltrak;

namespace {

using tracking_test::Cascade;
using tracking_test::CountColour;
using tracking_test::FacePath;
using tracking_test::LoadPhoto;
using tracking_test::Pipeline;

const cv::Vec3b kRed(0, 0, 255);

// A 640 x 480 frame of the unretouched photograph, its eyes eyeDistance apart.
cv::Mat PhotoFrame(const gen::FacePhoto& photo, double eyeDistance, cv::Point2f shift = {0, 0}) {
  gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
  scene.eyeDistance = eyeDistance;
  scene.repaintEyes = false;
  gen::FrameSpec shot;
  shot.headShift = shift;
  return gen::FaceFrameGenerator(photo, scene).Render(shot);
}

bool Contains(const int r[4], cv::Point2f p) {
  return p.x > r[0] && p.x < r[2] && p.y > r[1] && p.y < r[3];
}

TEST(FaceDetectionPhotoTest, FacesFillingHalfTheHeightAreFound) {
  for (const char* name : {"jesper_2.jpg", "grace_hopper.jpg", "new_wave_2.jpg"}) {
    const gen::FacePhoto photo = LoadPhoto(name);
    gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
    scene.repaintEyes = false;
    const gen::FaceFrameGenerator generator(photo, scene);
    Pipeline p;
    p.Run(generator.Render(gen::FrameSpec{}));
    ASSERT_TRUE(p.results.faceFound) << name;
    // The rectangle lies on the face: both eyes inside, and at least half the frame high.
    EXPECT_TRUE(Contains(p.results.faceRect, generator.EyeCentre(0))) << name;
    EXPECT_TRUE(Contains(p.results.faceRect, generator.EyeCentre(1))) << name;
    EXPECT_GE(p.results.faceRect[3] - p.results.faceRect[1], 235) << name;
    EXPECT_EQ(CountColour(p.frameCopy, cv::Rect(0, 0, 640, 60), kRed), 0) << name;
  }
}

TEST(FaceDetectionPhotoTest, AFaceUnderHalfTheReducedHeightIsNotFound) {
  const gen::FacePhoto photo = LoadPhoto("jesper_2.jpg");
  Pipeline p;
  p.Run(PhotoFrame(photo, 0.12 * 480));  // face about 170 pixels high: under 240
  EXPECT_FALSE(p.results.faceFound);
  EXPECT_GT(CountColour(p.frameCopy, cv::Rect(0, 0, 400, 60), kRed), 200);
  // The same frame finds it when the face is large enough.
  p.Run(PhotoFrame(photo, 0.2 * 480));
  EXPECT_TRUE(p.results.faceFound);
}

TEST(FaceDetectionPhotoTest, TwoFacesUseExactlyTheFirstRectangle) {
  const cv::Mat photo = cv::imread(FacePath("bar55_2.jpg"));
  ASSERT_FALSE(photo.empty());
  const cv::Mat frame = photo(cv::Rect(220, 70, 360, 250)).clone();  // both faces large enough
  cv::Mat grey, small;
  MakeSmallGrey(frame, grey, small);
  // The detector's own list, on one thread (its order is that of a single-threaded run).
  std::vector<cv::Rect> all;
  const int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  Cascade()->detectMultiScale(small, all, 1.1, 6, cv::CASCADE_DO_CANNY_PRUNING,
                              cv::Size(small.rows / 2, small.rows / 2));
  cv::setNumThreads(threads);
  ASSERT_EQ(all.size(), 2u);
  std::vector<cv::Rect> faces;
  FaceBox first;
  ASSERT_TRUE(DetectFace(*Cascade(), small, faces, &first));
  EXPECT_EQ(faces, all);

  // The same first face in every frame, whatever the threads did.
  Pipeline p;
  int expected[4];
  ScaleFaceRect(FaceBox{all[0].x, all[0].y, all[0].x + all[0].width, all[0].y + all[0].height},
                expected);
  for (int run = 0; run < 8; ++run) {
    p.Run(frame);
    ASSERT_TRUE(p.results.faceFound);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.results.faceRect[i], expected[i]) << run;
  }
  EXPECT_EQ(CountColour(p.frameCopy, cv::Rect(0, 0, 360, 60), kRed), 0);
  // Only one blue rectangle in the camera frame: the other face's centre column is clean.
  const cv::Rect& other = all[1];
  const int column = static_cast<int>(1.3 * (other.x + other.width / 2));
  int blueRows = 0;
  for (int y = 0; y < p.cameraFrame.rows; ++y)
    blueRows += p.cameraFrame.at<cv::Vec3b>(y, column) == cv::Vec3b(255, 0, 0) ? 1 : 0;
  EXPECT_LE(blueRows, 6);  // at most the first rectangle's two edges crossing it
}

TEST(FaceDetectionPhotoTest, TheWholeBarPhotographHasNoFaceLargeEnough) {
  Pipeline p;
  p.Run(cv::imread(FacePath("bar55_2.jpg")));
  EXPECT_FALSE(p.results.faceFound);
}

// The pupils of the jesper photograph as measured on it (the dark centres under the
// catch-lights). The annotated eye centres (the middle of each eye's outline) lie 3 to 4
// photo pixels away from them, up to 5 frame pixels at the largest scale here.
const cv::Point2f kJesperPupils[2] = {{328.0f, 209.0f}, {441.0f, 211.5f}};

struct PupilScore {
  int found = 0, nearPupil = 0, nearAnnotation = 0, eyes = 0;
};

PupilScore ScorePupils(int f1p1, int f1p2, int f2p1, int f2p2) {
  const gen::FacePhoto annotated = LoadPhoto("jesper_2.jpg");
  PupilScore score;
  for (double distance : {95.0, 112.0, 130.0}) {
    for (cv::Point2f shift : {cv::Point2f(-30, -10), cv::Point2f(0, 10), cv::Point2f(30, -10)}) {
      gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
      scene.eyeDistance = distance;
      scene.repaintEyes = false;
      gen::FrameSpec shot;
      shot.headShift = shift;
      // The measured pupils go through the same placement as the annotated centres.
      const gen::FaceFrameGenerator byAnnotation(annotated, scene);
      const cv::Mat frame = byAnnotation.Render(shot);
      const double scale = distance / annotated.EyeDistance();
      const cv::Point2f mid = (annotated.eye[0] + annotated.eye[1]) * 0.5f;
      Pipeline p;
      p.state.Finder1Param1 = f1p1;
      p.state.Finder1Param2 = f1p2;
      p.state.Finder2Param1 = f2p1;
      p.state.Finder2Param2 = f2p2;
      p.BothOptions();
      p.Run(frame);
      for (int e = 0; e < 2; ++e) {
        ++score.eyes;
        if (!p.results.pupilFound[e]) continue;
        ++score.found;
        const cv::Point2f at(static_cast<float>(p.results.pupilPos[e].x),
                             static_cast<float>(p.results.pupilPos[e].y));
        const cv::Point2f pupil =
            (kJesperPupils[e] - mid) * static_cast<float>(scale) + scene.eyesMidpoint + shift;
        if (cv::norm(at - pupil) <= 2.0) ++score.nearPupil;
        if (cv::norm(at - byAnnotation.EyeCentre(e) - shift) <= 7.0) ++score.nearAnnotation;
      }
    }
  }
  return score;
}

TEST(PupilPhotoTest, FinderOneCannyThreshold200FindsEveryPupil) {
  const PupilScore s = ScorePupils(200, 1, 60, 30);
  EXPECT_EQ(s.found, s.eyes);
  EXPECT_EQ(s.nearPupil, s.eyes);       // within 2 pixels of the measured pupils
  EXPECT_EQ(s.nearAnnotation, s.eyes);  // within 7 pixels of the annotated centres
}

TEST(PupilPhotoTest, DefaultSlidersFindMostPupils) {
  // With the defaults (1, 1, 60, 30) finder 1 sees every faint edge of the skin; it still
  // lands on most eyes, not all.
  const PupilScore s = ScorePupils(1, 1, 60, 30);
  EXPECT_GE(s.nearPupil, s.eyes * 3 / 4);
}

}  // namespace
