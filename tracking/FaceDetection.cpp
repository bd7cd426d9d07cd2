#include "tracking/FaceDetection.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {
int Nint(double v) { return static_cast<int>(std::nearbyint(v)); }
}  // namespace

cv::Size SmallImageSize(int W, int H) {
  return cv::Size(Nint(W * kSmallImageFactor), Nint(H * kSmallImageFactor));
}

void MakeSmallGrey(const cv::Mat& frameCopy, cv::Mat& grey, cv::Mat& small) {
  cv::cvtColor(frameCopy, grey, cv::COLOR_BGR2GRAY);
  const cv::Size size = SmallImageSize(frameCopy.cols, frameCopy.rows);
  if (size.width <= 0 || size.height <= 0) {
    small.release();
    return;
  }
  cv::resize(grey, small, size, 0, 0, cv::INTER_LINEAR);
  cv::equalizeHist(small, small);
}

FaceSearch FaceSearchOf(const TrackerState& st) {
  FaceSearch search;
  const bool robust = st.RobustTracking.load() != 0;
  search.smallestFace = st.SmallestFace.load();
  if (robust) search.smallestFace = std::min(search.smallestFace, kRobustSmallestFace);
  search.follow = robust || st.FollowFace.load() != 0;
  return search;
}

int SmallestFaceSide(int smallHeight, double smallestFace) {
  const double share = std::clamp(smallestFace, kSmallestFaceLimit, 0.5);
  return std::max(1, static_cast<int>(smallHeight * share));
}

void DetectFaces(cv::CascadeClassifier& cascade, const cv::Mat& image, std::vector<cv::Rect>& faces,
                 int minSide, int maxSide) {
  faces.clear();
  if (cascade.empty() || image.empty()) return;
  try {
    // The raw detections come from several threads in no fixed order, and grouping keeps the
    // order of first appearance: put them back in the order one thread finds them (scale,
    // then row, then column) before grouping, so that "the first face" is the same in every
    // run.
    cascade.detectMultiScale(image, faces, 1.1, 0, cv::CASCADE_DO_CANNY_PRUNING,
                             cv::Size(minSide, minSide),
                             maxSide > 0 ? cv::Size(maxSide, maxSide) : cv::Size());
    std::sort(faces.begin(), faces.end(), [](const cv::Rect& a, const cv::Rect& b) {
      if (a.width != b.width) return a.width < b.width;
      if (a.y != b.y) return a.y < b.y;
      return a.x < b.x;
    });
    cv::groupRectangles(faces, 6, 0.2);
  } catch (const cv::Exception&) {
    // The frame thread goes on; a frame the detector cannot take has no face.
    faces.clear();
  }
}

FaceBox ToFaceBox(const cv::Rect& r) { return FaceBox{r.x, r.y, r.x + r.width, r.y + r.height}; }

bool DetectFace(cv::CascadeClassifier& cascade, const cv::Mat& small, std::vector<cv::Rect>& faces,
                FaceBox* face, double smallestFace) {
  DetectFaces(cascade, small, faces, SmallestFaceSide(small.rows, smallestFace));
  if (faces.empty()) return false;
  *face = ToFaceBox(faces.front());
  return true;
}

void ScaleFaceRect(const FaceBox& face, int faceRect[4]) {
  faceRect[0] = Nint(kFaceScale * face.x1);
  faceRect[1] = Nint(kFaceScale * face.y1);
  faceRect[2] = Nint(kFaceScale * face.x2);
  faceRect[3] = Nint(kFaceScale * face.y2);
}

void DrawFaceRect(cv::Mat& cameraFrame, const int faceRect[4]) {
  if (cameraFrame.empty()) return;
  const int H = cameraFrame.rows;
  cv::rectangle(cameraFrame, ToBottomUp(faceRect[0], faceRect[1], H),
                ToBottomUp(faceRect[2], faceRect[3], H), cv::Scalar(255, 0, 0), 3, cv::LINE_8, 0);
}

void DrawFaceNotFound(cv::Mat& frameCopy, const OverlayFont& font) {
  if (frameCopy.empty()) return;
  int face = font.face;
  double scale = font.hscale;
  int thickness = font.thickness;
  int lineType = font.lineType;
  if (scale <= 0) {
    face = cv::FONT_HERSHEY_PLAIN;
    scale = 4.0;
    thickness = 4;
    lineType = cv::LINE_8;
  }
  cv::putText(frameCopy, "Face not found", cv::Point(3, 50), face, scale, cv::Scalar(0, 0, 255),
              thickness, lineType);
}

}  // namespace pupiltrak
