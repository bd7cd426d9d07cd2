#pragma once
// The running sums of the accuracy test and their conversion to pixels, millimetres and
// degrees for the protocol.

#include <mutex>
#include <string>

namespace pupiltrak {

// Physical width assumed for the full-screen width, and the assumed viewing distance.
inline constexpr double kScreenWidthMillimetres = 358.0;
inline constexpr double kViewingDistanceMillimetres = 500.0;
inline constexpr double kDegreesPerRadian = 57.29577951308232;

double PointDistance(double x1, double y1, double x2, double y2);

struct AccuracySums {
  double sum = 0;    // squared errors, square pixels
  double count = 0;  // errors added
};

// Added to on the frame thread, read at Stop Tracking on the GUI thread. The program never
// resets it: it covers every gaze estimate since the program started.
class AccuracyAccumulator {
 public:
  void Add(double squaredError);
  AccuracySums Sums() const;
  // Back to program start (tests).
  void Reset();

 private:
  mutable std::mutex mutex_;
  AccuracySums sums_;
};

// Adds the squared distance between target and gaze point.
void AddAccuracySample(AccuracyAccumulator& accumulator, double targetX, double targetY,
                       double gazeX, double gazeY);

// pixels * 358 / screenWidth, truncated toward zero.
double PixelsToMillimetres(double pixels, int screenWidth);
// The visual angle of millimetres at 500 mm, in degrees.
double MillimetresToDegrees(double millimetres);

// The three accuracy lines and the empty line, CR LF ended. With no error added yet (or no
// screen width known for the conversion) the affected lines say "not measured" with the reason
// instead of a number.
std::string AccuracyLinesText(const AccuracySums& sums, int screenWidth);

}  // namespace pupiltrak
