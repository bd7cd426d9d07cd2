#pragma once
// Face detection ahead: while the pipeline works on one frame, a thread of its own already
// detects the face in the next few (the detection is most of a frame's work, and the two
// halves then share the machine's cores). The pipeline takes each frame's face
// instead of detecting it itself: same cascade file, same pixels, same steps, same result.
#include <deque>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tracking/FaceFollower.h"
#include "tracking/FramePipeline.h"

namespace pupiltrak {

class FacesAhead {
 public:
  // A cascade of its own: one classifier must not detect on two threads at once.
  // search: how the pipeline would search (set before the first frame).
  bool Load(const std::string& cascadePath, const FaceSearch& search);

  // Preparing thread: detects the face in frame number index (frames as the source gives them).
  void Prepare(const cv::Mat& frame, int64_t index);

  // Frame thread: the next frame the pipeline processes is frame number index.
  void Expect(int64_t index);
  // Frame thread: the face of the expected frame; false when it was not prepared (the pipeline
  // then detects it itself).
  bool Take(PreparedFace* face);

 private:
  cv::CascadeClassifier cascade_;
  FaceSearch search_;
  // Frames are prepared one after another in their order, so following the face here gives
  // what the pipeline's own follower would (a frame read but never processed still counts).
  FaceFollower follower_;
  cv::Mat bgr_, grey_, small_;
  std::vector<cv::Rect> faces_;

  std::mutex mutex_;
  std::deque<std::pair<int64_t, PreparedFace>> ready_;  // in frame order (guarded)
  int64_t expected_ = -1;                               // (guarded)
};

}  // namespace pupiltrak
