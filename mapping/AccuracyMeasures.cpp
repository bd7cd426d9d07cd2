#include "mapping/AccuracyMeasures.h"

#include <cmath>
#include <cstdio>

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

void AccuracyAccumulator::AddLeftOut() {
  std::lock_guard<std::mutex> lock(mutex_);
  sums_.leftOut += 1;
  sums_.settling = true;
}

void AccuracyAccumulator::NoteSettling() {
  std::lock_guard<std::mutex> lock(mutex_);
  sums_.settling = true;
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

double PixelsToDegrees(double pixels, int screenWidth) {
  if (screenWidth <= 0) return std::nan("");
  return std::atan2(pixels * (kScreenWidthMillimetres / screenWidth), kViewingDistanceMillimetres) *
         kDegreesPerRadian;
}

double DegreesToPixels(double degrees, int screenWidth) {
  if (screenWidth <= 0) return std::nan("");
  return std::tan(degrees / kDegreesPerRadian) * kViewingDistanceMillimetres * screenWidth /
         kScreenWidthMillimetres;
}

int SettleFrames(int settleMs, double framesPerSecond) {
  if (settleMs <= 0 || !(framesPerSecond > 0)) return 0;
  // A small allowance so that 200 ms at 30 fps is 6 frames, not 5.999...
  const double frames = std::floor(settleMs * framesPerSecond / 1000.0 + 1e-9);
  return frames > 1e6 ? 1000000 : static_cast<int>(frames);
}

namespace {

std::string LeftOutLine(const AccuracySums& sums) {
  if (!sums.settling) return "";
  char line[96];
  std::snprintf(line, sizeof line, "Frames left out after each new target: %d\r\n",
                static_cast<int>(sums.leftOut));
  return line;
}

}  // namespace

std::string AccuracyLinesText(const AccuracySums& sums, int screenWidth) {
  const std::string pixelsLabel = "Accuracy (RMS) in pixels: ";
  const std::string mmLabel = "Accuracy (RMS) in millimeters: ";
  const std::string degLabel = "Accuracy (RMS) in degrees (500 mm screen distance assumed): ";
  if (sums.count <= 0) {
    // 0 / 0 has no value: say why instead of printing "nan".
    // Settling may have left out every estimate: say so rather than divide by zero.
    const std::string none =
        sums.leftOut > 0 ? "not measured (every gaze estimate fell in the settling time)\r\n"
                         : "not measured (no gaze estimate in the accuracy test)\r\n";
    return pixelsLabel + none + mmLabel + none + degLabel + none + LeftOutLine(sums) + "\r\n";
  }
  double pixels = std::sqrt(sums.sum / sums.count);
  std::string text = pixelsLabel + FormatFixed2(pixels) + "\r\n";
  if (screenWidth <= 0) {
    const std::string none = "not measured (screen width unknown)\r\n";
    return text + mmLabel + none + degLabel + none + LeftOutLine(sums) + "\r\n";
  }
  double millimetres = PixelsToMillimetres(pixels, screenWidth);
  double degrees = MillimetresToDegrees(millimetres);
  text += mmLabel + FormatFixed2(millimetres) + "\r\n";
  text += degLabel + FormatFixed2(degrees) + "\r\n";
  return text + LeftOutLine(sums) + "\r\n";
}

}  // namespace pupiltrak
