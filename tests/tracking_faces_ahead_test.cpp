// The faces found ahead of the pipeline are the faces the pipeline would find itself, also when
// the face is followed from frame to frame.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <vector>

#include "tracking/FacesAhead.h"
#include "tracking_support.h"

using namespace pupiltrak;
using namespace tracking_test;

TEST(FacesAheadTest, FollowedFacesAreThoseThePipelineFollows) {
  gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
  scene.eyeDistance *= 0.36 / (2.0 / 3.0);  // a face about a third of the height
  const gen::FaceFrameGenerator generator(LoadPhoto("jesper_2.jpg"), scene);
  // The face moves, leaves for a few frames and comes back elsewhere.
  std::vector<cv::Mat> frames;
  for (int i = 0; i < 40; ++i) {
    gen::FrameSpec shot;
    shot.headShift = cv::Point2f(i < 20 ? -150.0f + 5.0f * i : 120.0f, 0.0f);
    frames.push_back(i >= 20 && i < 25 ? cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(110))
                                       : generator.Render(shot));
  }

  Pipeline pipeline;
  pipeline.state.SmallestFace = 0.25;
  pipeline.state.FollowFace = 1;
  FacesAhead ahead;
  ASSERT_TRUE(ahead.Load(PUPILTRAK_CASCADE, FaceSearchOf(pipeline.state)));
  for (size_t i = 0; i < frames.size(); ++i) ahead.Prepare(frames[i], static_cast<int64_t>(i));

  int found = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    ahead.Expect(static_cast<int64_t>(i));
    PreparedFace prepared;
    ASSERT_TRUE(ahead.Take(&prepared)) << i;
    pipeline.Run(frames[i]);
    ASSERT_EQ(prepared.found, pipeline.results.faceFound) << "frame " << i;
    if (!prepared.found) continue;
    ++found;
    int rect[4];
    ScaleFaceRect(prepared.face, rect);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(rect[k], pipeline.results.faceRect[k]) << "frame " << i;
  }
  EXPECT_GE(found, 30);
}
