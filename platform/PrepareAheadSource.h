#pragma once
// Frames read on the caller's thread while the work to prepare each one (in the replay: finding
// the face) runs on a thread of its own, a few frames ahead of the frame handed out. Frames come
// out exactly as the wrapped source gives them, in the same order; pixel buffers are reused.
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/FrameSource.h"

namespace pupiltrak {

class PrepareAheadSource : public FrameSource {
 public:
  // Work done with every frame read (index 0 for the first frame after Open), before the frame
  // is handed out. A preparation that throws leaves its frame as it is.
  using Prepare = std::function<void(const cv::Mat& frame, int64_t index)>;

  // depth: frames read and in preparation at most (at least 1).
  PrepareAheadSource(std::unique_ptr<FrameSource> inner, size_t depth, Prepare prepare);
  ~PrepareAheadSource() override;
  PrepareAheadSource(const PrepareAheadSource&) = delete;
  PrepareAheadSource& operator=(const PrepareAheadSource&) = delete;

  bool Open() override;
  // The next frame, prepared; an error the wrapped source threw comes out here, after the frames
  // read before it.
  bool Read(cv::Mat& frame) override;
  void Close() override;
  double FrameInterval() const override { return inner_->FrameInterval(); }
  std::string Describe() const override { return inner_->Describe(); }

 private:
  void PrepareLoop();
  void StopPreparing();

  std::unique_ptr<FrameSource> inner_;
  const size_t depth_;
  const Prepare prepare_;
  std::thread preparer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<cv::Mat> inFlight_;  // read, in order; the first `prepared_` of them are done
  size_t prepared_ = 0;           // (guarded, as is inFlight_)
  bool stop_ = false;             // (guarded)
  int64_t preparedIndex_ = 0;     // index of the first frame in flight (guarded)
  bool ended_ = false;            // the wrapped source delivers nothing more (caller only)
  std::exception_ptr error_;      // what reading threw (guarded)
  std::vector<cv::Mat> spare_;    // buffers for the next reads (caller only)
  cv::Mat handedOut_;             // (caller only)
};

}  // namespace pupiltrak
