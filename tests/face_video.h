#pragma once
// Test videos of the real test face (jesper_2.jpg): 640 x 480, MJPG at 30 frames per second,
// each frame rendered by the generator from the shot the test asks for.

#include <gtest/gtest.h>

#include <functional>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

#include "FaceFrameGenerator.h"

using namespace pupiltrak;

// One frame of a test video: the face rendered from shot, or the picture `instead` when set.
struct FaceVideoFrame {
  gen::FrameSpec shot;
  cv::Mat instead;
};

// The generator of the test face at 640 x 480 (a failure to load it is a test failure).
inline gen::FaceFrameGenerator TestFaceGenerator() {
  gen::FacePhoto photo;
  std::string error;
  EXPECT_TRUE(
      gen::LoadFacePhoto(std::string(PUPILTRAK_TEST_DATA) + "/faces/jesper_2.jpg", &photo, &error))
      << error;
  return gen::FaceFrameGenerator(photo, gen::DefaultScene(cv::Size(640, 480)));
}

// Writes frames 0 .. frames - 1 as frameAt gives them; the truth of every rendered frame goes
// to *truth when given. Failures are test failures.
inline void WriteFaceVideo(const std::string& path, int frames,
                           const std::function<FaceVideoFrame(int)>& frameAt,
                           std::vector<gen::FrameTruth>* truth = nullptr) {
  const gen::FaceFrameGenerator generator = TestFaceGenerator();
  cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0,
                         cv::Size(640, 480), true);
  ASSERT_TRUE(writer.isOpened()) << path;
  for (int i = 0; i < frames; ++i) {
    const FaceVideoFrame frame = frameAt(i);
    if (!frame.instead.empty()) {
      writer.write(frame.instead);
      continue;
    }
    gen::FrameTruth frameTruth;
    writer.write(generator.Render(frame.shot, &frameTruth));
    if (truth) truth->push_back(frameTruth);
  }
}
