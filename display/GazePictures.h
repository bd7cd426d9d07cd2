#pragma once
// Pictures of a session's gaze, drawn into images for files: the accuracy against known
// targets, a heat map of where the gaze went when no targets are known, and the scan path of
// the fixations over either. They take points and figures; what they show is measured
// elsewhere.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "mapping/Fixations.h"

namespace pupiltrak {

// What the user looked at in a frame: a calibration target's index (0..8), an accuracy-test
// target, or nothing known.
inline constexpr int kNoPhase = -1;
inline constexpr int kAccuracyPhase = 9;

// One frame's gaze estimate and where the user looked then.
struct GazeSample {
  int phase = kNoPhase;  // calibration target 0..8, kAccuracyPhase or kNoPhase
  cv::Point2d target;    // meaningful when phase >= 0
  cv::Point2d gaze;
};

// The figures written on the accuracy picture.
struct AccuracyFigure {
  int estimates = 0;  // gaze estimates on accuracy targets
  int targets = 0;    // accuracy targets that got at least one
  // Against where the user looked in each frame.
  double rmsPixels = 0;
  double rmsDegrees = 0;  // by the protocol's conversion (358 mm wide screen at 500 mm)
  // The protocol's own figures (against the target shown in each frame), as it wrote them;
  // empty when unknown.
  std::string protocolPixels, protocolDegrees;
  // The data-quality figures of the accuracy test as one line; empty: not shown.
  std::string quality;
};

// The screen to scale: the calibration targets, the accuracy targets, every estimate as a dot
// coloured by its target, each target joined to the mean of its estimates, the RMS written on
// it.
cv::Mat DrawAccuracyPicture(cv::Size screen, const std::vector<cv::Point2d>& calibrationTargets,
                            const std::vector<GazeSample>& samples, const AccuracyFigure& figure);

// Where the gaze went: a heat map of the estimates over the screen (points off the screen are
// counted in the caption, not drawn).
cv::Mat DrawGazeHeatMap(cv::Size screen, const std::vector<cv::Point2d>& gaze);

// The scan path over a picture drawn for that screen: the fixations as numbered circles sized
// by their duration, joined in order.
void DrawScanPath(cv::Mat& picture, cv::Size screen, const std::vector<Fixation>& fixations);

// Writes a picture as PNG; false with *error on failure.
bool WritePicture(const std::string& path, const cv::Mat& picture, std::string* error);

}  // namespace pupiltrak
