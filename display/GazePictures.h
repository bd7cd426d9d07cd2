#pragma once
// Pictures of a session's gaze, drawn into images for files: the accuracy against known
// targets, a heat map of where the gaze went when no targets are known, and the scan path of
// the fixations over either. They take points and figures; what they show is measured
// elsewhere.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "mapping/Fixations.h"
#include "mapping/GazeQuality.h"

namespace pupiltrak {

// The figures written on the accuracy picture: the estimates against where the user looked,
// and the protocol's own.
struct AccuracyFigure : SampleAccuracy {
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
