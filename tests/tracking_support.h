#pragma once
// Shared pieces of the pipeline tests: photographs, the cascade, a tracker state and a runner
// that hands a frame to ProcessFrame the way the frame callback does.

#include <gtest/gtest.h>

#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <string>

#include "FaceFrameGenerator.h"
#include "tracking/EyeRegions.h"
#include "tracking/FramePipeline.h"
#include "tracking/PupilFinder.h"
#include "tracking/TrackerState.h"

using namespace pupiltrak;

namespace tracking_test {

inline std::string FacePath(const std::string& name) {
  return std::string(PUPILTRAK_TEST_DATA) + "/faces/" + name;
}

inline gen::FacePhoto LoadPhoto(const std::string& name) {
  gen::FacePhoto photo;
  std::string error;
  EXPECT_TRUE(gen::LoadFacePhoto(FacePath(name), &photo, &error)) << error;
  return photo;
}

// The frontal-face cascade, loaded once.
inline std::shared_ptr<cv::CascadeClassifier> Cascade() {
  static std::shared_ptr<cv::CascadeClassifier> cascade =
      std::make_shared<cv::CascadeClassifier>(PUPILTRAK_CASCADE);
  return cascade;
}

// A pipeline with its own records around one tracker state.
struct Pipeline {
  TrackerState state;
  FrameResults results;
  EyeRegions regions;
  PointHistory histories[2];
  PipelineContext ctx;
  cv::Mat lastMosaic;
  int mosaics = 0;
  // The frame copy and camera frame of the latest Run, as the pipeline left them.
  cv::Mat frameCopy, cameraFrame;

  explicit Pipeline(bool withCascade = true) {
    if (withCascade) state.FaceCascade = Cascade();
    ctx.state = &state;
    ctx.results = &results;
    ctx.eyeRegions = &regions;
    ctx.histories[0] = &histories[0];
    ctx.histories[1] = &histories[1];
    ctx.onMosaic = [this](const cv::Mat& m) {
      m.copyTo(lastMosaic);
      ++mosaics;
    };
  }
  void BothOptions(bool on = true) {
    state.SearchEyeRegions = on ? 1 : 0;
    state.EstimateGazeDirection = on ? 1 : 0;
  }
  // Processes a top-down frame: the camera frame is its bottom-up twin.
  void Run(const cv::Mat& frame, cv::VideoWriter* writer = nullptr) {
    frame.copyTo(frameCopy);
    cv::flip(frame, cameraFrame, 0);
    OverlayFont font;
    font.face = cv::FONT_HERSHEY_PLAIN;
    font.hscale = font.vscale = 4.0;
    font.thickness = 4;
    ProcessFrame(ctx, frameCopy, cameraFrame, font, writer);
  }
};

// Counts pixels of exactly one colour in a region.
inline int CountColour(const cv::Mat& image, const cv::Rect& region, const cv::Vec3b& colour) {
  int n = 0;
  const cv::Rect r = region & cv::Rect(0, 0, image.cols, image.rows);
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x) n += image.at<cv::Vec3b>(y, x) == colour ? 1 : 0;
  return n;
}

}  // namespace tracking_test
