// The frame generator and the virtual user, and the pipeline's eye vectors on generated
// frames against the offsets that were painted.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "VirtualUser.h"
#include "tracking/EyeVector.h"
#include "tracking_support.h"

using namespace pupiltrak;

namespace {

using tracking_test::FacePath;
using tracking_test::LoadPhoto;
using tracking_test::Pipeline;

TEST(FacePhotoTest, LoadsThePhotographAndItsEyeCentres) {
  const gen::FacePhoto photo = LoadPhoto("jesper_2.jpg");
  EXPECT_EQ(photo.image.size(), cv::Size(800, 532));
  EXPECT_FLOAT_EQ(photo.eye[0].x, 325.5f);
  EXPECT_FLOAT_EQ(photo.eye[1].y, 211.667f);
  EXPECT_NEAR(photo.EyeDistance(), 111.67, 0.01);
}

TEST(FacePhotoTest, MissingFilesAreReported) {
  gen::FacePhoto photo;
  std::string error;
  EXPECT_FALSE(gen::LoadFacePhoto(FacePath("no_such_face.jpg"), &photo, &error));
  EXPECT_NE(error.find("no_such_face.jpg"), std::string::npos);
  // A readable image that the CSV does not list.
  const std::string copy = std::string(PUPILTRAK_BINARY_DIR) + "/unlisted_face.png";
  cv::imwrite(copy, cv::Mat(10, 10, CV_8UC3, cv::Scalar(1, 2, 3)));
  EXPECT_FALSE(gen::LoadFacePhoto(copy, &photo, &error));
  std::remove(copy.c_str());
}

const gen::FaceFrameGenerator& Generator() {
  static const gen::FaceFrameGenerator generator(LoadPhoto("jesper_2.jpg"),
                                                 gen::DefaultScene(cv::Size(640, 480)));
  return generator;
}

uchar GreyAt(const cv::Mat& frame, cv::Point2f p) {
  cv::Mat grey;
  cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
  return grey.at<uchar>(cvRound(p.y), cvRound(p.x));
}

TEST(FaceFrameGeneratorTest, PaintsThePupilAtTheGlintPlusTheOffset) {
  gen::FrameSpec shot;
  shot.gazeOffset = {cv::Point2f(2.0f, -1.0f), cv::Point2f(-1.5f, 0.5f)};
  shot.headShift = cv::Point2f(4, -3);
  gen::FrameTruth t;
  const cv::Mat frame = Generator().Render(shot, &t);
  ASSERT_EQ(frame.size(), cv::Size(640, 480));
  ASSERT_EQ(frame.type(), CV_8UC3);
  for (int e = 0; e < 2; ++e) {
    EXPECT_EQ(t.eye[e].centre, Generator().EyeCentre(e) + shot.headShift);
    EXPECT_EQ(t.eye[e].glint, t.eye[e].centre);
    EXPECT_EQ(t.eye[e].pupil, t.eye[e].glint + shot.gazeOffset[e]);
    EXPECT_GT(GreyAt(frame, t.eye[e].glint), 200);  // glint
    // Dark pupil beside the glint, on the side away from it.
    const cv::Point2f away = t.eye[e].pupil + (t.eye[e].pupil - t.eye[e].glint) * 1.5f;
    EXPECT_LT(GreyAt(frame, away), 60);
    EXPECT_GT(t.eye[e].pupilRadius, 5.0f);
  }
  EXPECT_FALSE(t.blink);
}

TEST(FaceFrameGeneratorTest, BlinkFramesCloseTheLids) {
  gen::FrameSpec shot;
  shot.blink = true;
  gen::FrameTruth t;
  const cv::Mat frame = Generator().Render(shot, &t);
  EXPECT_TRUE(t.blink);
  for (int e = 0; e < 2; ++e) {
    const uchar g = GreyAt(frame, t.eye[e].centre + cv::Point2f(3, -3));
    EXPECT_GT(g, 90);  // skin, neither pupil nor glint
    EXPECT_LT(g, 230);
  }
}

TEST(FaceFrameGeneratorTest, NoiseIsSeeded) {
  gen::FrameSpec shot;
  const cv::Mat clean = Generator().Render(shot);
  shot.noiseSigma = 3;
  shot.noiseSeed = 5;
  const cv::Mat a = Generator().Render(shot), b = Generator().Render(shot);
  shot.noiseSeed = 6;
  const cv::Mat c = Generator().Render(shot);
  EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(a, c, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(a, clean, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(Generator().Render(gen::FrameSpec{}), clean, cv::NORM_INF), 0);
}

TEST(FaceFrameGeneratorTest, DefaultSceneScalesWithTheFrame) {
  const gen::Scene s = gen::DefaultScene(cv::Size(1280, 720));
  EXPECT_EQ(s.frameSize, cv::Size(1280, 720));
  EXPECT_NEAR(s.eyeDistance, 0.233 * 720, 1e-9);
  EXPECT_FLOAT_EQ(s.eyesMidpoint.x, 640.0f);
}

TEST(VirtualUserTest, OffsetsAreLinearMirroredAndSmall) {
  gen::VirtualUser user;
  user.restOffset = {cv::Point2f(0.3f, -0.2f), cv::Point2f(-0.1f, 0.1f)};
  const auto centre = user.OffsetsFor(512, 355);
  EXPECT_FLOAT_EQ(centre[0].x, 0.3f);
  EXPECT_FLOAT_EQ(centre[1].y, 0.1f);
  const auto right = user.OffsetsFor(1024, 355);
  EXPECT_LT(right[0].x, centre[0].x);  // looking right: pupils toward the image's left
  const auto down = user.OffsetsFor(512, 710);
  EXPECT_GT(down[0].y, centre[0].y);
  // Linear: half way gives half the change.
  const auto half = user.OffsetsFor(768, 355);
  EXPECT_NEAR(half[0].x - centre[0].x, 0.5 * (right[0].x - centre[0].x), 1e-5);
  user.restOffset = {};
  for (double x : {0.0, 1024.0})
    for (double y : {0.0, 710.0})
      for (const cv::Point2f& o : user.OffsetsFor(x, y)) EXPECT_LE(cv::norm(o), 2.6);
}

TEST(VirtualUserTest, JitterComesFromTheGivenGenerator) {
  gen::VirtualUser user;
  user.jitter = 0.3;
  cv::RNG a(9), b(9);
  EXPECT_EQ(user.OffsetsFor(100, 100, &a)[0], user.OffsetsFor(100, 100, &b)[0]);
  EXPECT_EQ(user.OffsetsFor(100, 100)[0], user.OffsetsFor(100, 100)[0]);
}

TEST(SessionTest, LooksAtEachPointInTurnAndBlinksOnSchedule) {
  gen::VirtualUser user;
  gen::Session session;
  session.points = gen::GridPoints(user.screen, user.screen.height / 8);
  ASSERT_EQ(session.points.size(), 9u);
  EXPECT_EQ(session.points[0], cv::Point2d(88, 88));
  EXPECT_EQ(session.points[8], cv::Point2d(1024 - 88, 710 - 88));
  session.framesPerPoint = 10;
  session.blinkEvery = 25;
  session.blinkLength = 3;
  cv::Point2d looking;
  session.SpecAt(0, user, &looking);
  EXPECT_EQ(looking, session.points[0]);
  session.SpecAt(19, user, &looking);
  EXPECT_EQ(looking, session.points[1]);
  session.SpecAt(90, user, &looking);
  EXPECT_EQ(looking, session.points[0]);  // round again
  int blinks = 0;
  for (int k = 0; k < 50; ++k) blinks += session.SpecAt(k, user).blink ? 1 : 0;
  EXPECT_EQ(blinks, 6);
  EXPECT_TRUE(session.SpecAt(22, user).blink);
  EXPECT_FALSE(session.SpecAt(21, user).blink);
  // Any frame can be made on its own, the same every time.
  session.noiseSigma = 2;
  session.swayAmplitude = 5;
  EXPECT_EQ(session.SpecAt(33, user).noiseSeed, session.SpecAt(33, user).noiseSeed);
  EXPECT_EQ(session.SpecAt(33, user).headShift, session.SpecAt(33, user).headShift);
  EXPECT_NE(session.SpecAt(33, user).noiseSeed, session.SpecAt(34, user).noiseSeed);
}

double Degrees(double offsetPixels) {
  return std::asin(std::clamp(offsetPixels / 10.0, -1.0, 1.0)) * kEyeVectorDegreesPerRadian;
}

// The eye vector measures the pupil against the glint in pupil-zoom pixels (twice frame
// pixels): (cx - bx) / 2 should be the painted horizontal offset, (cy - by) / 2 the vertical.
TEST(EyeVectorOnGeneratedFramesTest, MatchesThePaintedOffsets) {
  Pipeline p;
  p.BothOptions();
  double sum2 = 0, worst = 0;
  int n = 0, k = 0;
  // The virtual user's whole range (within 2.5 pixels) on a half-pixel grid.
  for (float ox = -2.0f; ox <= 2.01f; ox += 0.5f) {
    for (float oy = -1.5f; oy <= 1.51f; oy += 0.5f) {
      gen::FrameSpec shot;
      shot.gazeOffset = {cv::Point2f(ox, oy), cv::Point2f(ox, oy)};
      shot.headShift = cv::Point2f(0.37f * k - 10, 0.21f * k - 5);  // sub-pixel positions
      shot.noiseSigma = 2;
      shot.noiseSeed = static_cast<uint64_t>(++k);
      p.Run(Generator().Render(shot));
      ASSERT_TRUE(p.results.faceFound);
      for (int e = 0; e < 2; ++e) {
        ASSERT_TRUE(p.results.pupilFound[e]) << ox << ", " << oy;
        const FloatPoint c = p.results.circleCentre[e], b = p.results.brightSpot[e];
        const double ex = (c.x - b.x) / 2 - ox;
        const double ey = (c.y - b.y) / 2 - oy;
        EXPECT_LE(std::abs(ex), 1.5) << ox << ", " << oy << " eye " << e;
        EXPECT_LE(std::abs(ey), 1.5) << ox << ", " << oy << " eye " << e;
        sum2 += ex * ex + ey * ey;
        worst = std::max({worst, std::abs(ex), std::abs(ey)});
        ++n;
        // The same in degrees: 1.5 frame pixels are at most about 9 degrees here.
        const double dx = e == 0 ? p.results.dxL : p.results.dxR;
        const double dy = e == 0 ? p.results.dyL : p.results.dyR;
        EXPECT_NEAR(dx, Degrees(ox), 9.0);
        EXPECT_NEAR(dy, Degrees(-oy), 9.0);
      }
    }
  }
  const double rms = std::sqrt(sum2 / n);
  EXPECT_LE(rms, 0.65);
  std::printf("eye vectors on %d generated eyes: rms error %.3f, worst %.3f frame pixels\n", n, rms,
              worst);
}

TEST(EyeVectorOnGeneratedFramesTest, LargerFramesWorkAlike) {
  const gen::FaceFrameGenerator big(LoadPhoto("jesper_2.jpg"),
                                    gen::DefaultScene(cv::Size(1280, 720)));
  Pipeline p;
  p.BothOptions();
  gen::FrameSpec shot;
  shot.gazeOffset = {cv::Point2f(2, 1), cv::Point2f(2, 1)};
  p.Run(big.Render(shot));
  ASSERT_TRUE(p.results.pupilFound[0]);
  ASSERT_TRUE(p.results.pupilFound[1]);
  EXPECT_NEAR((p.results.circleCentre[0].x - p.results.brightSpot[0].x) / 2, 2, 1.0);
  EXPECT_NEAR((p.results.circleCentre[1].y - p.results.brightSpot[1].y) / 2, 1, 1.0);
}

}  // namespace
