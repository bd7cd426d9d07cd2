#pragma once
// Camera-like test frames made from a real face photograph: the face placed at a chosen size
// and position, each eye repainted with sclera, iris, a dark round pupil and a small bright
// glint, the pupil offset from the glint by a given gaze offset; optional sensor noise, head
// shifts and closed eyelids (blink). Every frame comes with its rendered truth.

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>

namespace pupiltrak {

namespace gen {

// A face photograph and the centres of its two eyes (photo pixels). eye[0] is the eye on the
// image's left (the tracker's eye region 1), eye[1] the one on the right.
struct FacePhoto {
  cv::Mat image;  // 8-bit B, G, R
  std::array<cv::Point2f, 2> eye;
  double EyeDistance() const;
};

// Loads a photograph and its eye centres from the eye_centres.csv beside it (columns file,
// width, height, eye_left_x, eye_left_y, eye_right_x, eye_right_y, ...). false with a reason.
bool LoadFacePhoto(const std::string& imagePath, FacePhoto* photo, std::string* error);

// How the face sits in the frame and how its eyes look. Lengths of the eye are fractions of
// the distance between the eye centres in the frame.
struct Scene {
  cv::Size frameSize{640, 480};
  double eyeDistance = 112;            // frame pixels between the two eye centres
  cv::Point2f eyesMidpoint{320, 200};  // where the midpoint between the eyes lands
  bool repaintEyes = true;             // false: the photograph's own eyes stay
  double openingHalfWidth = 0.20;      // eye opening (an ellipse around the eye centre)
  double openingHalfHeight = 0.075;
  double irisRadius = 0.095;
  double pupilRadius = 0.055;
  double glintSigma = 0.9;           // frame pixels (a Gaussian spot)
  cv::Scalar sclera{190, 200, 215};  // B, G, R
  cv::Scalar iris{105, 125, 85};
  cv::Scalar pupil{22, 22, 26};
  // Sub-pixel painting: 0 keeps the plain painting (4 x 4 samples per pixel for the eye, the
  // glint's Gaussian taken at pixel centres); N > 0 takes N x N samples per pixel and
  // integrates the glint's Gaussian over each pixel, so that edges and the glint's centroid
  // carry their sub-pixel positions.
  int subPixelSamples = 0;
};

// A scene for a frame of the given size: the eyes 0.233 of the frame's height apart, their
// midpoint centred horizontally and at 0.415 of the height, so that the face fills about two
// thirds of the frame's height (the face detector wants at least half).
Scene DefaultScene(cv::Size frameSize);

// DefaultScene with sub-pixel painting (16 x 16 samples per pixel).
Scene SubPixelScene(cv::Size frameSize);

// One frame's instructions.
struct FrameSpec {
  // Pupil centre minus glint centre per eye, frame pixels ([0]: image-left eye).
  std::array<cv::Point2f, 2> gazeOffset{};
  cv::Point2f headShift{0, 0};  // the whole face moves by this, frame pixels
  bool blink = false;           // eyelids closed over both eyes
  double noiseSigma = 0;        // Gaussian sensor noise per channel, grey levels
  uint64_t noiseSeed = 1;
};

// Where things were painted, frame pixels.
struct EyeTruth {
  cv::Point2f centre;  // the eye centre (the glint sits here)
  cv::Point2f glint;
  cv::Point2f pupil;
  float pupilRadius = 0;
  float irisRadius = 0;
};

struct FrameTruth {
  std::array<EyeTruth, 2> eye;  // [0]: image-left eye (eye region 1)
  bool blink = false;
};

class FaceFrameGenerator {
 public:
  FaceFrameGenerator(FacePhoto photo, Scene scene);

  // A new top-down 8-bit B, G, R frame of scene.frameSize.
  cv::Mat Render(const FrameSpec& shot, FrameTruth* truth = nullptr) const;

  const Scene& scene() const { return scene_; }
  const FacePhoto& photo() const { return photo_; }
  // The eye centres of an unshifted frame.
  cv::Point2f EyeCentre(int eye) const;

 private:
  FacePhoto photo_;
  Scene scene_;
  double scale_ = 1;
  cv::Mat scaled_;                  // the photograph at the frame's scale
  cv::Point2f scaledMid_;           // midpoint between its eyes in scaled_ pixels
  std::array<cv::Scalar, 2> skin_;  // lid colour of each eye
};

}  // namespace gen

}  // namespace pupiltrak
