#include "tracking/FaceFollower.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

namespace pupiltrak {

namespace {

// The face overlapping `near` most; when none overlaps it, the largest (the first of equals).
const cv::Rect& Pick(const std::vector<cv::Rect>& faces, const cv::Rect* near) {
  const cv::Rect* best = &faces.front();
  if (near) {
    int bestOverlap = 0;
    for (const cv::Rect& r : faces) {
      const int overlap = (r & *near).area();
      if (overlap > bestOverlap) {
        bestOverlap = overlap;
        best = &r;
      }
    }
    if (bestOverlap > 0) return *best;
  }
  for (const cv::Rect& r : faces)
    if (r.area() > best->area()) best = &r;
  return *best;
}

}  // namespace

void FaceFollower::Reset() {
  following_ = false;
  followed_ = cv::Rect();
  sinceWholePicture_ = 0;
  wholePicture_ = false;
}

bool FaceFollower::SearchNear(cv::CascadeClassifier& cascade, const cv::Mat& small,
                              std::vector<cv::Rect>& faces, const FaceSearch& search,
                              cv::Rect* found) {
  const cv::Rect& f = followed_;
  const int marginX = static_cast<int>(std::lround(f.width * kNeighbourhoodGrowth / 2));
  const int marginY = static_cast<int>(std::lround(f.height * kNeighbourhoodGrowth / 2));
  const cv::Rect area =
      cv::Rect(f.x - marginX, f.y - marginY, f.width + 2 * marginX, f.height + 2 * marginY) &
      cv::Rect(0, 0, small.cols, small.rows);
  // Sizes close to the face's own, never below the smallest face asked for.
  const int minSide = std::max(SmallestFaceSide(small.rows, search.smallestFace),
                               static_cast<int>(std::floor(f.width * kSmallerScale)));
  const int maxSide = static_cast<int>(std::ceil(f.width * kLargerScale));
  faces.clear();
  if (minSide > maxSide || area.width < minSide || area.height < minSide) return false;
  DetectFaces(cascade, small(area), faces, minSide, maxSide);
  if (faces.empty()) {
    // Again with the neighbourhood equalised on its own: a bright lamp or window elsewhere in
    // the picture then no longer flattens the face's contrast (equalisation keeps the order of
    // grey levels, so this is what equalising the unequalised neighbourhood gives). Not first:
    // the stronger contrast lets more windows deep into the cascade, which costs 5 times as
    // much.
    cv::equalizeHist(small(area), neighbourhood_);
    DetectFaces(cascade, neighbourhood_, faces, minSide, maxSide);
  }
  if (faces.empty()) return false;
  for (cv::Rect& r : faces) r += area.tl();
  *found = Pick(faces, &followed_);
  return true;
}

bool FaceFollower::SearchWholePicture(cv::CascadeClassifier& cascade, const cv::Mat& small,
                                      std::vector<cv::Rect>& faces, const FaceSearch& search,
                                      cv::Rect* found) {
  DetectFaces(cascade, small, faces, SmallestFaceSide(small.rows, search.smallestFace));
  if (faces.empty()) return false;
  *found = Pick(faces, following_ ? &followed_ : nullptr);
  return true;
}

bool FaceFollower::Find(cv::CascadeClassifier& cascade, const cv::Mat& small,
                        std::vector<cv::Rect>& faces, FaceBox* face, const FaceSearch& search) {
  if (!search.follow) {
    Reset();
    wholePicture_ = true;
    return DetectFace(cascade, small, faces, face, search.smallestFace);
  }
  // A frame of another size (a new source) has nothing to do with the face followed so far.
  if (following_ && (followed_ & cv::Rect(0, 0, small.cols, small.rows)) != followed_) Reset();

  cv::Rect found;
  bool ok;
  if (following_ && sinceWholePicture_ + 1 < kFullSearchInterval) {
    // Near the face; the whole picture when it is not there.
    wholePicture_ = false;
    ok = SearchNear(cascade, small, faces, search, &found);
    if (ok) {
      ++sinceWholePicture_;
    } else {
      wholePicture_ = true;
      ok = SearchWholePicture(cascade, small, faces, search, &found);
      sinceWholePicture_ = 0;
    }
  } else {
    // The whole picture first: at the interval, any face it finds (the followed one if it is
    // among them) takes over; only when it finds none is the followed face looked for nearby,
    // where its own contrast may show it when the whole picture's does not.
    wholePicture_ = true;
    sinceWholePicture_ = 0;
    ok = SearchWholePicture(cascade, small, faces, search, &found);
    if (!ok && following_) ok = SearchNear(cascade, small, faces, search, &found);
  }
  if (!ok) {
    Reset();
    wholePicture_ = true;
    return false;
  }
  following_ = true;
  followed_ = found;
  *face = ToFaceBox(found);
  return true;
}

}  // namespace pupiltrak
