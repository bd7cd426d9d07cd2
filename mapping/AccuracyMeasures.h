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
  // Settling (off unless asked for): estimates left out because they fell in the first
  // milliseconds after a new target, and whether settling was ever on.
  double leftOut = 0;
  bool settling = false;
};

// Added to on the frame thread, read at Stop Tracking on the GUI thread. The program never
// resets it: it covers every gaze estimate since the program started.
class AccuracyAccumulator {
 public:
  void Add(double squaredError);
  // A gaze estimate left out by settling; marks the sums as settled either way.
  void AddLeftOut();
  void NoteSettling();
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
// The same geometry without the protocol's truncation to whole millimetres, both ways: the
// visual angle of a distance on the screen, and the distance of an angle (data quality and
// fixations).
double PixelsToDegrees(double pixels, int screenWidth);
double DegreesToPixels(double degrees, int screenWidth);

// Frames of the accuracy test left out after each new target for settleMs at the given frame
// rate: whole frames only, so a time shorter than a frame leaves none out.
int SettleFrames(int settleMs, double framesPerSecond);

// The three accuracy lines and the empty line, CR LF ended. With no error added yet (or no
// screen width known for the conversion) the affected lines say "not measured" with the reason
// instead of a number. When settling was on, one more line says how many estimates it left out.
std::string AccuracyLinesText(const AccuracySums& sums, int screenWidth);

}  // namespace pupiltrak
