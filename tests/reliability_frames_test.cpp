// Awkward frames through the program's own frame callback and pipeline, delivered as the
// camera layer delivers them: every size from 1 x 1 to 4000 x 3000, odd widths, one row or
// column, one and four channels and sixteen bits, black, white, noise, faces over every
// border; the sliders at 0 and 200; with and without a cascade. Each frame must leave the
// camera's buffer as it was given, show one 320 x 240 mosaic and put pupils only inside the
// frame. (Reads outside an image are for the address-sanitizer build to catch.)
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "FrameRecipe.h"
#include "reliability_support.h"

using namespace pupiltrak;

namespace reliability {
namespace {

class AwkwardFrames : public HeadlessProgram {
 protected:
  void SetUp() override {
    HeadlessProgram::SetUp();
    photos = fuzzing::LoadTestPhotos(std::string(PUPILTRAK_TEST_DATA) + "/faces");
    ASSERT_EQ(photos.size(), 4u);
    // What Start Tracking prepares before frames are let through (the session's set-up has
    // given it the overlay font).
    windows.Create("Preview", 1);
    session.state.SetSourceClientRect(IntRect{0, 0, 640, 480});
    session.state.TrackingActive = 1;
  }

  // Runs one frame of the recipe; returns the camera frame as the pipeline left it.
  CameraFrame Run(const fuzzing::FrameRecipe& recipe, const std::string& name) {
    fuzzing::ApplySettings(recipe, session.state, session.samples);
    CameraFrame frame;
    EXPECT_TRUE(fuzzing::ToCameraFrame(fuzzing::RenderRecipe(recipe, photos), &frame)) << name;
    const cv::Size size = frame.image.size();
    const int shown = windows.ShowCount("Preview");

    session.OnCameraFrame(frame);

    EXPECT_EQ(frame.image.size(), size) << name;
    EXPECT_EQ(frame.image.type(), CV_8UC3) << name;
    EXPECT_EQ(windows.ShowCount("Preview"), shown + 1) << name;
    const cv::Mat mosaic = windows.Latest("Preview");
    EXPECT_EQ(mosaic.cols, 320) << name;
    EXPECT_EQ(mosaic.rows, 240) << name;
    EXPECT_EQ(mosaic.type(), CV_8UC3) << name;
    const FrameResults& r = session.results;
    for (int e = 0; e < 2; ++e) {
      if (!r.pupilFound[e]) continue;
      EXPECT_GE(r.pupilPos[e].x, 0) << name;
      EXPECT_LT(r.pupilPos[e].x, size.width) << name;
      EXPECT_GE(r.pupilPos[e].y, 0) << name;
      EXPECT_LT(r.pupilPos[e].y, size.height) << name;
    }
    ++frames;
    return frame;
  }

  std::vector<gen::FacePhoto> photos;
  int frames = 0;
};

TEST_F(AwkwardFrames, EveryEdgeCaseIsProcessedAndShowsOneMosaic) {
  const std::vector<fuzzing::NamedRecipe> cases = fuzzing::EdgeCaseRecipes();
  for (const fuzzing::NamedRecipe& c : cases) {
    // Twice, so that the pupil histories and the panels carry something over.
    Run(c.recipe, c.name);
    Run(c.recipe, c.name + " (again)");
  }
  EXPECT_EQ(frames, 2 * static_cast<int>(cases.size()));
  std::printf("[ figures  ] %d awkward frames of %zu kinds processed\n", frames, cases.size());
}

// The deep paths must really run: a face in every layout a source delivers is found, with
// both pupils, once the conversion has made it 8-bit B, G, R.
TEST_F(AwkwardFrames, AFaceIsTrackedInEveryLayoutASourceDelivers) {
  for (int channels : {1, 3, 4}) {
    for (bool sixteenBit : {false, true}) {
      fuzzing::FrameRecipe recipe;
      recipe.channels = channels;
      recipe.sixteenBit = sixteenBit;
      const std::string name =
          std::to_string(channels) + " channels" + (sixteenBit ? ", 16-bit" : "");
      Run(recipe, name);
      Run(recipe, name);
      EXPECT_TRUE(session.results.faceFound) << name;
      EXPECT_TRUE(session.results.pupilFound[0]) << name;
      EXPECT_TRUE(session.results.pupilFound[1]) << name;
    }
  }
}

TEST_F(AwkwardFrames, FacesHangingOverABorderAreFoundOrMissedButNeverBreakAFrame) {
  int found = 0;
  for (double x = -0.2; x <= 1.2; x += 0.1) {
    for (double y : {-0.1, 0.1, 0.415, 0.8, 1.1}) {
      fuzzing::FrameRecipe recipe;
      recipe.eyeDistance = 0.3;
      recipe.midX = x;
      recipe.midY = y;
      Run(recipe, "face at " + std::to_string(x) + ", " + std::to_string(y));
      if (session.results.faceFound) ++found;
    }
  }
  // Some of those faces are whole enough to be found: the eye regions then reach past the
  // frame, which is the case this test is about.
  EXPECT_GT(found, 0);
}

TEST_F(AwkwardFrames, WithoutACascadeNothingIsDrawnAndEveryFrameStillShowsABlackMosaic) {
  session.state.FaceCascade.reset();
  for (const fuzzing::NamedRecipe& c : fuzzing::EdgeCaseRecipes()) {
    fuzzing::FrameRecipe recipe = c.recipe;
    // The sliders as a failed cascade load leaves them (their first drawing gives 0).
    for (int& s : recipe.sliders) s = 0;
    fuzzing::ApplySettings(recipe, session.state, session.samples);
    CameraFrame given;
    ASSERT_TRUE(fuzzing::ToCameraFrame(fuzzing::RenderRecipe(recipe, photos), &given));
    const cv::Mat before = given.image.clone();
    const CameraFrame after = [&] {
      session.OnCameraFrame(given);
      return given;
    }();
    EXPECT_EQ(cv::norm(after.image, before, cv::NORM_INF), 0) << c.name << ": drawn into";
    EXPECT_FALSE(session.results.faceFound) << c.name;
    EXPECT_EQ(cv::countNonZero(windows.Latest("Preview").reshape(1)), 0) << c.name;
  }
}

}  // namespace
}  // namespace reliability
