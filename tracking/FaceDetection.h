#pragma once
// Face detection on the reduced grey image, and the marks it leaves in the frames.

#include <opencv2/core.hpp>
#include <vector>

#include "tracking/TrackerSettings.h"

namespace cv {
class CascadeClassifier;
}

namespace pupiltrak {

struct OverlayFont;
struct TrackerState;

// How the face is searched for.
struct FaceSearch {
  double smallestFace = kDefaultSmallestFace;  // share of the picture's height
  bool follow = kDefaultFollowFace != 0;       // near the last face first
};

// The search the tracker's settings ask for: robust tracking follows the face and searches for
// faces at least as small as a person at an ordinary distance from a webcam shows.
FaceSearch FaceSearchOf(const TrackerState& state);

// Factor from frame to small image (1 / 1.3) and back.
inline constexpr double kSmallImageFactor = 0.7692307692307692;
inline constexpr double kFaceScale = 1.3;

// A rectangle by its corners: x2 = x + width, y2 = y + height.
struct FaceBox {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Maps a top-down point into the bottom-up camera frame of height H.
inline cv::Point ToBottomUp(int x, int y, int H) { return cv::Point(x, H - y); }

// The small image's size for a W x H frame: each side times 1/1.3, nearest integer.
cv::Size SmallImageSize(int W, int H);

// grey = frameCopy in grey; small = grey resized (bilinear) to SmallImageSize, equalised.
// Both are reused when their size already fits.
void MakeSmallGrey(const cv::Mat& frameCopy, cv::Mat& grey, cv::Mat& small);

// Runs the cascade on image (scale 1.1, 6 neighbours, Canny pruning) for faces of minSide to
// maxSide pixels (0: no upper bound) and groups them; faces receives them in the same order
// however many threads the detector runs on. Empty when the detector cannot take the image.
void DetectFaces(cv::CascadeClassifier& cascade, const cv::Mat& image, std::vector<cv::Rect>& faces,
                 int minSide, int maxSide = 0);

// The corners of a rectangle.
FaceBox ToFaceBox(const cv::Rect& r);

// Runs the cascade on the small image (scale 1.1, 6 neighbours, Canny pruning, minimum size
// smallestFace times the image's height, by default half of it) and returns the first face,
// the same however many threads the detector runs on. faces receives all faces found, in their
// order.
bool DetectFace(cv::CascadeClassifier& cascade, const cv::Mat& small, std::vector<cv::Rect>& faces,
                FaceBox* face, double smallestFace = kDefaultSmallestFace);

// The smallest face's side in small-image pixels: smallestFace of the height, whole pixels
// (half of it: the height halved by integer division).
int SmallestFaceSide(int smallHeight, double smallestFace);

// The face rectangle in frame-copy pixels: each small-image corner times 1.3, nearest integer.
void ScaleFaceRect(const FaceBox& face, int faceRect[4]);

// The blue face rectangle into the bottom-up camera frame.
void DrawFaceRect(cv::Mat& cameraFrame, const int faceRect[4]);

// "Face not found" in red on the frame copy. A font that tracking start has not set up yet
// (scale 0) is replaced by the usual overlay font.
void DrawFaceNotFound(cv::Mat& frameCopy, const OverlayFont& font);

}  // namespace pupiltrak
