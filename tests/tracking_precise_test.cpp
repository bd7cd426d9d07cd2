// Precise pupils: the gradient eye centre, the sub-pixel pupil and glint on generated frames
// whose truth is sub-pixel, and the eye centres of the real photographs.

#include <gtest/gtest.h>

#include <cmath>

#include "tracking/EyeCentre.h"
#include "tracking/EyeVector.h"
#include "tracking_support.h"

using namespace pupiltrak;

namespace {

using tracking_test::LoadPhoto;
using tracking_test::Pipeline;

const gen::FaceFrameGenerator& SubPixelGenerator() {
  static const gen::FaceFrameGenerator generator(LoadPhoto("jesper_2.jpg"),
                                                 gen::SubPixelScene(cv::Size(640, 480)));
  return generator;
}

struct Shot {
  cv::Point2f offset;  // pupil minus glint, frame pixels
  cv::Point2f head;    // head shift, frame pixels
  double noise;
};

// Offsets across the virtual user's range, heads between pixels, with and without noise.
const Shot kShots[] = {
    {{0.0f, 0.0f}, {0.0f, 0.0f}, 0},     {{0.25f, -0.25f}, {0.5f, 0.5f}, 0},
    {{-1.37f, 0.61f}, {3.3f, -2.7f}, 2}, {{1.93f, 1.41f}, {-7.45f, 4.15f}, 2},
    {{-2.0f, -1.5f}, {9.81f, 1.07f}, 2}, {{0.73f, -0.88f}, {-4.62f, -3.39f}, 2},
    {{1.11f, 0.29f}, {6.05f, 2.51f}, 2}, {{-0.47f, 1.13f}, {-9.18f, -4.84f}, 2},
};

TEST(PrecisePupilsTest, EyeCentrePupilAndGlintMatchTheSubPixelTruth) {
  // One user in front of the camera: the same pipeline sees every shot in turn.
  Pipeline p;
  p.BothOptions();
  p.state.PrecisePupils = 1;
  double sum2 = 0;
  int n = 0;
  for (const Shot& s : kShots) {
    gen::FrameSpec shot;
    shot.gazeOffset = {s.offset, s.offset};
    shot.headShift = s.head;
    shot.noiseSigma = s.noise;
    gen::FrameTruth truth;
    const cv::Mat frame = SubPixelGenerator().Render(shot, &truth);
    p.Run(frame);
    ASSERT_TRUE(p.results.faceFound);
    for (int e = 0; e < 2; ++e) {
      const gen::EyeTruth& t = truth.eye[e];
      SCOPED_TRACE(testing::Message()
                   << "offset " << s.offset << " head " << s.head << " eye " << e);
      // The gradient eye centre of the eye region lands on the pupil (whole pixels of a region
      // reduced to 50 pixels: about 2.5 frame pixels each).
      const cv::Rect region = p.regions.FrameRect(e + 1);
      cv::Mat red;
      cv::extractChannel(frame(region), red, 2);  // as the pipeline gives it
      EyeCentreScratch scratch;
      cv::Point2f centre;
      ASSERT_TRUE(GradientEyeCentre(red, scratch, &centre));
      EXPECT_LT(cv::norm(centre + cv::Point2f(region.tl()) - t.pupil), 4.0);

      ASSERT_TRUE(p.results.pupilFound[e]);
      // Zoom pixels to frame pixels: the zoom is the 50 x 30 window enlarged twice.
      const FloatPoint c = p.results.circleCentre[e], b = p.results.brightSpot[e];
      const cv::Point2f window =
          t.pupil - cv::Point2f(float(p.results.pupilPos[e].x), float(p.results.pupilPos[e].y));
      EXPECT_LE(std::abs(window.x), 0.6f);  // pupilPos is the pupil to the nearest pixel
      EXPECT_LE(std::abs(window.y), 0.6f);
      const double ex = (c.x - b.x) / 2 - (t.pupil.x - t.glint.x);
      const double ey = (c.y - b.y) / 2 - (t.pupil.y - t.glint.y);
      EXPECT_LE(std::abs(ex), 0.25);
      EXPECT_LE(std::abs(ey), 0.25);
      sum2 += ex * ex + ey * ey;
      ++n;
      // The eye vector is taken from the refined positions.
      const double dx = e == 0 ? p.results.dxL : p.results.dxR;
      EXPECT_DOUBLE_EQ(dx, OffsetToDegrees(ScaleOffset(c.x - b.x)));
    }
  }
  EXPECT_LE(std::sqrt(sum2 / n), 0.1);
}

TEST(PrecisePupilsTest, RealPhotographsHaveBothEyesWithinATenthOfTheirDistance) {
  // The annotations are eye-outline centres, not pupils: a tenth of the inter-eye distance
  // leaves room for the difference.
  for (const char* name : {"jesper_2.jpg", "grace_hopper.jpg", "new_wave_2.jpg", "bar55_2.jpg"}) {
    const gen::FacePhoto photo = LoadPhoto(name);
    gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
    scene.repaintEyes = false;
    const gen::FaceFrameGenerator generator(photo, scene);
    Pipeline p;
    p.BothOptions();
    p.state.PrecisePupils = 1;
    p.Run(generator.Render(gen::FrameSpec{}));
    ASSERT_TRUE(p.results.faceFound) << name;
    for (int e = 0; e < 2; ++e) {
      const cv::Point2f annotated = generator.EyeCentre(e);
      // The eye centre: the gradient centre after the history filter. (Finder 2 still runs as
      // ever in the window around it and can take a rim of the glasses for the pupil.)
      ASSERT_TRUE(p.results.finder1Found[e]) << name << " eye " << e;
      const cv::Point2f coarse =
          cv::Point2f(p.regions.FrameRect(e + 1).tl()) +
          cv::Point2f(float(p.results.filteredCentre[e].x), float(p.results.filteredCentre[e].y));
      EXPECT_LE(cv::norm(coarse - annotated), 0.10 * scene.eyeDistance) << name << " eye " << e;
    }
  }
}

}  // namespace
