#include "mapping/AccuracyMeasures.h"

#include <cmath>

#include "mapping/CalibrationProtocol.h"

namespace pupiltrak {

double PointDistance(double x1, double y1, double x2, double y2) {
  return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

void AccuracyAccumulator::Add(double squaredError) {
  std::lock_guard<std::mutex> lock(mutex_);
  sums_.sum += squaredError;
  sums_.count += 1;
}

AccuracySums AccuracyAccumulator::Sums() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sums_;
}

void AccuracyAccumulator::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  sums_ = AccuracySums();
}

void AddAccuracySample(AccuracyAccumulator& accumulator, double targetX, double targetY,
                       double gazeX, double gazeY) {
  double d = PointDistance(targetX, targetY, gazeX, gazeY);
  accumulator.Add(d * d);
}

double PixelsToMillimetres(double pixels, int screenWidth) {
  return std::trunc(pixels * (kScreenWidthMillimetres / screenWidth));
}

double MillimetresToDegrees(double millimetres) {
  return std::atan2(millimetres, kViewingDistanceMillimetres) * kDegreesPerRadian;
}

std::string AccuracyLinesText(const AccuracySums& sums, int screenWidth) {
  const std::string pixelsLabel = "Accuracy (RMS) in pixels: ";
  const std::string mmLabel = "Accuracy (RMS) in millimeters: ";
  const std::string degLabel = "Accuracy (RMS) in degrees (500 mm screen distance assumed): ";
  if (sums.count <= 0) {
    // 0 / 0 has no value: say why instead of printing "nan".
    const std::string none = "not measured (no gaze estimate in the accuracy test)\r\n";
    return pixelsLabel + none + mmLabel + none + degLabel + none + "\r\n";
  }
  double pixels = std::sqrt(sums.sum / sums.count);
  std::string text = pixelsLabel + FormatFixed2(pixels) + "\r\n";
  if (screenWidth <= 0) {
    const std::string none = "not measured (screen width unknown)\r\n";
    return text + mmLabel + none + degLabel + none + "\r\n";
  }
  double millimetres = PixelsToMillimetres(pixels, screenWidth);
  double degrees = MillimetresToDegrees(millimetres);
  text += mmLabel + FormatFixed2(millimetres) + "\r\n";
  text += degLabel + FormatFixed2(degrees) + "\r\n";
  return text + "\r\n";
}

}  // namespace pupiltrak
