#pragma once
// A source that reads the frames of another one on a thread of its own, a few frames ahead, so
// that decoding the next frame overlaps the processing of this one. Frames come out exactly as
// the wrapped source gives them, in the same order; the pixel buffers are reused.
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/FrameSource.h"

class ReadAheadSource : public FrameSource {
 public:
  // Work done on the reading thread with every frame read (index 0 for the first frame after
  // Open), before the frame is handed out.
  using Prepare = std::function<void(const cv::Mat& frame, int64_t index)>;

  // depth: frames held ready at most (at least 1).
  explicit ReadAheadSource(std::unique_ptr<FrameSource> inner, size_t depth = 4,
                           Prepare prepare = nullptr);
  ~ReadAheadSource() override;
  ReadAheadSource(const ReadAheadSource&) = delete;
  ReadAheadSource& operator=(const ReadAheadSource&) = delete;

  bool Open() override;
  // The next frame; an error the wrapped source threw comes out here, after the frames read
  // before it.
  bool Read(cv::Mat& frame) override;
  void Close() override;
  double FrameInterval() const override { return inner_->FrameInterval(); }
  std::string Describe() const override { return inner_->Describe(); }

 private:
  void ReadLoop();
  void StopReader();

  std::unique_ptr<FrameSource> inner_;
  const size_t depth_;
  const Prepare prepare_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<cv::Mat> ready_;   // read, not yet handed out (guarded)
  std::vector<cv::Mat> spare_;  // handed back buffers for the reader to fill (guarded)
  bool ended_ = false;          // the wrapped source delivers nothing more (guarded)
  bool stop_ = false;           // Close asked the reader to finish (guarded)
  std::exception_ptr error_;    // what the wrapped source threw (guarded)
  cv::Mat handedOut_;           // the frame given by the last Read, recycled by the next
};
