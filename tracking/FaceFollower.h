#pragma once
// Following the face from frame to frame: once a face is found, the next frame is searched
// near it first (its neighbourhood, sizes close to its own), which costs a small part of a
// search of the whole picture. The whole picture is searched again when the face is lost and
// every kFullSearchInterval frames, so that a wrong face cannot hold on while another shows.

#include <opencv2/core.hpp>
#include <vector>

#include "tracking/FaceDetection.h"

namespace cv {
class CascadeClassifier;
}

namespace pupiltrak {

class FaceFollower {
 public:
  // Frames between two searches of the whole picture while a face is followed: under a second
  // at webcam rates, and cheap enough on average (one frame in 20).
  static constexpr int kFullSearchInterval = 20;
  // The neighbourhood: the followed face grown by this share of its size in all (a quarter
  // of it on each side).
  static constexpr double kNeighbourhoodGrowth = 0.5;
  // The sizes searched near the face, relative to its own: two or three of the detector's
  // scales (steps of 1.1). Each costs about as much as the face's own windows, which run deep
  // into the cascade; 0.8 to 1.25 (four or five scales) found no more faces in real video.
  static constexpr double kSmallerScale = 0.87;
  static constexpr double kLargerScale = 1.15;

  // Finds the face in the small image as search asks. With following off this is DetectFace
  // (the first face the detector lists) and nothing is remembered. With it on:
  // - while a face is followed, its neighbourhood is searched for faces of 0.87 to 1.15 times
  //   its size (never under the smallest face), and when none shows, the neighbourhood
  //   equalised on its own; the face there that overlaps the followed one most is taken;
  // - when that finds none, when no face is followed yet, and every kFullSearchInterval frames,
  //   the whole picture is searched: of the faces found, the one that overlaps the followed
  //   face most, otherwise the largest. At the interval, when the whole picture shows no face,
  //   the neighbourhood still may;
  // - found nowhere: the face is lost, and the next frame searches the whole picture.
  // faces receives what the last search made found (small-image pixels).
  bool Find(cv::CascadeClassifier& cascade, const cv::Mat& small, std::vector<cv::Rect>& faces,
            FaceBox* face, const FaceSearch& search);

  // Forgets the followed face (the next search is of the whole picture).
  void Reset();

  // Whether a face is being followed, and where (small-image pixels).
  bool Following() const { return following_; }
  cv::Rect Followed() const { return followed_; }
  // Whether the latest Find searched the whole picture.
  bool SearchedWholePicture() const { return wholePicture_; }

 private:
  bool SearchNear(cv::CascadeClassifier& cascade, const cv::Mat& small,
                  std::vector<cv::Rect>& faces, const FaceSearch& search, cv::Rect* found);

  bool SearchWholePicture(cv::CascadeClassifier& cascade, const cv::Mat& small,
                          std::vector<cv::Rect>& faces, const FaceSearch& search, cv::Rect* found);

  cv::Mat neighbourhood_;  // the neighbourhood equalised on its own (reused)
  bool following_ = false;
  cv::Rect followed_;
  int sinceWholePicture_ = 0;  // frames followed since the last search of the whole picture
  bool wholePicture_ = false;
};

}  // namespace pupiltrak
