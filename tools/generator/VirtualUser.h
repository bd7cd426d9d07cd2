#pragma once
// A virtual user in front of the screen: where the pupils sit relative to the glints while the
// user looks at a screen point, and scripted sessions of looking, blinking and swaying.

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "FaceFrameGenerator.h"

namespace pupiltrak {

namespace gen {

// The eye model: pupil offset from the glint (frame pixels) = gain * (point - screen centre)
// + rest offset, per axis and eye, plus optional jitter. The camera sees the user mirrored, so
// looking to the right of the screen moves the pupils toward the image's left (gainX < 0);
// looking down moves them down (gainY > 0). The tracker looks for the glint within half the
// pupil's radius of its centre (about 3 frame pixels in the default scene of a 640 x 480
// frame), so offsets must stay smaller: the defaults give at most 2.05 and 1.5 frame pixels on
// a 1024 x 710 screen (2.5 at the corners).
struct VirtualUser {
  cv::Size screen{1024, 710};
  double gainX = -0.0040;  // frame pixels per screen pixel
  double gainY = 0.0042;
  std::array<cv::Point2f, 2> restOffset{};  // offsets while looking at the screen centre
  double jitter = 0;                        // standard deviation, frame pixels

  // Offsets of both eyes ([0]: image-left eye) while looking at (x, y) in screen pixels.
  // rng: source of the jitter (none when null or jitter is 0).
  std::array<cv::Point2f, 2> OffsetsFor(double x, double y, cv::RNG* rng = nullptr) const;
};

// A 3 x 3 grid of screen points with the given margin from the screen's edges, row by row.
std::vector<cv::Point2d> GridPoints(cv::Size screen, int margin);

// A scripted session: the user looks at each point for framesPerPoint frames, in order, and
// then starts again; optional blinks, a slow head sway and sensor noise.
struct Session {
  std::vector<cv::Point2d> points;
  int framesPerPoint = 40;
  int blinkEvery = 0;        // a blink starts every this many frames (0: never)
  int blinkLength = 3;       // frames with closed lids
  double swayAmplitude = 0;  // head shift, frame pixels (a slow ellipse)
  double swayPeriod = 300;   // frames per sway cycle
  double noiseSigma = 0;
  uint64_t seed = 1;

  // The frame's instructions and the screen point looked at.
  FrameSpec SpecAt(int64_t index, const VirtualUser& user, cv::Point2d* lookingAt = nullptr) const;
};

}  // namespace gen

}  // namespace pupiltrak
