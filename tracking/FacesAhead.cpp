#include "tracking/FacesAhead.h"

#include "platform/FrameSource.h"
#include "tracking/FaceDetection.h"

namespace pupiltrak {

bool FacesAhead::Load(const std::string& cascadePath, const FaceSearch& search) {
  search_ = search;
  try {
    return !cascadePath.empty() && cascade_.load(cascadePath) && !cascade_.empty();
  } catch (const cv::Exception&) {
    return false;
  }
}

void FacesAhead::Prepare(const cv::Mat& frame, int64_t index) {
  // The pipeline sees the frame as the camera layer converts it.
  const cv::Mat* bgr = &frame;
  if (frame.type() != CV_8UC3) {
    if (!ToBgr8(frame, bgr_)) return;
    bgr = &bgr_;
  }
  PreparedFace face;
  const int64_t start = cv::getTickCount();
  try {
    MakeSmallGrey(*bgr, grey_, small_);
    face.found = follower_.Find(cascade_, small_, faces_, &face.face, search_);
  } catch (const cv::Exception&) {
    return;  // not prepared: the pipeline tries itself
  }
  face.ms = static_cast<double>(cv::getTickCount() - start) * 1000.0 / cv::getTickFrequency();
  std::lock_guard<std::mutex> lock(mutex_);
  ready_.emplace_back(index, face);
}

void FacesAhead::Expect(int64_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  expected_ = index;
}

bool FacesAhead::Take(PreparedFace* face) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Faces of frames that were read but never processed are dropped on the way.
  while (!ready_.empty() && ready_.front().first < expected_) ready_.pop_front();
  if (ready_.empty() || ready_.front().first != expected_) return false;
  *face = ready_.front().second;
  ready_.pop_front();
  ++expected_;
  return true;
}

}  // namespace pupiltrak
